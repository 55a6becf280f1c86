// Clock of the SDL backend: SDL milliseconds, the monotonic nanosecond counter, real sleeps and the
// calendar clock with the local time zone.
#pragma once

#include <atomic>
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

    // While the window is away (inactive or minimised) the main loop only waits out its frames:
    // the calling thread's sleeps may then end up to a frame late, so that a frame's wait wakes
    // the processor about once instead of once a millisecond, and Sleep(0) only yields. Called
    // on the main thread, the only one whose sleeps it changes.
    void SetAway(bool away);
    std::atomic<bool> away{false};
};
