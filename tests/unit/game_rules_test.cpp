// The rules of one play frame: generator and set-up, horizontal auto-repeat, rotation, gravity and
// the lock delay, line clears and scoring, the game-over count and the end of a game.
#include <random>
#include <vector>

#include "game_test_support.h"
#include "core/CXi.h"

namespace {

using gametest::GameTest;

int32_t FirstType(uint32_t seed) {
    std::mt19937 gen(seed);
    return NextPieceType(gen);
}

int FilledCells(int32_t type, int32_t rotation, int32_t* value) {
    int n = 0;
    for (int k = 0; k < 16; ++k) {
        if (ShapeCell(type, rotation, k) != 0) {
            ++n;
            *value = ShapeCell(type, rotation, k);
        }
    }
    return n;
}

TEST(GamePieces, GeneratorAndShapeTable) {
    // The reference seed's first output 3499211612 has top bits 110: the I piece.
    EXPECT_EQ(FirstType(5489), 6);

    for (int32_t t = 0; t < 8; ++t) {
        for (int32_t r = 0; r < 4; ++r) {
            int32_t value = 0;
            EXPECT_EQ(FilledCells(t, r, &value), t == kSingleBlock ? 1 : 4) << t << " " << r;
            EXPECT_EQ(value, t + 1);
        }
    }
    // Z, S and I have two distinct boxes; O and the single block one.
    for (int32_t t : {0, 1, 6}) {
        for (int k = 0; k < 16; ++k) {
            EXPECT_EQ(ShapeCell(t, 0, k), ShapeCell(t, 2, k));
            EXPECT_EQ(ShapeCell(t, 1, k), ShapeCell(t, 3, k));
        }
    }
    for (int32_t r = 1; r < 4; ++r) {
        for (int k = 0; k < 16; ++k) {
            EXPECT_EQ(ShapeCell(5, r, k), ShapeCell(5, 0, k));
            EXPECT_EQ(ShapeCell(7, r, k), ShapeCell(7, 0, k));
        }
    }
    // T points up in rotation 0 and right after a clockwise quarter turn.
    EXPECT_NE(ShapeCell(2, 0, 5), 0);
    EXPECT_NE(ShapeCell(2, 1, 10), 0);
    EXPECT_EQ(ShapeCell(2, 1, 8), 0);
}

TEST_F(GameTest, SetUpBuildsTheWellAndTheQueueFromTheFrameSeed) {
    // Seed: low 32 bits of the calendar second plus both ids, modulo 2^32.
    platform.SetCalendarTime(0x100000000LL + 5000);
    gWindowThreadId = 0xFFFFFFF0u;
    gProcessId = 0x20;
    const uint32_t seed = 5000 + 0x10;
    EXPECT_EQ(PieceSeed(), seed);

    Play();
    EXPECT_EQ(gPlay.boardReady, 1);
    for (int r = 0; r < 30; ++r) {
        for (int c = 0; c < 12; ++c) {
            const bool wall = r <= 28 && (c == 0 || c == 11 || r == 28);
            EXPECT_EQ(Cell(r, c), wall ? 9 : 0) << r << "," << c;
        }
    }
    std::mt19937 ref(seed);
    int32_t first[8];
    for (int i = 0; i < 8; ++i) {
        first[i] = NextPieceType(ref);
        EXPECT_EQ(gPlay.pieceQueue[i], first[i]);
    }
    EXPECT_EQ(gPlay.pieceX, 96);

    // A second game in the same second of the same run gets the same queue.
    gPlay.boardReady = 0;
    std::memset(gPlay.pieceQueue, 0, sizeof gPlay.pieceQueue);
    Play();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(gPlay.pieceQueue[i], first[i]);
}

TEST_F(GameTest, HorizontalAutoRepeat) {
    // O piece (columns 5 and 6): four moves to the right wall, at once, after 24, then every 3.
    StartWith(5);
    std::vector<int> moves;
    int32_t x = gPlay.pieceX;
    for (int f = 0; f < 40; ++f) {
        Play(kDirRight);
        if (gPlay.pieceX != x) moves.push_back(f);
        x = gPlay.pieceX;
    }
    EXPECT_EQ(moves, (std::vector<int>{0, 24, 27, 30}));
    EXPECT_EQ(gPlay.pieceX, 96 + 4 * 24);
    EXPECT_EQ(gPlay.moveCounter, 24);   // blocked: waits ready at the wall

    // Turning from Right to Left without a released frame keeps the fast rate.
    moves.clear();
    for (int f = 0; f < 7; ++f) {
        Play(kDirLeft);
        if (gPlay.pieceX != x) moves.push_back(f);
        x = gPlay.pieceX;
    }
    EXPECT_EQ(moves, (std::vector<int>{0, 3, 6}));

    // Releasing both directions resets to the slow first delay.
    Play();
    EXPECT_EQ(gPlay.fastRepeat, 0);
    Play(kDirLeft);
    Play(kDirLeft);
    EXPECT_EQ(gPlay.moveCounter, 2);
}

TEST_F(GameTest, DecisionHoldsMovesBackAndLeftWinsOverRight) {
    StartWith(5);
    for (int f = 0; f < 5; ++f) Play(kDirRight, kBtnDecision);
    EXPECT_EQ(gPlay.pieceX, 96);
    EXPECT_EQ(gPlay.moveCounter, 24);
    Play(kDirRight);                        // allowed again: moves at once
    EXPECT_EQ(gPlay.pieceX, 120);
    Play();
    Play(kDirRight, kBtnCancellation);      // CANCELLATION does not hold moves back
    EXPECT_EQ(gPlay.pieceX, 144);

    Play();
    Play(kDirLeft | kDirRight);
    EXPECT_EQ(gPlay.pieceX, 120);

    // Against the left wall a held Left does not fall back to Right.
    Place(5, 0, 0);
    Play();
    Play(kDirLeft | kDirRight);
    EXPECT_EQ(gPlay.pieceX, 0);
    EXPECT_EQ(gPlay.moveCounter, 24);
}

TEST_F(GameTest, HorizontalMoveUsesThePreviousFrameContacts) {
    StartWith(5);
    EXPECT_EQ(gPlay.blockedLeft, 0);
    Cell(1, 4) = 3;                         // occupied after the contacts were taken
    Play(kDirLeft);
    EXPECT_EQ(gPlay.pieceX, 72);            // slid into the stack cell, which it now overlaps
}

TEST_F(GameTest, RotationLatchesAndRevertsWithoutKick) {
    // I piece upright in column 1: both horizontal rotations would overlap the wall.
    StartWith(6, 0, 0, 0);
    Play(0, kBtnDecision);
    EXPECT_EQ(gPlay.rotation, 0);
    EXPECT_EQ(gPlay.cwLatch, 1);
    Play(0, kBtnCancellation);
    EXPECT_EQ(gPlay.rotation, 0);
    EXPECT_EQ(gPlay.cwLatch, 0);
    EXPECT_EQ(gPlay.ccwLatch, 1);

    // Free space: one turn per press, both buttons at once turn and turn back.
    Place(6, 96, 0, 0);
    Play();
    Play(0, kBtnDecision);
    EXPECT_EQ(gPlay.rotation, 1);
    Play(0, kBtnDecision);
    EXPECT_EQ(gPlay.rotation, 1);
    Play();
    Play(0, kBtnCancellation);
    EXPECT_EQ(gPlay.rotation, 0);
    Play(0, kBtnCancellation);
    Play();
    Play(0, kBtnDecision | kBtnCancellation);
    EXPECT_EQ(gPlay.rotation, 0);

    // A wrapped turn that overlaps goes back to 3, not to -1.
    Place(6, 24, 0, 3);
    Cell(0, 2) = 4;
    Play();
    Play(0, kBtnDecision);
    EXPECT_EQ(gPlay.rotation, 3);
}

TEST_F(GameTest, GravityAndSoftDropSpeeds) {
    for (int32_t level : {0, 5, 9}) {
        StartWith(7);
        gPlay.level = level;
        int frames = 0;
        while (gPlay.pieceY == 0 && frames < 100) {
            Play();
            ++frames;
        }
        EXPECT_EQ(frames, (10 - level) * 6 + 1) << "level " << level;
    }
    StartWith(7);
    gPlay.score = 0;
    for (int f = 0; f < 9; ++f) Play(kDirDown);
    EXPECT_EQ(gPlay.pieceY, 3 * 24);
    EXPECT_EQ(gPlay.score, 3);
    EXPECT_EQ(gPlay.gravityCounter, 0);
}

TEST_F(GameTest, LockDelayIsThirtyOneRestingFrames) {
    // O resting on the floor, overlapping one stack cell that keeps its value; a move while
    // resting does not restart the delay.
    StartWith(5, 96, 600);
    Cell(27, 6) = 3;
    const uint32_t seed = PieceSeed();
    const int32_t next[7] = {gPlay.pieceQueue[1], gPlay.pieceQueue[2], gPlay.pieceQueue[3],
                             gPlay.pieceQueue[4], gPlay.pieceQueue[5], gPlay.pieceQueue[6],
                             gPlay.pieceQueue[7]};
    gPlay.score = 0;
    for (int f = 0; f < 30; ++f) Play(f == 0 ? kDirRight : 0);
    EXPECT_EQ(gPlay.lockCounter, 30);
    EXPECT_EQ(gPlay.pieceY, 600);
    Play();
    EXPECT_EQ(gPlay.pieceY, 0);
    EXPECT_EQ(gPlay.pieceX, 96);
    EXPECT_EQ(gPlay.rotation, 0);
    EXPECT_EQ(gPlay.score, 20);
    EXPECT_EQ(gPlay.stuckCount, 1);
    EXPECT_EQ(Cell(26, 6), 6);
    EXPECT_EQ(Cell(26, 7), 6);
    EXPECT_EQ(Cell(27, 6), 3);
    EXPECT_EQ(Cell(27, 7), 6);
    EXPECT_EQ(Cell(27, 5), 0);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(gPlay.pieceQueue[i], next[i]);
    EXPECT_EQ(gPlay.pieceQueue[7], FirstType(seed));

    // The single block scores 200.
    Place(kSingleBlock, 120, 24 * 23);      // its cell at (25, 6), resting on the O
    for (int f = 0; f < 31; ++f) Play();
    EXPECT_EQ(gPlay.score, 220);
    EXPECT_EQ(Cell(25, 6), 8);
}

TEST_F(GameTest, RestingOnNothingRestartsTheLockDelayAndSkipsOneGravityStep) {
    StartWith(5, 96, 0);                    // O in rows 1 and 2
    Cell(3, 5) = 1;
    Play();
    for (int f = 0; f < 19; ++f) Play();
    EXPECT_EQ(gPlay.lockCounter, 20);
    Cell(3, 5) = 0;
    Play();                                 // contacts of the new frame: free, delay back to 0
    EXPECT_EQ(gPlay.lockCounter, 0);
    EXPECT_EQ(gPlay.gravityCounter, 0);     // gravity skipped in that frame
    for (int f = 0; f < 60; ++f) Play();
    EXPECT_EQ(gPlay.pieceY, 0);
    Play();
    EXPECT_EQ(gPlay.pieceY, 24);
}

TEST_F(GameTest, LineClearsScoreByLinesAndLevel) {
    EnableEffects();
    struct Case {
        int lines, level, points, effect;
    };
    const Case cases[] = {{1, 0, 200, 14}, {2, 0, 400, 14}, {3, 2, 2400, 14}, {4, 9, 16000, 11}};
    for (const Case& c : cases) {
        StartWith(kSingleBlock);
        gPlay.score = 0;
        gPlay.level = c.level;
        gPlay.levelLines = 0;
        for (int i = 0; i < c.lines; ++i) FillRow(27 - i);
        Cell(27 - c.lines, 3) = 2;          // a marker above the cleared rows drops to row 27
        const int before = EffectStarts(c.effect);
        Play();
        EXPECT_EQ(gPlay.score, c.points) << c.lines << " lines";
        EXPECT_EQ(EffectStarts(c.effect), before + 1);
        EXPECT_EQ(gPlay.levelLines, c.lines);
        EXPECT_EQ(gPlay.linesThisFrame, 0);
        EXPECT_EQ(Cell(27, 3), 2);
        for (int r = 0; r < 27; ++r) {
            for (int col = 1; col <= 10; ++col) EXPECT_EQ(Cell(r, col), 0);
        }
        gPlay.board[27 * 12 + 3] = 0;
    }

    // Nothing full: nothing scored or played.
    StartWith(kSingleBlock);
    gPlay.score = 0;
    FillRow(27, 4);
    Play();
    EXPECT_EQ(gPlay.score, 0);
}

TEST_F(GameTest, LevelUpIsAppliedBeforeScoringAndDropsExtraLines) {
    StartWith(kSingleBlock);
    gPlay.score = 0;
    gPlay.levelLines = 19;
    FillRow(26);
    FillRow(27);
    Play();
    EXPECT_EQ(gPlay.level, 1);
    EXPECT_EQ(gPlay.levelLines, 0);
    EXPECT_EQ(gPlay.score, 2 * 400);

    // Level 9 is the last.
    gPlay.level = 9;
    gPlay.levelLines = 19;
    gPlay.score = 0;
    FillRow(27);
    Play();
    EXPECT_EQ(gPlay.level, 9);
    EXPECT_EQ(gPlay.score, 10 * 200);
}

TEST_F(GameTest, ClearingARowBelowTheTopCopiesRowZeroDown) {
    StartWith(kSingleBlock, 96, 24 * 10);
    Cell(0, 3) = 5;
    FillRow(6);
    Play();
    EXPECT_EQ(Cell(0, 3), 5);               // row 0 keeps its value ...
    EXPECT_EQ(Cell(1, 3), 5);               // ... and row 1 takes it
    FillRow(0);
    Play();
    for (int c = 1; c <= 10; ++c) EXPECT_EQ(Cell(0, c), 0);
    EXPECT_EQ(Cell(1, 3), 5);
    for (int r = 0; r < 29; ++r) {          // walls never move
        EXPECT_EQ(Cell(r, 0), 9);
        EXPECT_EQ(Cell(r, 11), 9);
    }
}

TEST_F(GameTest, PausedGameStillLocksAndClearsButDoesNotMove) {
    EnableEffects();
    StartWith(5, 96, 600);
    FillRow(26, 5);
    FillRow(27, 5);
    Cell(26, 6) = 0;
    Cell(27, 6) = 0;
    gPlay.score = 0;
    scene->menu.paused = 1;
    for (int f = 0; f < 31; ++f) Play(kDirLeft, kBtnDecision);
    EXPECT_EQ(gPlay.score, 20 + 400);
    EXPECT_EQ(EffectStarts(14), 1);
    EXPECT_EQ(gPlay.moveCounter, 24);
    EXPECT_EQ(gPlay.cwLatch, 0);
    // The new piece rests on nothing and stays where it spawned.
    for (int f = 0; f < 100; ++f) Play(kDirDown | kDirLeft);
    EXPECT_EQ(gPlay.pieceY, 0);
    EXPECT_EQ(gPlay.pieceX, 96);
    EXPECT_EQ(gPlay.rotation, 0);
}

TEST_F(GameTest, FourStuckLocksStartTheGameOverAndTheGameEnds) {
    scene->sceneNumber = 4;
    SceneFrame();
    for (int r = 3; r <= 27; ++r) FillRow(r, 10);
    gPlay.score = 1000;
    int32_t expected = 1000;
    for (int i = 0; i < 4; ++i) expected += gPlay.pieceQueue[i] == kSingleBlock ? 200 : 20;
    int locks = 0, frames = 0;
    while (locks < 4 && frames < 200) {
        const int32_t stuck = gPlay.stuckCount;
        SceneFrame();
        ++frames;
        if (gPlay.stuckCount != stuck) {
            ++locks;
            if (locks < 4) {
                EXPECT_EQ(gPlay.gameOverCounter, 0);
            }
        }
    }
    ASSERT_EQ(locks, 4);
    EXPECT_EQ(frames, 4 * 31);
    EXPECT_EQ(gPlay.gameOverCounter, 2);    // once for resting, once for the sequence
    const int32_t finalScore = gPlay.score;
    EXPECT_EQ(finalScore, expected);

    // No more locks during the sequence; the fade starts past 256 and the game ends when black.
    scene->rankScores[0] = 5000;
    scene->heldBuffer = new uint8_t[16];
    while (scene->sceneNumber == 4 && frames < 1000) {
        SceneFrame();
        ++frames;
        EXPECT_LE(gPlay.stuckCount, 4);
    }
    ASSERT_EQ(scene->sceneNumber, 1);
    EXPECT_EQ(scene->rankScores[0], 5000);
    EXPECT_EQ(scene->rankScores[1], finalScore);
    EXPECT_EQ(scene->rankGameTime, 1700000000);
    EXPECT_EQ(scene->heldBuffer, nullptr);
    EXPECT_EQ(scene->musicRequestPending, 1);
    EXPECT_EQ(scene->musicRequestCode, 0);
    EXPECT_EQ(sys->currentMusicTrack.load(), 0);
    EXPECT_EQ(sys->musicRestart, 0);
    EXPECT_EQ(scene->fadeAlpha, 255);
    EXPECT_EQ(scene->fadeFromBlack, 1);
    EXPECT_EQ(scene->fadeToBlack, 0);
    EXPECT_EQ(gPlay.boardReady, 0);
    EXPECT_EQ(gPlay.score, 0);
    EXPECT_EQ(gPlay.gameOverCounter, 0);
    EXPECT_EQ(gPlay.moveCounter, 24);
    EXPECT_EQ(gPlay.pieceX, 96);
    for (int i = 0; i < 360; ++i) EXPECT_EQ(gPlay.board[i], 0);

    // The next game starts fresh on its first frame.
    scene->sceneNumber = 4;
    SceneFrame();
    EXPECT_EQ(gPlay.boardReady, 1);
    EXPECT_EQ(Cell(28, 5), 9);
    EXPECT_EQ(gPlay.level, 0);
}

TEST_F(GameTest, AFreeFallingFrameEndsARunOfStuckLocks) {
    StartWith(kSingleBlock);
    gPlay.stuckCount = 3;
    Play();
    EXPECT_EQ(gPlay.stuckCount, 0);
}

}  // namespace
