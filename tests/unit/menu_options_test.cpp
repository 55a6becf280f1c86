// Options screen: row cursor, value rules, applying the values, pad assignment and drawing.
#include <cstring>

#include "menu_fixture.h"

class OptionsTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        OpenSubScreen(kItemOptions);
    }
    // Moves the row cursor down to `row` with single presses.
    void GoToRow(int32_t row) {
        while (menu->optionCursor != row) {
            Frame(kDirDown);
            Frame();
        }
    }
    void Press(int32_t dirs) {
        Frame(dirs);
        Frame();
    }
};

TEST_F(OptionsTest, RowCursorWrapsBothWays) {
    Press(kDirUp);
    EXPECT_EQ(menu->optionCursor, kRowColor);
    Press(kDirDown);
    EXPECT_EQ(menu->optionCursor, kRowScreenMode);
}

TEST_F(OptionsTest, VolumeStopsAtTwentyAndAppliesAsItChanges) {
    sys->optionsMirror[kRowBgmVolume] = 18;
    sys->bgmVolume = 18 * 500;
    GoToRow(kRowBgmVolume);
    std::vector<int> values;
    for (int i = 0; i < 60; ++i) {
        Frame(kDirRight);
        values.push_back(sys->optionsMirror[kRowBgmVolume]);
    }
    EXPECT_EQ(values[0], 19);
    EXPECT_EQ(values[47], 19);
    EXPECT_EQ(values[48], 20);
    EXPECT_EQ(values[59], 20);
    EXPECT_EQ(sys->bgmVolume, 10000);
    // The bar shows 20 full cells.
    EXPECT_EQ(TextAt(366, 284, 10, 20), std::string(20, '>'));

    // Left at 0 stays at 0 (and the SE row is independent).
    sys->optionsMirror[kRowBgmVolume] = 0;
    Press(kDirLeft);
    EXPECT_EQ(sys->optionsMirror[kRowBgmVolume], 0);
    EXPECT_EQ(sys->bgmVolume, 0);
    EXPECT_EQ(TextAt(366, 284, 10, 20), std::string(20, '_'));
}

TEST_F(OptionsTest, SeVolumeRowPreviewsEffectZeroEveryFrame) {
    GoToRow(kRowSeVolume);
    const int startsBefore = Voice(0)->starts;
    const int submitsBefore = Voice(0)->submits;
    Frames(5);
    EXPECT_EQ(Voice(0)->starts - startsBefore, 5);
    EXPECT_EQ(Voice(0)->submits, submitsBefore);  // restarted, not played anew
    Press(kDirRight);
    EXPECT_EQ(sys->seVolume, 500);
    EXPECT_FLOAT_EQ(Voice(3)->volume, 0.05f);
}

TEST_F(OptionsTest, TimerWrapsAndSettingsApplyByTheirRules) {
    GoToRow(kRowTimer);
    Press(kDirLeft);
    EXPECT_EQ(sys->optionsMirror[kRowTimer], 3);
    EXPECT_EQ(sys->timerMode, 3);
    Press(kDirRight);
    EXPECT_EQ(sys->timerMode, 0);  // 0 applies while the cursor is on the row

    // A 0 elsewhere waits for the cursor; a nonzero value applies from anywhere.
    sys->vsync = 1;
    sys->optionsMirror[kRowVsync] = 0;
    sys->optionsMirror[kRowFrameSkip] = 1;
    Frame();
    EXPECT_EQ(sys->vsync, 1);
    EXPECT_EQ(sys->frameSkip, 1);
    Press(kDirUp);
    EXPECT_EQ(sys->vsync, 0);
}

TEST_F(OptionsTest, ScreenModeRequestsTheSwitchWhileModeAndWindowDiffer) {
    Press(kDirRight);
    EXPECT_EQ(sys->optionsMirror[kRowScreenMode], 1);
    EXPECT_EQ(sys->toggleRequest, 1);
    // The main loop switches: the window toggle inverts the flag and copies it to the row.
    sys->fullScreen = ~sys->fullScreen;
    sys->optionsMirror[kRowScreenMode] = sys->fullScreen;
    sys->toggleRequest = 0;
    Frames(3);
    EXPECT_EQ(sys->toggleRequest, 0);
    // The frame stands on "FullScreen" although the flag holds all ones.
    EXPECT_EQ(CountDraws(kMenuTexture, 330 + 188 + 4, 78 + 4), 1);
    // Left goes back to the window.
    Press(kDirLeft);
    EXPECT_EQ(sys->optionsMirror[kRowScreenMode], 0);
    EXPECT_EQ(sys->toggleRequest, 1);
}

