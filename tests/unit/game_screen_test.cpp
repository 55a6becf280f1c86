// The play scene around the rules: the sprites of a frame and their order, the texts, the pause
// machine, the fade step and the music requests.
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "game_test_support.h"
#include "core/CXi.h"

namespace {

using gametest::GameTest;

class ScreenTest : public GameTest {
protected:
    void SetUp() override {
        GameTest::SetUp();
        game->dxGr->drawObserverContext = &drawn;
        game->dxGr->drawObserver = [](const DrawParam& p, void* context) {
            static_cast<std::vector<DrawParam>*>(context)->push_back(p);
        };
        scene->sceneNumber = 4;
    }
    void Frame(int32_t dirs = 0, int32_t buttons = 0) {
        drawn.clear();
        SceneFrame(dirs, buttons);
    }
    // Index of the first sprite at or after `from` with this texture and destination.
    int Find(int32_t texture, int32_t x, int32_t y, size_t from = 0) const {
        for (size_t i = from; i < drawn.size(); ++i) {
            if (drawn[i].texture == texture && drawn[i].x == x && drawn[i].y == y) return static_cast<int>(i);
        }
        return -1;
    }
    const DrawParam& At(int i) const { return drawn[static_cast<size_t>(i)]; }
    static unsigned GlyphCode(const DrawParam& p) {
        EXPECT_EQ(p.texture, 6);
        EXPECT_EQ(p.srcW, 16);
        EXPECT_EQ(p.srcH, 32);
        return static_cast<unsigned>(p.srcX / 16 + (p.srcY / 32) * 16);
    }
    // The glyphs of a text submitted last cell first, read back in reading order.
    std::string TextAt(int first, int cells) const {
        std::string s(static_cast<size_t>(cells), '?');
        for (int n = 0; n < cells; ++n) {
            const DrawParam& p = At(first + n);
            s[static_cast<size_t>(cells - 1 - n)] = static_cast<char>(GlyphCode(p));
        }
        return s;
    }

