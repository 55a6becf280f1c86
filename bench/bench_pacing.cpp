// Frame pacing against the real monotonic clock: 1,000 frames per timer mode with frame pattern
// 1 (16, 17, 17 ms). Reported per mode: mean, median and 99th percentile interval, the 99th
// percentile and the largest deviation from the frame's own nominal interval, and the processor
// time the waits cost (percent of one core, the waiting thread alone). The game's own frame work
// is left out: these are the waits alone. The clock is the game's own (SdlClock) when the SDL
// backend is built.
//
// The "busy2" cases run the same frames while two other processes spin on the processor (as many
// as this machine has cores, 2): the waits must then still wake on time. The "steps" cases use a
// clock that cannot sleep to a point in time (as the Windows backend's), so the timeGetTime wait
// sleeps in 1 ms steps and polls the last 2 ms with yields.
//
//   kelvorine_bench --benchmark_filter=Pacing
#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <vector>

#include "platform/platform.h"
#include "shell/Pacing.h"
#if KELVORINE_BENCH_SDL
#include "platform/sdl/sdl_clock.h"
#endif

namespace {

constexpr long kYieldNs = 100000;  // 0.1 ms

uint64_t NowNs(clockid_t id) {
    timespec ts;
    clock_gettime(id, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

// A monotonic clock with the game's sleeps, for builds without the SDL backend.
class MonotonicClock final : public PlatClock {
public:
    uint32_t Milliseconds() override { return static_cast<uint32_t>(NowNs(CLOCK_MONOTONIC) / 1000000ull); }
    uint64_t Counter() override { return NowNs(CLOCK_MONOTONIC); }
    uint64_t CounterFrequency() override { return 1000000000ull; }
    void Sleep(uint32_t ms) override {
        if (ms == 0) {  // as the game's clock: a moment's sleep, not a bare sched_yield
            timespec brief{0, kYieldNs};
            nanosleep(&brief, nullptr);
            return;
        }
        timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }
    uint32_t MinTimerPeriod() override { return 1; }
    void TimerPeriodBegin(uint32_t) override {}
    void TimerPeriodEnd(uint32_t) override {}
    int64_t CalendarTime() override { return 0; }
    void LocalTime(int64_t, std::tm*) override {}
};

#if KELVORINE_BENCH_SDL
using BenchClock = SdlClock;
#else
using BenchClock = MonotonicClock;
#endif

constexpr int kFrames = 1000;

// Processes that spin until they are ended; ended and reaped on destruction.
class BusyProcesses {
public:
    explicit BusyProcesses(int n) {
        for (int i = 0; i < n; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                volatile uint64_t x = 0;
                for (;;) x = x + 1;
            }
            if (pid > 0) pids_.push_back(pid);
        }
    }
    ~BusyProcesses() {
        for (pid_t pid : pids_) kill(pid, SIGKILL);
        for (pid_t pid : pids_) waitpid(pid, nullptr, 0);
    }

private:
    std::vector<pid_t> pids_;
};

template <class Clock>
void BM_PacingFrames(benchmark::State& state) {
    const int mode = static_cast<int>(state.range(0));
    BusyProcesses busy(static_cast<int>(state.range(1)));
    Clock clock;
    FramePacer pacer;
    pacer.Begin(&clock);
    pacer.ReadCounterFrequency();
    std::vector<double> intervals(kFrames);
    std::vector<double> nominal(kFrames);
    double cpuPercent = 0;
    for (auto _ : state) {
        uint64_t previous = 0;
        const uint64_t cpu0 = NowNs(CLOCK_THREAD_CPUTIME_ID);
        const uint64_t wall0 = NowNs(CLOCK_MONOTONIC);
        for (int i = 0; i <= kFrames; ++i) {
            const uint32_t frameMs = pacer.FrameMs();
            pacer.TakeFrameStart(mode);
            const uint64_t now = NowNs(CLOCK_MONOTONIC);
            if (i > 0) intervals[i - 1] = (now - previous) / 1.0e6;
            previous = now;
            if (i < kFrames) {
                nominal[i] = mode == kTimerCounter ? 1000.0 / 60.0
                           : mode == kTimerSleep   ? 16.0
                           : mode == kTimerNoWait  ? 0.0
                                                   : static_cast<double>(frameMs);
            }
            pacer.EndOfTurn(mode, 1, 0, true);
        }
        const uint64_t cpu = NowNs(CLOCK_THREAD_CPUTIME_ID) - cpu0;
        const uint64_t wall = NowNs(CLOCK_MONOTONIC) - wall0;
        cpuPercent = 100.0 * static_cast<double>(cpu) / static_cast<double>(wall);
    }
    pacer.End();

    double sum = 0, maxDeviation = 0;
    std::vector<double> deviations(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        sum += intervals[i];
        deviations[i] = std::fabs(intervals[i] - nominal[i]);
        maxDeviation = std::max(maxDeviation, deviations[i]);
    }
    std::vector<double> sorted = intervals;
    std::sort(sorted.begin(), sorted.end());
    std::sort(deviations.begin(), deviations.end());
    state.counters["mean_ms"] = sum / kFrames;
    state.counters["p50_ms"] = sorted[kFrames / 2];
    state.counters["p99_ms"] = sorted[kFrames * 99 / 100];
    state.counters["p99_dev_ms"] = deviations[kFrames * 99 / 100];
    state.counters["max_dev_ms"] = maxDeviation;
    state.counters["cpu_pct"] = cpuPercent;
}

}  // namespace

BENCHMARK(BM_PacingFrames<BenchClock>)
    ->Name("Pacing/timeGetTime")->Args({kTimerGetTime, 0})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacingFrames<BenchClock>)
    ->Name("Pacing/timeGetTime/busy2")->Args({kTimerGetTime, 2})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacingFrames<MonotonicClock>)
    ->Name("Pacing/timeGetTime/steps")->Args({kTimerGetTime, 0})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacingFrames<MonotonicClock>)
    ->Name("Pacing/timeGetTime/steps/busy2")->Args({kTimerGetTime, 2})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacingFrames<BenchClock>)
    ->Name("Pacing/PerformanceCounter")->Args({kTimerCounter, 0})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacingFrames<BenchClock>)
    ->Name("Pacing/Sleep")->Args({kTimerSleep, 0})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PacingFrames<BenchClock>)
    ->Name("Pacing/NoWait")->Args({kTimerNoWait, 0})->Iterations(1)->Unit(benchmark::kMillisecond);
