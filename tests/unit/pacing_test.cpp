// Frame pacing on the headless virtual clock: frame lengths per timer mode and pattern, the
// frame-skip mark, the inactive wait, and deadlines across the 2^32 wrap of the clock.
#include <gtest/gtest.h>

#include <vector>

#include "platform/headless/headless.h"
#include "shell/Pacing.h"

namespace {

class PacingTest : public ::testing::Test {
protected:
    void SetUp() override {
        // Each clock read moves time on a little, so polling waits come to an end.
        clock.microsPerRead = 10;
        pacer.Begin(&clock);
        pacer.ReadCounterFrequency();
    }

    // Runs n turns and returns the millisecond length of each (start to next start).
    std::vector<uint32_t> FrameLengths(int mode, int pattern, int n, bool active = true) {
        std::vector<uint32_t> lengths;
        uint32_t previous = 0;
        for (int i = 0; i <= n; ++i) {
            pacer.TakeFrameStart(mode);
            const uint32_t start = mode == kTimerCounter ? pacer.frameStartMs : pacer.frameStart;
            if (i > 0) lengths.push_back(start - previous);
            previous = start;
            pacer.EndOfTurn(mode, pattern, 0, active);
        }
        return lengths;
    }

    // The same turns on a host that cannot block: before each turn it stays away for as long as
    // DeferredWaitMs says (the virtual clock moves on by that much), then runs the turn.
    std::vector<uint32_t> DeferredFrameLengths(int mode, int pattern, int n, bool active = true) {
        std::vector<uint32_t> lengths;
        uint32_t previous = 0;
        for (int i = 0; i <= n; ++i) {
            for (uint32_t away; (away = pacer.DeferredWaitMs()) != 0;) clock.micros += away * 1000u;
            pacer.TakeFrameStart(mode);
            const uint32_t start = mode == kTimerNoWait ? static_cast<uint32_t>(clock.micros / 1000u)
                                   : mode == kTimerCounter ? pacer.frameStartMs
                                                           : pacer.frameStart;
            if (i > 0) lengths.push_back(start - previous);
            previous = start;
            pacer.EndOfTurnDeferred(mode, pattern, 0, active);
        }
        return lengths;
    }