    std::vector<DrawParam> drawn;
};

TEST_F(ScreenTest, PlayFrameSpritesInOrder) {
    Frame();
    gPlay.score = 123;
    Frame();
    int pieceCells = 0;
    for (int k = 0; k < 16; ++k) pieceCells += ShapeCell(gPlay.pieceQueue[0], gPlay.rotation, k) != 0;
    ASSERT_EQ(drawn.size(), static_cast<size_t>(1 + 96 + pieceCells + 11 + 10 + 360 + 1 + 4 + 36));

    const DrawParam& bg = drawn[0];
    EXPECT_EQ(bg.texture, 3);
    EXPECT_EQ(bg.x, 16);
    EXPECT_EQ(bg.w, 1536);
    EXPECT_EQ(bg.h, 768);
    EXPECT_EQ(bg.srcW, 512);
    EXPECT_EQ(bg.srcH, 256);

    // Box cell 15 of next piece 1 first: cell value 0 unless the box has it filled.
    const DrawParam& first = drawn[1];
    EXPECT_EQ(first.x, 808 + 72);
    EXPECT_EQ(first.y, 24 + 72);
    EXPECT_EQ(first.srcX, 192 + 8 * ShapeCell(gPlay.pieceQueue[1], 0, 15));
    EXPECT_EQ(first.srcY, 256);
    EXPECT_EQ(first.w, 24);
    EXPECT_EQ(first.pivotX, 12.0f);
    EXPECT_EQ(first.scaleX, 1.0f);
    EXPECT_EQ(first.colour, 0xFFFFFFFFu);
    EXPECT_EQ(drawn[6].x, 1096 + 72);   // next piece 6
    EXPECT_EQ(drawn[6].y, 456 + 72);

    // The falling piece goes before the board, which covers it.
    const int boardStart = 1 + 96 + pieceCells + 21;
    int lastPiece = -1;
    for (int i = 1; i < boardStart; ++i) {
        if (At(i).x >= 496 && At(i).x < 784 && At(i).texture == 3) lastPiece = i;
    }
    EXPECT_GT(lastPiece, 0);
    EXPECT_LT(lastPiece, boardStart);

    // Score "%10d" into 11 cells, level "Level %2d" into 10 cells; cells past the end are 0.
    const int score = 1 + 96 + pieceCells;
    EXPECT_EQ(At(score).x, 310 + 160);
    EXPECT_EQ(At(score).y, 24);
    EXPECT_EQ(At(score).w, 32);
    EXPECT_EQ(At(score).h, 64);
    EXPECT_EQ(TextAt(score, 11), std::string("       123") + '\0');
    EXPECT_EQ(At(score + 11).x, 298 + 144);
    EXPECT_EQ(At(score + 11).y, 120);
    EXPECT_EQ(TextAt(score + 11, 10), std::string("Level  1") + '\0' + '\0');

    // The board, cell by cell, walls drawn as value 9.
    for (int i = 0; i < 360; ++i) {
        const DrawParam& p = At(boardStart + i);
        ASSERT_EQ(p.x, 496 + 24 * (i % 12));
        ASSERT_EQ(p.y, 24 * (i / 12));
        ASSERT_EQ(p.srcX, 192 + 8 * gPlay.board[i]);
    }
    EXPECT_EQ(At(boardStart).srcX, 192 + 72);
    EXPECT_EQ(At(boardStart + 359).srcX, 192);

    const DrawParam& overlay = At(boardStart + 360);
    EXPECT_EQ(overlay.texture, 120);
    EXPECT_EQ(overlay.w, 1280);
    EXPECT_EQ(overlay.h, 720);
}

TEST_F(ScreenTest, PausedFrameShowsOnlyTheTexts) {
    Frame();
    scene->menu.pausePhase = 4;
    scene->menu.paused = 1;
    gPlay.gameOverCounter = 50;
    Frame();
    ASSERT_EQ(drawn.size(), static_cast<size_t>(1 + 11 + 10 + 11 + 1 + 4 + 36));
    EXPECT_EQ(drawn[22].x, 568 + 160);
    EXPECT_EQ(drawn[22].y, 288);
    EXPECT_EQ(TextAt(22, 11), std::string("P A U S E") + '\0' + '\0');
    EXPECT_EQ(gPlay.gameOverCounter, 50);   // the sequence halts with the game
}

TEST_F(ScreenTest, GameOverBarsClimbAndThePictureFollows) {
    Frame();
    gPlay.gameOverCounter = 40;
    Frame();
    EXPECT_EQ(gPlay.gameOverCounter, 41);
    const int firstBar = Find(3, 16, 30 * 24);
    ASSERT_GT(firstBar, 0);
    for (int k = 0; k < 40; ++k) {
        const DrawParam& p = At(firstBar + k);
        EXPECT_EQ(p.y, (30 - k) * 24);
        EXPECT_EQ(p.w, 1280);
        EXPECT_EQ(p.srcY, 248);
        EXPECT_EQ(p.srcW, 416);
    }
    const DrawParam& picture = At(firstBar + 40);
    EXPECT_EQ(picture.texture, 2);
    EXPECT_EQ(picture.x, 220);
    EXPECT_EQ(picture.w, 768);
    EXPECT_EQ(picture.srcX, 255);

    // Below 33 no picture yet.
    gPlay.gameOverCounter = 5;
    Frame();
    EXPECT_EQ(Find(2, 220, 240), -1);
}

TEST_F(ScreenTest, OverlayBordersAndStatusLine) {
    scene->fadeAlpha = 0x80;
    scene->objects[0][kObjectXField] = 1296;
    scene->objects[1][kObjectXField] = 7;
    scene->statusValue = -5;
    CObjectIcDX object(sys, scene, game->xa2, game->dxGr);
    object.DrawFadeOverlay();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].colour, 0x80FFFFFFu);

    // Scene 4 frames the picture to x 16..1264, scene 3 to 32..1280.
    drawn.clear();
    object.DrawBorders();
    ASSERT_EQ(drawn.size(), 4u);
    EXPECT_EQ(drawn[0].w, 1248 + 512);
    EXPECT_EQ(drawn[1].y, 720);
    EXPECT_EQ(drawn[2].x + drawn[2].w, 16);
    EXPECT_EQ(drawn[3].x, 1264);
    scene->sceneNumber = 3;
    drawn.clear();
    object.DrawBorders();
    EXPECT_EQ(drawn[2].x + drawn[2].w, 0);
    EXPECT_EQ(drawn[3].x, 1280);

    drawn.clear();
    object.DrawStatusLine();
    ASSERT_EQ(drawn.size(), 36u);
    const char* expected = "     1296        0        7       -5";
    for (int i = 0; i < 36; ++i) {
        EXPECT_EQ(At(i).x, 10 * i);
        EXPECT_EQ(At(i).y, 720);
        EXPECT_EQ(At(i).w, 16);
        EXPECT_EQ(At(i).h, 32);
        EXPECT_EQ(GlyphCode(At(i)), static_cast<unsigned>(expected[i])) << i;
    }
}

