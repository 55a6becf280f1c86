// Title menu: opening, the start of a game with its fade, the cursor's key repeat, the sub-screen
// phases and the waiting picture.
#include <cstring>

#include "menu_fixture.h"

class TitleMenuTest : public MenuTest {
protected:
    // Holds `dirs` for n frames; the frames (0-based) at which the title cursor moved, and the
    // cursor after each move.
    void HoldAndWatch(int n, int32_t dirs, std::vector<int>* at, std::vector<int>* values) {
        for (int i = 0; i < n; ++i) {
            const int before = menu->titleCursor;
            Frame(dirs);
            if (menu->titleCursor != before) {
                at->push_back(i);
                values->push_back(menu->titleCursor);
            }
        }
    }
};

TEST_F(TitleMenuTest, OpensOverEightFramesAndWaitsForDecisionToBeReleased) {
    for (int i = 1; i <= 8; ++i) {
        Frame(0, kBtnDecision);
        EXPECT_EQ(menu->titlePhase, kPhaseOpening);
        EXPECT_EQ(menu->titleOpen, i);
    }
    // DECISION held from the previous scene: open, but not idle until it is let go.
    Frames(5, 0, kBtnDecision);
    EXPECT_EQ(menu->titlePhase, kPhaseOpenHeld);
    EXPECT_EQ(ConfirmSounds(), 0);
    Frame();
    EXPECT_EQ(menu->titlePhase, kPhaseIdle);
    EXPECT_EQ(scene->fadeToBlack, 0);
}

TEST_F(TitleMenuTest, StartClosesFadesAndHandsOverToTheGame) {
    scene->colorTheme = 3;
    scene->cursorPulse = 40;
    scene->heldBuffer = new uint8_t[16];
    sys->musicRestart = 1;
    OpenTitle();

    // The press plays the confirmation once and already counts the frame down.
    Frame(0, kBtnDecision);
    EXPECT_EQ(menu->titlePhase, kPhaseClosing);
    EXPECT_EQ(menu->titleOpen, 7);
    EXPECT_EQ(ConfirmSounds(), 1);
    Frames(7, 0, kBtnDecision);
    EXPECT_EQ(menu->titleOpen, 0);
    EXPECT_EQ(menu->titlePhase, kPhaseClosing);
    // Closed, but the fade waits for DECISION to be released.
    Frames(3, 0, kBtnDecision);
    EXPECT_EQ(menu->titlePhase, kPhaseClosedHeld);
    EXPECT_EQ(scene->fadeToBlack, 0);
    EXPECT_EQ(scene->fadeAlpha, 0);
    EXPECT_EQ(ConfirmSounds(), 1);

    Frame();
    EXPECT_EQ(scene->fadeToBlack, 1);
    EXPECT_EQ(scene->fadeAlpha, 5);
    Frames(50);
    EXPECT_EQ(scene->fadeAlpha, 255);
    EXPECT_EQ(scene->sceneNumber, 1);

    // The frame that finds the screen black starts the game, and its own fade step already runs.
    Frame();
    EXPECT_EQ(scene->sceneNumber, 4);
    EXPECT_EQ(scene->fadeAlpha, 250);
    EXPECT_EQ(scene->fadeToBlack, 0);
    EXPECT_EQ(scene->fadeFromBlack, 1);
    EXPECT_EQ(scene->musicRequestPending, 1);
    EXPECT_EQ(scene->musicRequestCode, 0);
    EXPECT_EQ(scene->objects[0][kObjectXField], 1296);
    EXPECT_EQ(scene->objects[0][kObjectYField], 912);
    EXPECT_EQ(scene->heldBuffer, nullptr);
    EXPECT_EQ(sys->musicRestart, 0);
    EXPECT_EQ(scene->menuChoice, 0);
    MenuBlock zero;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(menu, &zero, sizeof zero), 0);
    // The panel colour and the cursor pulse belong to the whole run.
    EXPECT_EQ(scene->colorTheme, 3);
    EXPECT_EQ(scene->cursorPulse, 40);
}

TEST_F(TitleMenuTest, StartStillWorksWhileTheTitleIsFadingInAfterAGame) {
    // The title entered from a finished game: black and fading in.
    scene->fadeAlpha = 255;
    scene->fadeFromBlack = 1;
    OpenTitle();
    Frame(0, kBtnDecision);
    Frames(8);
    ASSERT_EQ(menu->titlePhase, kPhaseClosedHeld);
    ASSERT_GT(scene->fadeAlpha, 0);
    EXPECT_EQ(scene->fadeFromBlack, 0);
    int frames = 0;
    while (scene->sceneNumber == 1 && frames < 200) {
        Frame();
        ++frames;
    }
    EXPECT_EQ(scene->sceneNumber, 4);
    EXPECT_LT(frames, 60);
}

