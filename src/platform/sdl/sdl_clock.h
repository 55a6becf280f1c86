// Clock of the SDL backend: SDL milliseconds, the monotonic nanosecond counter, real sleeps and the
// calendar clock with the local time zone.
#pragma once

#include <cstdint>
#include <ctime>

#include "platform/platform.h"

class SdlClock final : public PlatClock {
public:
    uint32_t Milliseconds() override;
    uint64_t Counter() override;
    uint64_t CounterFrequency() override { return 1000000000ull; }
    void Sleep(uint32_t ms) override;
    bool SleepUntilMs(uint32_t deadline) override;
    uint32_t MinTimerPeriod() override { return 1; }
    void TimerPeriodBegin(uint32_t) override {}
    void TimerPeriodEnd(uint32_t) override {}
    int64_t CalendarTime() override;
    void LocalTime(int64_t t, std::tm* out) override;

    // While the window is away (inactive or minimised) the main loop only waits out its frames.
    // The main thread's sleeps then end at the window's next event or after kAwayWaitMs,
    // whichever comes first (with an event already queued, they sleep as asked, up to a frame
    // late): about ten turns a second, with an activation or an expose still answered at once.
    // Sleep(0) then only yields. Called on the main thread, the only one whose sleeps it changes.
    void SetAway(bool away);
    // The window's event wait (SdlX11WaitEvent): false, without waiting, when an event is queued
    // already. Without one, away sleeps are only made late.
    bool (*awayWait)(uint32_t ms) = nullptr;
    static constexpr uint32_t kAwayWaitMs = 100;
};
