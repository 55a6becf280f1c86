#include "shell/Pacing.h"

#include "platform/platform.h"

namespace {

// Extra milliseconds per frame. The first three make 50 ms per 3 frames, all 27 make 450 ms per
// 27 frames: 60 frames a second either way.
constexpr uint32_t kFrameTimeTable[kFrameTableSize] = {
    0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 0, 1, 1, 1, 0, 0, 1, 1, 1, 1, 0, 0, 1, 1, 1, 0, 1,
};

// The yielding and spinning waits sleep in 1 ms steps while more than this is left and poll only
// for the rest: the same deadlines at a fraction of the processor time.
constexpr uint32_t kPollMs = 2;

}  // namespace

void FramePacer::Begin(PlatClock* c) {
    clock = c;
    for (int i = 0; i < kFrameTableSize; ++i) table[i] = kFrameTimeTable[i];
    index = 0;
    skipMark = false;
    period = clock->MinTimerPeriod();
    clock->TimerPeriodBegin(period);
    periodBegun = true;
    frameStartMs = clock->Milliseconds();
    frameStart = frameStartMs;
}

void FramePacer::ReadCounterFrequency() {
    ticksPerFrame = static_cast<uint32_t>(clock->CounterFrequency()) / 60u;
}

void FramePacer::End() {
    if (!periodBegun) return;
    periodBegun = false;
    clock->TimerPeriodEnd(period);
}

void FramePacer::TakeFrameStart(int timerMode) {
    switch (timerMode) {
        case kTimerCounter:
            frameStart = static_cast<uint32_t>(clock->Counter());
            frameStartMs = clock->Milliseconds();
            break;
        case kTimerGetTime:
        case kTimerSleep:
            frameStart = clock->Milliseconds();
            frameStartMs = frameStart;
            break;
        default:  // No Wait takes no start
            break;
    }
}

bool FramePacer::ConsumeSkipMark() {
    if (!skipMark) return false;
    skipMark = false;
    return true;
}

void FramePacer::SleepUntilMs(uint32_t deadline, uint32_t finalSleepMs) {
    if (finalSleepMs == 0) {
        // A clock that can sleep to the deadline does it in one wait, which is then the yield of
        // the timeGetTime wait; otherwise (or if it woke early) the yielding steps below.
        if (!ReachedMs(clock->Milliseconds(), deadline) && clock->SleepUntilMs(deadline) &&
            ReachedMs(clock->Milliseconds(), deadline)) {
            return;
        }
        uint32_t now = clock->Milliseconds();
        while (!ReachedMs(now, deadline) && deadline - now > kPollMs) {
            clock->Sleep(1);
            now = clock->Milliseconds();
        }
    }
    do {
        clock->Sleep(finalSleepMs);
    } while (!ReachedMs(clock->Milliseconds(), deadline));
}

void FramePacer::SpinUntilTicks(uint32_t ticks) {
    clock->Sleep(0);
    const uint64_t freq = clock->CounterFrequency();
    const uint32_t pollTicks = static_cast<uint32_t>(freq / 1000u) * kPollMs;
    uint32_t elapsed = static_cast<uint32_t>(clock->Counter()) - frameStart;
    while (elapsed < ticks && ticks - elapsed > pollTicks) {
        clock->Sleep(1);
        elapsed = static_cast<uint32_t>(clock->Counter()) - frameStart;
    }
    while (elapsed < ticks) {
        elapsed = static_cast<uint32_t>(clock->Counter()) - frameStart;
    }
}

void FramePacer::OverrunTest(int timerMode, int frameSkip) {
    if (frameSkip == 0) return;
    if (timerMode == kTimerCounter) {
        const uint32_t elapsed = static_cast<uint32_t>(clock->Counter()) - frameStart;
        if (elapsed > ticksPerFrame && elapsed - ticksPerFrame <= 0x80000000u) skipMark = true;
    } else if (timerMode == kTimerGetTime || timerMode == kTimerSleep) {
        const uint32_t deadline = frameStart + FrameMs();
        const uint32_t now = clock->Milliseconds();
        if (ReachedMs(now, deadline) && now != deadline) skipMark = true;
    }
}