TEST_F(TitleMenuTest, HeldDirectionMovesOnPressThenAfter48FramesThenEvery3) {
    OpenTitle();
    std::vector<int> at, values;
    HoldAndWatch(60, kDirDown, &at, &values);
    EXPECT_EQ(at, (std::vector<int>{0, 48, 51, 54, 57}));
    EXPECT_EQ(values, (std::vector<int>{1, 2, 0, 1, 2}));

    // A frame without a direction makes the counter ready again: up moves at once (2 -> 1), and
    // from 0 it wraps to 2.
    Frame();
    Frame(kDirUp);
    EXPECT_EQ(menu->titleCursor, 1);
    Frame();
    Frame(kDirUp);
    Frame();
    Frame(kDirUp | kDirDown);  // up wins
    EXPECT_EQ(menu->titleCursor, 2);
}

TEST_F(TitleMenuTest, DirectionHeldWhileTheTitleOpensWaitsTheFullDelay) {
    // The zeroed counter is not ready: the first move comes 48 frames after the title is idle.
    std::vector<int> at, values;
    HoldAndWatch(60, kDirDown, &at, &values);
    ASSERT_FALSE(at.empty());
    EXPECT_EQ(at[0], 8 + 48);
}

TEST(MenuKeyRepeat, DecisionBlocksTheMoveButNotTheCount) {
    int32_t counter = 0, passed = 0;
    for (int i = 0; i < 47; ++i) ASSERT_EQ(StepKeyRepeat(&counter, &passed, false, true, true), 0);
    EXPECT_EQ(counter, 47);
    EXPECT_EQ(StepKeyRepeat(&counter, &passed, false, true, true), 0);
    EXPECT_EQ(counter, 48);
    EXPECT_EQ(passed, 1);
    EXPECT_EQ(StepKeyRepeat(&counter, &passed, false, true, true), 0);  // ready, still blocked
    EXPECT_EQ(StepKeyRepeat(&counter, &passed, false, true, false), 1);
    EXPECT_EQ(counter, 16);  // the delay has passed: fast steps
    EXPECT_EQ(StepKeyRepeat(&counter, &passed, false, false, false), 0);
    EXPECT_EQ(counter, 48);
    EXPECT_EQ(passed, 0);
}

TEST_F(TitleMenuTest, SubScreenOpensAndClosesWithDecision) {
    OpenTitle();
    Frame(kDirDown);
    Frame(kDirDown);  // still counting: no second move
    Frame();
    Frame(kDirDown);
    Frame();
    ASSERT_EQ(menu->titleCursor, 2);

    for (int i = 1; i <= 8; ++i) {
        Frame(0, kBtnDecision);
        EXPECT_EQ(menu->subPhase, kPhaseOpening);
        EXPECT_EQ(menu->subOpen, i);
        // The panel grows with the counter: inner fill (w - 8) x (h - 8) at (212, 4).
        bool panel = false;
        for (const DrawParam& p : draws) {
            panel |= p.texture == kMenuTexture && p.x == 212 && p.y == 4 && p.w == 110 * i - 8 &&
                     p.h == 90 * i - 8;
        }
        EXPECT_TRUE(panel) << "subOpen " << i;
    }
    EXPECT_EQ(ConfirmSounds(), 1);
    // Full size 880 x 720: the bottom-right border corner.
    EXPECT_EQ(CountDraws(kMenuTexture, 208 + 880 - 4, 720 - 4), 1);
    Frame(0, kBtnDecision);
    EXPECT_EQ(menu->subPhase, kPhaseOpenHeld);
    Frame();
    EXPECT_EQ(menu->subPhase, kPhaseIdle);
    // The title cursor stays put while a sub-screen is open.
    Frame(kDirUp);
    EXPECT_EQ(menu->titleCursor, 2);
    Frame();

    Frame(0, kBtnDecision);
    EXPECT_EQ(menu->subPhase, kPhaseClosing);
    EXPECT_EQ(menu->subOpen, 7);
    EXPECT_EQ(ConfirmSounds(), 2);
    Frames(7, 0, kBtnDecision);
    EXPECT_EQ(menu->subOpen, 0);
    Frame(0, kBtnDecision);
    EXPECT_EQ(menu->subPhase, kPhaseClosedHeld);
    Frame();
    EXPECT_EQ(menu->subPhase, kPhaseClosed);
    // A closed sub-screen never starts the game.
    EXPECT_EQ(menu->titlePhase, kPhaseIdle);
    EXPECT_EQ(scene->fadeToBlack, 0);
}

TEST_F(TitleMenuTest, WaitingPictureWhileTexturesLoadAndNoInputIsTaken) {
    scene->textureReloadFlag = 1;
    Frames(20, kDirDown, kBtnDecision);
    EXPECT_EQ(menu->titlePhase, 0);
    EXPECT_EQ(menu->titleOpen, 0);
    EXPECT_EQ(ConfirmSounds(), 0);
    // Waiting picture: texture 2 from (0, 256), then the bobbing sign.
    ASSERT_GE(draws.size(), 2u);
    EXPECT_EQ(draws[0].texture, 2);
    EXPECT_EQ(draws[0].srcY, 256);
    EXPECT_EQ(draws[1].x, 400);
    EXPECT_EQ(draws[1].y, 241 + gMenuState.bounce);
    EXPECT_EQ(CountDraws(0, 16, 0), 0);  // no backdrop
    EXPECT_EQ(gMenuState.scroll, 0);
}