    HeadlessClock clock;
    FramePacer pacer;
};

TEST_F(PacingTest, MillisecondModesFollowTheFramePattern) {
    EXPECT_EQ(FrameLengths(kTimerGetTime, 0, 6), (std::vector<uint32_t>{16, 16, 16, 16, 16, 16}));

    pacer.index = 0;
    EXPECT_EQ(FrameLengths(kTimerGetTime, 1, 6), (std::vector<uint32_t>{16, 17, 17, 16, 17, 17}));

    pacer.index = 0;
    const std::vector<uint32_t> run = FrameLengths(kTimerGetTime, 2, 54);
    const uint32_t table[27] = {0, 1, 1, 1, 0, 1, 1, 1, 0, 1, 0, 1, 1, 1,
                                0, 0, 1, 1, 1, 1, 0, 0, 1, 1, 1, 0, 1};
    uint32_t total = 0;
    for (int i = 0; i < 54; ++i) {
        EXPECT_EQ(run[i], 16 + table[i % 27]) << "frame " << i;
        total += run[i];
    }
    EXPECT_EQ(total, 900u);  // 60 frames a second

    // Sleep mode never uses the table.
    pacer.index = 0;
    EXPECT_EQ(FrameLengths(kTimerSleep, 1, 4), (std::vector<uint32_t>{16, 16, 16, 16}));
}

TEST_F(PacingTest, WaitsYieldOrSleepAsTheirModeSays) {
    // timeGetTime: sleeps through most of the frame, then yields until the deadline.
    int sleeps = clock.sleeps, yields = clock.yields;
    FrameLengths(kTimerGetTime, 0, 1);
    EXPECT_GE(clock.yields - yields, 1);
    EXPECT_LE(clock.sleeps - sleeps, 32);

    // Sleep mode: 1 ms sleeps only, at least one even when the deadline has already passed.
    pacer.TakeFrameStart(kTimerSleep);
    clock.micros += 40000;
    sleeps = clock.sleeps;
    yields = clock.yields;
    pacer.EndOfTurn(kTimerSleep, 0, 0, true);
    EXPECT_EQ(clock.sleeps - sleeps, 1);
    EXPECT_EQ(clock.yields - yields, 0);

    // No Wait: nothing at all.
    sleeps = clock.sleeps;
    yields = clock.yields;
    const uint64_t before = clock.micros;
    pacer.TakeFrameStart(kTimerNoWait);
    pacer.EndOfTurn(kTimerNoWait, 1, 0, true);
    EXPECT_EQ(clock.sleeps, sleeps);
    EXPECT_EQ(clock.yields, yields);
    EXPECT_LT(clock.micros - before, 1000u);
}

TEST_F(PacingTest, AClockThatSleepsToADeadlineWaitsOnceAFrameWithTheSameLengths) {
    clock.sleepsUntil = true;
    const int sleeps = clock.sleeps, yields = clock.yields;
    EXPECT_EQ(FrameLengths(kTimerGetTime, 1, 6), (std::vector<uint32_t>{16, 17, 17, 16, 17, 17}));
    EXPECT_EQ(clock.untilSleeps, 7);  // one per turn: FrameLengths runs n + 1
    EXPECT_EQ(clock.sleeps, sleeps);
    EXPECT_EQ(clock.yields, yields);

    // A frame that overran its deadline still yields once, and sleeps to nothing.
    pacer.TakeFrameStart(kTimerGetTime);
    clock.micros += 40000;
    pacer.EndOfTurn(kTimerGetTime, 1, 0, true);
    EXPECT_EQ(clock.untilSleeps, 7);
    EXPECT_EQ(clock.yields - yields, 1);

    // Across the 2^32 wrap of the millisecond clock the frame still lasts its full length.
    clock.micros = (0x100000000ull - 5) * 1000;
    pacer.index = 0;
    EXPECT_EQ(FrameLengths(kTimerGetTime, 0, 2), (std::vector<uint32_t>{16, 16}));
}

TEST_F(PacingTest, CounterModeWaitsOneSixtiethOfASecond) {
    EXPECT_EQ(pacer.ticksPerFrame, 1000000u / 60u);  // headless counter runs at 1 MHz
    for (int i = 0; i < 5; ++i) {
        pacer.TakeFrameStart(kTimerCounter);
        const uint32_t start = pacer.frameStart;
        const int yields = clock.yields;
        pacer.EndOfTurn(kTimerCounter, 2, 0, true);
        const uint32_t elapsed = static_cast<uint32_t>(clock.micros) - start;
        EXPECT_GE(elapsed, 16666u);
        EXPECT_LT(elapsed, 16666u + 100u);
        EXPECT_EQ(clock.yields - yields, 1);
    }
}

TEST_F(PacingTest, FrameSkipDropsOnlyTheNextPresentAfterAnOverrun) {
    const int modes[] = {kTimerGetTime, kTimerCounter, kTimerSleep};
    for (int mode : modes) {
        SCOPED_TRACE(mode);
        // A turn that meets its deadline sets no mark.
        pacer.TakeFrameStart(mode);
        pacer.EndOfTurn(mode, 1, 1, true);
        EXPECT_FALSE(pacer.ConsumeSkipMark());

        // An overrun marks exactly the next present.
        pacer.TakeFrameStart(mode);
        clock.micros += 25000;
        pacer.EndOfTurn(mode, 1, 1, true);
        pacer.TakeFrameStart(mode);
        EXPECT_TRUE(pacer.ConsumeSkipMark());
        EXPECT_FALSE(pacer.ConsumeSkipMark());
        pacer.EndOfTurn(mode, 1, 1, true);

        // With frame skip off an overrun never marks.
        pacer.TakeFrameStart(mode);
        clock.micros += 25000;
        pacer.EndOfTurn(mode, 1, 0, true);
        EXPECT_FALSE(pacer.ConsumeSkipMark());
    }
    // No Wait has no deadline to miss.
    pacer.TakeFrameStart(kTimerNoWait);
    clock.micros += 25000;
    pacer.EndOfTurn(kTimerNoWait, 1, 1, true);
    EXPECT_FALSE(pacer.ConsumeSkipMark());
}

TEST_F(PacingTest, InactiveWindowSleepsSixteenMillisecondsInEveryMode) {
    clock.microsPerRead = 0;
    const int modes[] = {kTimerGetTime, kTimerCounter, kTimerSleep};
    for (int mode : modes) {
        SCOPED_TRACE(mode);
        pacer.TakeFrameStart(mode);
        const int sleeps = clock.sleeps, yields = clock.yields;
        const uint64_t before = clock.micros;
        pacer.EndOfTurn(mode, 1, 0, false);
        EXPECT_EQ(clock.micros - before, 16000u);
        EXPECT_EQ(clock.sleeps - sleeps, 16);
        EXPECT_EQ(clock.yields, yields);
    }
    const int sleeps = clock.sleeps;
    const uint64_t before = clock.micros;
    pacer.TakeFrameStart(kTimerNoWait);
    pacer.EndOfTurn(kTimerNoWait, 1, 0, false);
    EXPECT_EQ(clock.sleeps - sleeps, 1);
    EXPECT_EQ(clock.micros - before, 1000u);
}

TEST_F(PacingTest, DeferredWaitsKeepTheDeadlinesOfTheBlockingOnes) {
    pacer.index = 0;
    EXPECT_EQ(DeferredFrameLengths(kTimerGetTime, 1, 6), (std::vector<uint32_t>{16, 17, 17, 16, 17, 17}));
    EXPECT_EQ(DeferredFrameLengths(kTimerSleep, 2, 3), (std::vector<uint32_t>{16, 16, 16}));
    EXPECT_EQ(DeferredFrameLengths(kTimerGetTime, 0, 3, false), (std::vector<uint32_t>{16, 16, 16}));
    // An inactive No Wait turn still sleeps its one millisecond.
    EXPECT_EQ(DeferredFrameLengths(kTimerNoWait, 0, 3, false), (std::vector<uint32_t>{1, 1, 1}));

    // Counter mode: one sixtieth of a second to the tick, the last stretch polled in place.
    for (int i = 0; i < 3; ++i) {
        for (uint32_t away; (away = pacer.DeferredWaitMs()) != 0;) clock.micros += away * 1000u;
        pacer.TakeFrameStart(kTimerCounter);
        const uint32_t start = pacer.frameStart;
        pacer.EndOfTurnDeferred(kTimerCounter, 0, 0, true);
        const uint32_t away = pacer.DeferredWaitMs();
        EXPECT_GE(away, 10u);
        clock.micros += away * 1000u;
        EXPECT_EQ(pacer.DeferredWaitMs(), 0u);
        const uint32_t elapsed = static_cast<uint32_t>(clock.micros) - start;
        EXPECT_GE(elapsed, 16666u);
        EXPECT_LT(elapsed, 16666u + 100u);
    }

    // Sleep mode after an overrun: still at least one millisecond away; No Wait: never away.
    pacer.TakeFrameStart(kTimerSleep);
    clock.micros += 40000;
    pacer.EndOfTurnDeferred(kTimerSleep, 0, 0, true);
    EXPECT_EQ(pacer.DeferredWaitMs(), 1u);
    pacer.TakeFrameStart(kTimerNoWait);
    pacer.EndOfTurnDeferred(kTimerNoWait, 0, 0, true);
    EXPECT_EQ(pacer.DeferredWaitMs(), 0u);
}

TEST_F(PacingTest, PatternIndexAdvancesAfterEveryWaitAndCarriesOverModeChanges) {
    pacer.index = 0;
    FrameLengths(kTimerNoWait, 2, 5);
    EXPECT_EQ(pacer.index, 6u);
    // Switching to pattern 1 continues from the carried index.
    FrameLengths(kTimerGetTime, 1, 1);
    EXPECT_EQ(pacer.index, 2u);  // two turns: (6 + 1) % 3 = 1, then 2
    FrameLengths(kTimerSleep, 0, 3);
    EXPECT_EQ(pacer.index, 2u);
}

TEST_F(PacingTest, DeadlinesAcrossTheClockWrapStillLastAFullFrame) {
    clock.microsPerRead = 0;
    const uint32_t starts[] = {0xFFFFFFF8u, 0xFFFFFFF0u, 0xFFFFFFEEu, 0xFFFFFFFFu};
    for (uint32_t start : starts) {
        SCOPED_TRACE(start);
        for (int mode : {kTimerGetTime, kTimerSleep}) {
            clock.micros = static_cast<uint64_t>(start) * 1000u;
            clock.microsPerRead = mode == kTimerGetTime ? 10 : 0;
            pacer.index = 0;
            pacer.TakeFrameStart(mode);
            pacer.EndOfTurn(mode, 0, 1, true);
            const uint32_t now = static_cast<uint32_t>(clock.micros / 1000u);
            EXPECT_EQ(static_cast<uint32_t>(now - start), 16u) << "mode " << mode;
            EXPECT_FALSE(pacer.ConsumeSkipMark());
        }
    }
}

TEST_F(PacingTest, TimerPeriodEndsOnceAndSyncIntervalFollowsVsync) {
    EXPECT_EQ(clock.periodBegun, 1);
    pacer.End();
    pacer.End();
    EXPECT_EQ(clock.periodEnded, 1);
    EXPECT_EQ(FramePacer::SyncInterval(0), 0);
    EXPECT_EQ(FramePacer::SyncInterval(-1), 1);
}

}  // namespace
