// Input reader: keyboard and pad 0 into the input record.
#include <gtest/gtest.h>

#include "core/MapSceneEntity.h"
#include "platform/headless/headless.h"
#include "core/CXi.h"
#include "core/System.h"

class InputPollTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.services.echoMessages = false;
        platform.Install();
        xi.system = &sys;
        xi.scene = &scene;
    }
    void Poll() { xi.Poll(); }

    HeadlessPlatform platform;
    System sys;
    MapSceneEntity scene;
    CXi xi;
};

TEST_F(InputPollTest, ConstructionMarksEveryPadConnected) {
    CXi fresh;
    for (const PadSlot& p : fresh.pads) {
        EXPECT_EQ(p.connected, 1);
        EXPECT_EQ(p.state.buttons, 0);
    }
    EXPECT_EQ(fresh.system, nullptr);
}

TEST_F(InputPollTest, KeyboardMapsArrowsAndTheFourButtons) {
    sys.activeInputDevice = 0;
    for (int vk : {kVkLeft, kVkDown, kVkC, kVkX, kVkA, kVkS}) platform.input.SetKey(vk, true);
    Poll();
    EXPECT_EQ(sys.dirBits, kDirLeft | kDirDown);
    EXPECT_EQ(sys.buttonBits, kBtnDecision | kBtnCancellation | kBtnPause | kBtnShift);
    EXPECT_EQ(sys.keyStates[kVkLeft], 0x80);
    EXPECT_EQ(sys.keyStates[kVkRight], 0);

    for (int vk : {kVkLeft, kVkDown, kVkC, kVkX, kVkA, kVkS}) platform.input.SetKey(vk, false);
    platform.input.SetKey(kVkZ, true);
    platform.input.SetKey(kVkRight, true);
    Poll();
    EXPECT_EQ(sys.dirBits, kDirRight);
    EXPECT_EQ(sys.buttonBits, kBtnDecision);
}

TEST_F(InputPollTest, UpArrowIsAlsoDecisionOnlyInPlay) {
    sys.activeInputDevice = 0;
    platform.input.SetKey(kVkUp, true);
    scene.sceneNumber = 1;
    Poll();
    EXPECT_EQ(sys.dirBits, kDirUp);
    EXPECT_EQ(sys.buttonBits, 0);
    scene.sceneNumber = 4;
    Poll();
    EXPECT_EQ(sys.dirBits, kDirUp);
    EXPECT_EQ(sys.buttonBits, kBtnDecision);
}

TEST_F(InputPollTest, TappedKeyShowsInTheNextPoll) {
    platform.input.TapKey(kVkEscape);
    Poll();
    EXPECT_EQ(sys.keyStates[kVkEscape], 0x80);
    Poll();
    EXPECT_EQ(sys.keyStates[kVkEscape], 0);
}

TEST_F(InputPollTest, PadButtonsFollowTheArrangement) {
    sys.activeInputDevice = 1;
    platform.input.padConnected = true;
    // Default arrangement: every byte 0, so A serves all four buttons.
    platform.input.pad.buttons = 0x1000 | 0x0001 | 0x0008;  // A, D-pad up and right
    Poll();
    EXPECT_EQ(sys.dirBits, kDirUp | kDirRight);
    EXPECT_EQ(sys.buttonBits, 0xF);

    // DECISION on X, PAUSE on 7 (no pad button), CANCELLATION on B, SHIFT on Y.
    sys.buttonArrangement[0] = 2;
    sys.buttonArrangement[1] = 1;
    sys.buttonArrangement[2] = 7;
    sys.buttonArrangement[3] = 3;
    platform.input.pad.buttons = 0x4000 | 0x8000 | 0x0006;  // X, Y, D-pad down and left
    Poll();
    EXPECT_EQ(sys.dirBits, kDirDown | kDirLeft);
    EXPECT_EQ(sys.buttonBits, kBtnDecision | kBtnShift);
    platform.input.pad.buttons = 0xFFFF;
    Poll();
    EXPECT_EQ(sys.buttonBits, kBtnDecision | kBtnCancellation | kBtnShift);  // never PAUSE
    // The keyboard still works beside the pad.
    platform.input.pad.buttons = 0;
    platform.input.SetKey(kVkA, true);
    Poll();
    EXPECT_EQ(sys.buttonBits, kBtnPause);
}

TEST_F(InputPollTest, UnpluggedPadIsNotAskedAgainAndHoldsNothing) {
    sys.activeInputDevice = 1;
    platform.input.padConnected = true;
    platform.input.pad.buttons = 0x1000 | 0x0004;
    Poll();
    EXPECT_EQ(sys.buttonBits, 0xF);
    platform.input.padConnected = false;
    Poll();
    EXPECT_EQ(xi.pads[0].connected, 0);
    EXPECT_EQ(sys.dirBits, 0);
    EXPECT_EQ(sys.buttonBits, 0);
    const int reads = platform.input.padReads;
    platform.input.padConnected = true;  // plugged in again: not seen in this run
    Poll();
    Poll();
    EXPECT_EQ(platform.input.padReads, reads);
    EXPECT_EQ(sys.buttonBits, 0);
}

TEST_F(InputPollTest, KeyboardOnlyIgnoresThePadAndOtherModesKeepTheBits) {
    sys.activeInputDevice = 0;
    platform.input.padConnected = true;
    platform.input.pad.buttons = 0x1000 | 0x0001;
    Poll();
    EXPECT_EQ(platform.input.padReads, 0);
    EXPECT_EQ(sys.dirBits, 0);
    EXPECT_EQ(sys.buttonBits, 0);

    sys.activeInputDevice = 2;
    sys.dirBits = kDirLeft;
    sys.buttonBits = kBtnShift;
    platform.input.SetKey(kVkZ, true);
    Poll();
    EXPECT_EQ(sys.dirBits, kDirLeft);
    EXPECT_EQ(sys.buttonBits, kBtnShift);
    EXPECT_EQ(sys.keyStates[kVkZ], 0x80);
    EXPECT_EQ(platform.input.padReads, 0);
}
