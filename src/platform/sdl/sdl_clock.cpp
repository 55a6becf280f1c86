// Clock of the SDL backend: CLOCK_MONOTONIC for the millisecond clock and the counter.
#include <sched.h>
#include <time.h>

#include <cerrno>
#include <cstring>

#include "platform/sdl/sdl_clock.h"

namespace {

constexpr long kYieldNs = 100000;  // 0.1 ms
// Set by SetAway, on the main thread: the one whose sleeps change while away.
thread_local bool tAway = false;

uint64_t MonotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

uint32_t SdlClock::Milliseconds() { return static_cast<uint32_t>(MonotonicNs() / 1000000ull); }

uint64_t SdlClock::Counter() { return MonotonicNs(); }

void SdlClock::Sleep(uint32_t ms) {
    if (ms == 0) {
        if (tAway) {
            sched_yield();  // no waiting loop runs while away: nothing would spin here
            return;
        }
        // Gives the processor up for a moment. A bare sched_yield returns at once when nothing
        // else is runnable, which would turn every yielding wait into a busy spin.
        timespec brief{0, kYieldNs};
        nanosleep(&brief, nullptr);
        return;
    }
    if (tAway && awayWait != nullptr && awayWait(kAwayWaitMs)) return;
    timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void SdlClock::SetAway(bool a) {
    if (tAway == a) return;
    tAway = a;
}

// The millisecond clock is the monotonic clock in whole milliseconds, so its deadline is an exact
// point of the monotonic clock and one absolute sleep reaches it: no polling, one wake-up.
bool SdlClock::SleepUntilMs(uint32_t deadline) {
    const uint64_t nowMs = MonotonicNs() / 1000000ull;
    const int32_t ahead = static_cast<int32_t>(deadline - static_cast<uint32_t>(nowMs));
    if (ahead <= 0) return true;
    const uint64_t at = (nowMs + static_cast<uint64_t>(ahead)) * 1000000ull;
    timespec ts;
    ts.tv_sec = static_cast<time_t>(at / 1000000000ull);
    ts.tv_nsec = static_cast<long>(at % 1000000000ull);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
    return true;
}

int64_t SdlClock::CalendarTime() { return static_cast<int64_t>(time(nullptr)); }

void SdlClock::LocalTime(int64_t t, std::tm* out) {
    time_t tt = static_cast<time_t>(t);
    std::memset(out, 0, sizeof *out);
    localtime_r(&tt, out);
}
