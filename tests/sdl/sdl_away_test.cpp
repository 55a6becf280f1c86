// While the window is away, the main thread's sleeps wait for the window's next event instead of
// ending after a millisecond: the wait ends when an event comes, leaves that event for the loop to
// read, and does not wait at all with an event already queued. Other threads (the music thread)
// keep their ordinary sleeps. Run on SDL's dummy video driver.
#include <gtest/gtest.h>

#include <SDL.h>

#include <thread>

#include "platform/sdl/sdl_clock.h"
#include "platform/sdl/sdl_x11.h"

namespace {

class SdlAwayTest : public ::testing::Test {
protected:
    void SetUp() override {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_Event e;
        while (SDL_PollEvent(&e) != 0) {
        }
    }
    void TearDown() override { SDL_QuitSubSystem(SDL_INIT_VIDEO); }

    static void PushUserEvent() {
        SDL_Event e{};
        e.type = SDL_USEREVENT;
        SDL_PushEvent(&e);
    }
    // The loop's reading: true when the user event is among what it reads now.
    static bool ReadsUserEvent() {
        SDL_Event e;
        for (int i = 0; i < 4; ++i) {
            if (SDL_PollEvent(&e) != 0 && e.type == SDL_USEREVENT) return true;
        }
        return false;
    }
};

TEST_F(SdlAwayTest, TheWaitEndsAtTheNextEventAndLeavesItForTheLoop) {
    // An event from another thread 20 ms into a wait of 10 s.
    std::thread pusher([] {
        SDL_Delay(20);
        PushUserEvent();
    });
    const uint32_t t0 = SDL_GetTicks();
    EXPECT_TRUE(SdlX11WaitEvent(10000));
    const uint32_t waited = SDL_GetTicks() - t0;
    pusher.join();
    EXPECT_LT(waited, 5000u) << "the wait did not end at the event";
    EXPECT_TRUE(ReadsUserEvent()) << "the wait took the event from the loop";

    // With an event queued already: no wait, and the event stays.
    PushUserEvent();
    EXPECT_FALSE(SdlX11WaitEvent(10000));
    EXPECT_TRUE(ReadsUserEvent());
}

TEST_F(SdlAwayTest, OnlyTheMainThreadsSleepsWaitForEventsAndOnlyWhileAway) {
    static int waits = 0;
    waits = 0;
    SdlClock clock;
    clock.awayWait = [](uint32_t ms) {
        EXPECT_EQ(ms, SdlClock::kAwayWaitMs);
        ++waits;
        return true;
    };
    clock.Sleep(1);
    EXPECT_EQ(waits, 0);

    clock.SetAway(true);
    clock.Sleep(1);
    clock.Sleep(0);  // a yield, never a wait
    EXPECT_EQ(waits, 1);
    std::thread music([&clock] { clock.Sleep(1); });
    music.join();
    EXPECT_EQ(waits, 1) << "another thread's sleep waited for the window's events";

    clock.SetAway(false);
    clock.Sleep(1);
    EXPECT_EQ(waits, 1);
}

}  // namespace