TEST_F(ScreenTest, PauseMachinePhases) {
    EnableEffects();
    CObjectIcDX object(sys, scene, game->xa2, game->dxGr);
    MenuBlock& m = scene->menu;
    auto step = [&](bool held) {
        sys->buttonBits = held ? kBtnPause : 0;
        object.UpdatePause();
    };
    // A press pauses at once with effect 0; the opening counts 8 frames to phase 2.
    step(true);
    EXPECT_EQ(m.pausePhase, 1);
    EXPECT_EQ(m.paused, 1);
    EXPECT_EQ(EffectStarts(0), 1);
    for (int f = 1; f < 8; ++f) step(f % 2 == 0);   // presses while opening change nothing
    EXPECT_EQ(m.pausePhase, 1);
    EXPECT_EQ(m.pauseOpen, 8);
    step(true);
    EXPECT_EQ(m.pausePhase, 2);
    step(true);
    EXPECT_EQ(m.pausePhase, 2);
    step(false);
    EXPECT_EQ(m.pausePhase, 4);
    step(false);
    EXPECT_EQ(m.pausePhase, 4);

    // No resume while a title phase runs.
    m.titlePhase = 1;
    step(true);
    EXPECT_EQ(m.pausePhase, 4);
    m.titlePhase = 0;

    // The next press resumes at once; the counter runs down whatever PAUSE does, and the frame
    // that finds it at 0 (the ninth, the press included) ends phase 8.
    step(true);
    EXPECT_EQ(m.pausePhase, 8);
    EXPECT_EQ(m.paused, 0);
    for (int f = 1; f < 8; ++f) {
        step(f % 3 == 0);
        EXPECT_EQ(m.pausePhase, 8) << f;
    }
    step(true);
    EXPECT_EQ(m.pausePhase, 16);
    EXPECT_EQ(m.pauseOpen, 0);
    step(true);
    EXPECT_EQ(m.pausePhase, 16);
    step(false);
    EXPECT_EQ(m.pausePhase, 0);
    EXPECT_EQ(EffectStarts(0), 1);
}

TEST_F(ScreenTest, FadeTakesFiftyOneFrames) {
    int frames = 0;
    scene->fadeToBlack = 1;
    while (scene->fadeAlpha < 255 && frames < 100) {
        UpdateFade(scene);
        ++frames;
    }
    EXPECT_EQ(frames, 51);
    UpdateFade(scene);
    EXPECT_EQ(scene->fadeAlpha, 255);
    EXPECT_EQ(scene->fadeToBlack, 1);

    scene->fadeToBlack = 0;
    scene->fadeFromBlack = 1;
    frames = 0;
    while (scene->fadeAlpha > 0 && frames < 100) {
        UpdateFade(scene);
        ++frames;
    }
    EXPECT_EQ(frames, 51);
    EXPECT_EQ(scene->fadeFromBlack, 1);    // cleared one frame after reaching 0
    UpdateFade(scene);
    EXPECT_EQ(scene->fadeFromBlack, 0);
    EXPECT_EQ(scene->fadeAlpha, 0);

    // A level off the steps of 5 never wraps.
    scene->fadeAlpha = 253;
    scene->fadeToBlack = 1;
    UpdateFade(scene);
    EXPECT_EQ(scene->fadeAlpha, 255);
    scene->fadeToBlack = 0;
    scene->fadeFromBlack = 1;
    scene->fadeAlpha = 3;
    UpdateFade(scene);
    EXPECT_EQ(scene->fadeAlpha, 0);
}

// Parses "1, 3, 131-133" into the codes it lists.
std::vector<int> Codes(const char* list) {
    std::vector<int> out;
    std::stringstream in(list);
    std::string item;
    while (std::getline(in, item, ',')) {
        int a = 0, b = 0;
        if (std::sscanf(item.c_str(), "%d-%d", &a, &b) == 2) {
            for (int c = a; c <= b; ++c) out.push_back(c);
        } else {
            out.push_back(a);
        }
    }
    return out;
}

TEST_F(ScreenTest, MusicRequestCodes) {
    int expected[1001];
    for (int& t : expected) t = 0;
    expected[0] = 7;
    for (int c : Codes("1, 3, 14, 19, 20, 131-133, 135, 146-152, 155-162, 164, 165, 168, 169, 179"))
        expected[c] = 5;
    for (int c : Codes("2, 4-13, 15-18, 21-25, 101-113, 122, 134, 136-145, 153, 154, 166, 167, "
                       "170-178, 210, 901"))
        expected[c] = 6;
    CDungeon dungeon(sys, scene);
    for (int code = -3; code <= 1000; ++code) {
        const int want = code < 0 ? 0 : expected[code];
        sys->currentMusicTrack = 3;
        sys->previousMusic = 0;
        sys->musicRestart = 1;
        scene->musicRequestPending = 1;
        EXPECT_EQ(dungeon.SelectMusic(code), 1);
        if (want == 0) {
            EXPECT_EQ(scene->musicRequestPending, 1) << code;
            EXPECT_EQ(sys->currentMusicTrack.load(), 3) << code;
            EXPECT_EQ(sys->musicRestart, 1) << code;
        } else {
            EXPECT_EQ(scene->musicRequestPending, 0) << code;
            EXPECT_EQ(sys->currentMusicTrack.load(), want) << code;
            EXPECT_EQ(sys->previousMusic, 3) << code;
            EXPECT_EQ(sys->musicRestart, 0) << code;
        }
    }

    // An unserved request is offered again each frame; overwriting its code gets it served.
    sys->currentMusicTrack = 0;
    scene->musicRequestPending = 1;
    scene->musicRequestCode = 30;
    Frame();
    Frame();
    EXPECT_EQ(scene->musicRequestPending, 1);
    scene->musicRequestCode = 0;
    Frame();
    EXPECT_EQ(scene->musicRequestPending, 0);
    EXPECT_EQ(sys->currentMusicTrack.load(), 7);
}

}  // namespace