TEST_F(OptionsTest, ColorChangesThePanelAtOnce) {
    GoToRow(kRowColor);
    Press(kDirLeft);
    EXPECT_EQ(scene->colorTheme, 9);
    Frame();
    // Panel fill from the theme's block at x 16 * 9.
    bool found = false;
    for (const DrawParam& p : draws) found |= p.texture == kMenuTexture && p.x == 212 && p.srcX == 144;
    EXPECT_TRUE(found);
    EXPECT_EQ(CountDraws(kMenuTexture, 512 + 30 * 9 + 4, 598 + 4), 1);  // value frame
}

TEST_F(OptionsTest, ButtonRowsTakeValuesAndKeepThePanelOpenOnDecision) {
    GoToRow(kRowFirstButton + 2);  // PAUSE
    for (int i = 0; i < 7; ++i) Press(kDirRight);
    EXPECT_EQ(sys->buttonArrangement[2], 7);
    EXPECT_EQ(sys->optionsMirror[8], 7);
    Frames(3, 0, kBtnDecision);
    EXPECT_EQ(menu->subPhase, kPhaseIdle);
    EXPECT_EQ(menu->subOpen, 8);
    EXPECT_EQ(ConfirmSounds(), 1);  // only the opening
}

TEST_F(OptionsTest, PadButtonPressedOnAButtonRowIsAssigned) {
    sys->activeInputDevice = 1;
    platform.input.padConnected = true;
    GoToRow(kRowFirstButton);  // DECISION
    platform.input.pad.buttons = 0x4000;  // X
    Frame();
    EXPECT_EQ(sys->buttonArrangement[0], 2);
    EXPECT_EQ(sys->optionsMirror[kRowFirstButton], 2);
    EXPECT_EQ(CountDraws(kMenuTexture, 512 + 30 * 2 + 4, 390 + 4), 1);
    // With several held the last of A, B, X, Y wins.
    platform.input.pad.buttons = 0x1000 | 0x8000 | 0x2000;
    Frame();
    EXPECT_EQ(sys->buttonArrangement[0], 3);

    // An unplugged pad assigns nothing and is not asked again.
    platform.input.padConnected = false;
    Frame();
    const int reads = platform.input.padReads;
    Frames(3);
    EXPECT_EQ(platform.input.padReads, reads);
    EXPECT_EQ(sys->buttonArrangement[0], 3);
}

TEST_F(OptionsTest, OptionsIgnoreArrowsWhileTheRankingIsOpen) {
    // Close the options, move to the ranking item and open it.
    Frame(0, kBtnDecision);
    Frames(9);
    Press(kDirUp);
    ASSERT_EQ(menu->titleCursor, kItemRanking);
    Frame(0, kBtnDecision);
    Frames(9);
    ASSERT_EQ(menu->subOpen, 8);
    int32_t before[kOptionRows];
    std::memcpy(before, sys->optionsMirror, sizeof before);
    const int32_t cursor = menu->optionCursor;
    for (int32_t d : {kDirUp, kDirDown, kDirLeft, kDirRight}) Press(d);
    EXPECT_EQ(std::memcmp(before, sys->optionsMirror, sizeof before), 0);
    EXPECT_EQ(menu->optionCursor, cursor);
}

TEST_F(OptionsTest, CursorPulsesAndSitsLowerOnTheButtonRows) {
    Frame();
    // The pulse climbs by 4 to 128, then alternates between 124 and 128.
    const int32_t p0 = scene->cursorPulse;
    Frame();
    EXPECT_EQ(scene->cursorPulse, p0 + 4);
    Frames(40);
    EXPECT_TRUE(scene->cursorPulse == 124 || scene->cursorPulse == 128);
    const int32_t a = scene->cursorPulse;
    Frame();
    EXPECT_EQ(scene->cursorPulse, a == 128 ? 124 : 128);

    // Row cursor: rows 6..9 sit 24 pixels lower than the others.
    GoToRow(7);
    EXPECT_EQ(CountDraws(kMenuTexture, 324 + 4, 78 + 52 * 7 + 4), 1);
}
