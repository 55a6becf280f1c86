// Frame pacing: holds the main loop to about 60 turns a second in one of four timer modes, keeps
// the frame-skip mark, and chooses the present's sync interval. Core code over PlatClock; main
// thread only.
//
// A turn of the loop calls, in order: TakeFrameStart (top of the turn), ConsumeSkipMark (present
// step, only while the window is active), EndOfTurn (overrun test, wait, pattern advance).
//
// A host whose loop must not block (a browser page, which calls the loop back once per turn)
// ends its turns with EndOfTurnDeferred instead and asks DeferredWaitMs, before each turn, how long
// to stay away: the same deadlines, waited for by handing control back rather than by sleeping.
#pragma once

#include <cstdint>

class PlatClock;

constexpr int kTimerGetTime = 0;      // millisecond clock, yielding while it waits
constexpr int kTimerCounter = 1;      // performance counter, spinning at the end of the wait
constexpr int kTimerSleep = 2;        // millisecond clock, 1 ms sleeps, always 16 ms frames
constexpr int kTimerNoWait = 3;       // no wait at all (vsync, if on, paces the loop)

constexpr int kFrameTableSize = 27;
constexpr uint32_t kBaseFrameMs = 16;

// Millisecond deadline test in 32-bit wrapping time: true once `now` has reached `deadline`.
// Deadlines are always less than 2^31 ms ahead, so the signed difference decides, also across the
// 2^32 wrap of the clock.
inline bool ReachedMs(uint32_t now, uint32_t deadline) {
    return static_cast<int32_t>(now - deadline) >= 0;
}

class FramePacer {
public:
    // Start-up: fill the frame-time table, begin the smallest timer period, read the clock once.
    void Begin(PlatClock* clock);
    // Start-up, last step: counter ticks per frame = low 32 bits of the frequency / 60.
    void ReadCounterFrequency();
    // Ends the timer period if Begin started one; safe to call more than once.
    void End();

    // Top of a turn: the frame start in the clock of the timer mode (none in No Wait mode). The
    // millisecond clock is read as well in counter mode, for the inactive wait.
    void TakeFrameStart(int timerMode);
    // Present step: true when the previous turn overran with frame skip on; the mark is cleared
    // and this turn's present is to be dropped.
    bool ConsumeSkipMark();
    // End of a turn: overrun test (frame skip on), the wait of the mode (or the inactive wait),
    // then the pattern index advance.
    void EndOfTurn(int timerMode, int framePattern, int frameSkip, bool windowActive);

    // The same end of a turn without its wait: the overrun test, the deadline the wait would
    // keep (recorded), the pattern index advance.
    void EndOfTurnDeferred(int timerMode, int framePattern, int frameSkip, bool windowActive);
    // Milliseconds to hand back before the next turn may start; 0 when it may start now (the
    // recorded wait is then over). The yielding modes poll the last 2 ms themselves, as their
    // blocking waits do, so that the deadline is met to the millisecond or counter tick.
    uint32_t DeferredWaitMs();

    // Length of the current frame by the deadline of its mode, in milliseconds: what a host that
    // keeps the turns on a fixed grid steps by. 0 for No Wait (no deadline); 16 for an inactive
    // window. Asked before the turn's EndOfTurnDeferred (which advances the pattern).
    double TurnLengthMs(int timerMode, bool windowActive) const;

    // Length of the current frame in the millisecond modes: 16 + table[index].
    uint32_t FrameMs() const { return kBaseFrameMs + table[index]; }

    static int SyncInterval(int vsync) { return vsync != 0 ? 1 : 0; }

    uint32_t table[kFrameTableSize] = {};
    uint32_t index = 0;
    uint32_t ticksPerFrame = 0;
    uint32_t frameStart = 0;       // counter (mode 1) or milliseconds (modes 0, 2)
    uint32_t frameStartMs = 0;     // milliseconds, every mode but No Wait
    bool skipMark = false;
    bool periodBegun = false;
    uint32_t period = 0;
    PlatClock* clock = nullptr;

private:
    // The wait a turn ends with: until a millisecond deadline (in 1 ms sleeps, or in sleeps and a
    // final poll), until the counter has run ticksPerFrame past the frame start, or one 1 ms sleep.
    enum class WaitKind : uint8_t { None, Ms, Ticks, OneSleep };
    struct Wait {
        WaitKind kind = WaitKind::None;
        uint32_t deadline = 0;       // milliseconds (Ms)
        uint32_t finalSleepMs = 0;   // Ms: 0 polls at the end, 1 sleeps throughout
    };
    void OverrunTest(int timerMode, int frameSkip);
    Wait PlanWait(int timerMode, bool windowActive) const;
    void AdvancePattern(int framePattern);
    void SleepUntilMs(uint32_t deadline, uint32_t finalSleepMs);
    void SpinUntilTicks(uint32_t ticks);

    Wait deferred_;
};