FramePacer::Wait FramePacer::PlanWait(int timerMode, bool windowActive) const {
    Wait w;
    if (!windowActive) {
        if (timerMode == kTimerNoWait) {
            w.kind = WaitKind::OneSleep;
        } else {
            w = Wait{WaitKind::Ms, frameStartMs + kBaseFrameMs, 1};
        }
        return w;
    }
    switch (timerMode) {
        case kTimerGetTime:
            w = Wait{WaitKind::Ms, frameStart + FrameMs(), 0};
            break;
        case kTimerCounter:
            w.kind = WaitKind::Ticks;
            break;
        case kTimerSleep:
            w = Wait{WaitKind::Ms, frameStart + kBaseFrameMs, 1};
            break;
        default:
            break;
    }
    return w;
}

// Pattern 0 keeps the index (16 ms frames), 1 runs the first three entries, 2 all of them.
void FramePacer::AdvancePattern(int framePattern) {
    if (framePattern == 1) {
        index = (index + 1) % 3;
    } else if (framePattern == 2) {
        index = (index + 1) % kFrameTableSize;
    }
}

void FramePacer::EndOfTurn(int timerMode, int framePattern, int frameSkip, bool windowActive) {
    OverrunTest(timerMode, frameSkip);
    const Wait w = PlanWait(timerMode, windowActive);
    switch (w.kind) {
        case WaitKind::Ms:
            SleepUntilMs(w.deadline, w.finalSleepMs);
            break;
        case WaitKind::Ticks:
            SpinUntilTicks(ticksPerFrame);
            break;
        case WaitKind::OneSleep:
            clock->Sleep(1);
            break;
        case WaitKind::None:
            break;
    }
    AdvancePattern(framePattern);
}

void FramePacer::EndOfTurnDeferred(int timerMode, int framePattern, int frameSkip,
                                   bool windowActive) {
    OverrunTest(timerMode, frameSkip);
    deferred_ = PlanWait(timerMode, windowActive);
    // The sleeping waits sleep at least once: their deadline is at least 1 ms away.
    const uint32_t now = clock->Milliseconds();
    if (deferred_.kind == WaitKind::OneSleep ||
        (deferred_.kind == WaitKind::Ms && deferred_.finalSleepMs != 0 &&
         ReachedMs(now, deferred_.deadline))) {
        deferred_ = Wait{WaitKind::Ms, now + 1, 1};
    }
    AdvancePattern(framePattern);
}

double FramePacer::TurnLengthMs(int timerMode, bool windowActive) const {
    if (timerMode == kTimerNoWait) return 0;
    if (!windowActive || timerMode == kTimerSleep) return kBaseFrameMs;
    if (timerMode == kTimerCounter) {
        const uint64_t freq = clock != nullptr ? clock->CounterFrequency() : 0;
        return freq != 0 ? ticksPerFrame * 1000.0 / static_cast<double>(freq) : 1000.0 / 60.0;
    }
    return FrameMs();
}

uint32_t FramePacer::DeferredWaitMs() {
    switch (deferred_.kind) {
        case WaitKind::Ms: {
            uint32_t now = clock->Milliseconds();
            if (!ReachedMs(now, deferred_.deadline)) {
                const uint32_t left = deferred_.deadline - now;
                if (deferred_.finalSleepMs != 0) return left;
                if (left > kPollMs) return left - kPollMs;
                while (!ReachedMs(now, deferred_.deadline)) now = clock->Milliseconds();
            }
            break;
        }
        case WaitKind::Ticks: {
            const uint64_t freq = clock->CounterFrequency();
            const uint32_t ticksPerMs = freq >= 1000u ? static_cast<uint32_t>(freq / 1000u) : 1u;
            uint32_t elapsed = static_cast<uint32_t>(clock->Counter()) - frameStart;
            const uint32_t leftMs = elapsed < ticksPerFrame ? (ticksPerFrame - elapsed) / ticksPerMs : 0;
            if (leftMs > kPollMs) return leftMs - kPollMs;
            while (elapsed < ticksPerFrame) {
                elapsed = static_cast<uint32_t>(clock->Counter()) - frameStart;
            }
            break;
        }
        default:
            break;
    }
    deferred_ = Wait{};
    return 0;
}
