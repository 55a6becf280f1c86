// Clock of the Win32 backend: winmm's millisecond timer and timer period, the performance counter,
// Sleep, and the C run-time's 64-bit calendar time.
#include <cstring>
#include <ctime>

#include "platform/win32/win32_platform.h"

namespace {

class Clock final : public PlatClock {
public:
    uint32_t Milliseconds() override { return timeGetTime(); }

    uint64_t Counter() override {
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        return static_cast<uint64_t>(now.QuadPart);
    }

    uint64_t CounterFrequency() override {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<uint64_t>(f.QuadPart);
    }

    void Sleep(uint32_t ms) override { ::Sleep(ms); }

    uint32_t MinTimerPeriod() override {
        TIMECAPS caps;
        if (timeGetDevCaps(&caps, sizeof caps) != MMSYSERR_NOERROR || caps.wPeriodMin == 0) return 1;
        return caps.wPeriodMin;
    }

    void TimerPeriodBegin(uint32_t ms) override { timeBeginPeriod(ms); }
    void TimerPeriodEnd(uint32_t ms) override { timeEndPeriod(ms); }

    int64_t CalendarTime() override { return static_cast<int64_t>(_time64(nullptr)); }

    void LocalTime(int64_t t, std::tm* out) override {
        __time64_t tt = static_cast<__time64_t>(t);
        if (_localtime64_s(out, &tt) != 0) std::memset(out, 0, sizeof *out);
    }
};

Clock gClock;

}  // namespace

PlatClock* Win32Clock() { return &gClock; }
