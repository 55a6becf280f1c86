// The window procedure, the 16:9 sizing rule and the full-screen toggle on the headless window.
#include <gtest/gtest.h>

#include "platform/headless/headless.h"
#include "core/System.h"
#include "shell/Window.h"

namespace {

PlatRect Sized(int edge, PlatRect r, int32_t extraW = 0, int32_t extraH = 0) {
    KeepSixteenByNine(edge, &r, extraW, extraH);
    return r;
}

void ExpectRect(const PlatRect& r, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

TEST(WindowSizing, SideEdgesDeriveTheOtherDimension) {
    // Client 1000 x 500 with a frame of 16 x 39.
    const PlatRect r{100, 50, 1116, 589};
    ExpectRect(Sized(kSizeLeft, r, 16, 39), 100, 50, 1116, 50 + 562 + 39);   // 1000 * 0.5625 = 562.5
    ExpectRect(Sized(kSizeRight, r, 16, 39), 100, 50, 1116, 651);
    ExpectRect(Sized(kSizeTop, r, 16, 39), 100, 50, 100 + 888 + 16, 589);   // 500 * 16 / 9 = 888.9
    ExpectRect(Sized(kSizeBottom, r, 16, 39), 100, 50, 1004, 589);
}

TEST(WindowSizing, CornersMoveTheEdgeThatRestoresSixteenByNine) {
    // Narrower than 16:9 (client 800 x 600): the horizontal edge of the corner moves.
    const PlatRect narrow{0, 0, 800, 600};
    ExpectRect(Sized(kSizeTopLeft, narrow), 800 - 1066, 0, 800, 600);
    ExpectRect(Sized(kSizeTopRight, narrow), 0, 0, 1066, 600);
    ExpectRect(Sized(kSizeBottomLeft, narrow), -266, 0, 800, 600);
    ExpectRect(Sized(kSizeBottomRight, narrow), 0, 0, 1066, 600);

    // Wider than 16:9 (client 1600 x 600): the vertical edge of the corner moves.
    const PlatRect wide{10, 20, 1610, 620};
    ExpectRect(Sized(kSizeTopLeft, wide), 10, 620 - 900, 1610, 620);
    ExpectRect(Sized(kSizeTopRight, wide), 10, -280, 1610, 620);
    ExpectRect(Sized(kSizeBottomLeft, wide), 10, 20, 1610, 920);
    ExpectRect(Sized(kSizeBottomRight, wide), 10, 20, 1610, 920);

    // Exactly 16:9 stays as it is; an unknown edge changes nothing; a zero height cannot divide.
    ExpectRect(Sized(kSizeBottomRight, PlatRect{0, 0, 1280, 720}), 0, 0, 1280, 720);
    ExpectRect(Sized(9, PlatRect{0, 0, 300, 700}), 0, 0, 300, 700);
    ExpectRect(Sized(kSizeBottomRight, PlatRect{0, 0, 320, 0}), 0, 0, 320, 180);
}

class WindowEventsTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.services.echoMessages = false;
        platform.Install();
        platform.window.Create();
    }

    // Handles every queued message, as the main loop would over several turns.
    int PumpAll() {
        int code = -1;
        for (int i = 0; i < 16; ++i) {
            if (platform.window.PumpOne(&events, &code) == PlatPump::Quit) return code;
        }
        return -1;
    }

    HeadlessPlatform platform;
    System system;
    ShellWindowEvents events{&system};
};

TEST_F(WindowEventsTest, EscapeClosesThroughWmCloseAndPostsQuitZero) {
    platform.window.queue.push_back({HeadlessMsg::Command, kCommandClose, {}});
    EXPECT_EQ(PumpAll(), 0);
    EXPECT_FALSE(platform.window.Exists());
    EXPECT_EQ(platform.window.cursorShown, 1);
    EXPECT_EQ(platform.window.minimized, 1);
    EXPECT_EQ(platform.window.destroyed, 1);
}

TEST_F(WindowEventsTest, ActivationAndCommandsSetTheirFlagsOnly) {
    platform.window.queue.push_back({HeadlessMsg::Deactivate, 0, {}});
    platform.window.queue.push_back({HeadlessMsg::Command, 77, {}});
    EXPECT_EQ(PumpAll(), -1);
    EXPECT_EQ(system.windowActive.load(), 0);
    EXPECT_EQ(system.toggleRequest, 0);
    EXPECT_TRUE(platform.window.Exists());

    platform.window.queue.push_back({HeadlessMsg::Activate, 0, {}});
    platform.window.queue.push_back({HeadlessMsg::Command, kCommandToggle, {}});
    PumpAll();
    EXPECT_EQ(system.windowActive.load(), 1);
    EXPECT_EQ(system.toggleRequest, 1);
}

TEST_F(WindowEventsTest, SizingUsesTheFrameMetricsOfTheWindow) {
    // Headless frame: 4 x 4 wide, 23 + 4 x 4 high; a right-edge drag to a 1000-wide client.
    PlatRect proposed{0, 0, 1016, 600};
    platform.window.queue.push_back({HeadlessMsg::Sizing, kSizeRight, proposed});
    PumpAll();
    ExpectRect(platform.window.rect, 0, 0, 1016, 562 + 39);
}

TEST_F(WindowEventsTest, ToggleSwitchesFormsAndMirrorsTheFlag) {
    ToggleWindowForm(&system);
    EXPECT_EQ(system.fullScreen, -1);
    EXPECT_EQ(system.optionsMirror[0], -1);
    EXPECT_EQ(system.toggleRequest, 0);
    EXPECT_TRUE(platform.window.borderless);
    EXPECT_EQ(platform.window.clientW, 1920);

    system.toggleRequest = 1;
    ToggleWindowForm(&system);
    EXPECT_EQ(system.fullScreen, 0);
    EXPECT_EQ(system.optionsMirror[0], 0);
    EXPECT_FALSE(platform.window.borderless);
    EXPECT_EQ(platform.window.clientW, 1280);

    // A placement or monitor that cannot be read keeps the window, but the flag still flips.
    platform.window.failMonitor = true;
    ToggleWindowForm(&system);
    EXPECT_EQ(system.fullScreen, -1);
    EXPECT_EQ(system.optionsMirror[0], -1);
    EXPECT_FALSE(platform.window.borderless);
}

TEST_F(WindowEventsTest, WindowRectFallsBackToTheOriginWhenUnreadable) {
    ASSERT_TRUE(CreateGameWindow(&system));
    StoreWindowRect(&system);
    EXPECT_EQ(system.windowRect[0], 100);
    EXPECT_EQ(system.windowRect[3], 847);

    platform.window.failWindowRect = true;
    StoreWindowRect(&system);
    EXPECT_EQ(system.windowRect[0], 0);
    EXPECT_EQ(system.windowRect[1], 0);
}

}  // namespace
