// One frame of the puzzle game. The rules run in a fixed order every frame:
//   1 seed the generator   2 set up a new game   3 horizontal move   4 cell coordinates
//   5 rotation   6 contacts   7 gravity, soft drop and locking   8 line scan and score
//   9 board sprites and the game-over sequence
// The horizontal move deliberately uses the contact flags of the previous frame (computed before
// that frame's gravity step), so a piece may slide into a cell that has just become occupied.
#include "game/CObjectIcDX.h"

#include <cstdio>
#include <cstring>
#include <random>

#include "audio/CXa2.h"
#include "game/Pieces.h"
#include "game/PlayState.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "core/CLoadFile.h"
#include "core/CXi.h"
#include "core/System.h"

namespace {

constexpr int32_t kLockDelay = 30;          // a resting piece locks in its 31st frame
constexpr int32_t kStuckLimit = 3;          // the fourth stuck lock starts the game over
constexpr int32_t kPictureCount = 32;       // the game-over picture appears past this count
constexpr int32_t kEndCount = 256;          // past this count the screen fades out
constexpr int32_t kMaxLevel = 9;
constexpr int32_t kLinesPerLevel = 20;
constexpr int32_t kBoardLeft = 496;         // screen x of board column 0

constexpr int32_t kBlockTexture = 3;
constexpr int32_t kGameOverTexture = 2;
constexpr int32_t kFontTexture = 6;

// Screen origin of the boxes of queue entries 1..6.
constexpr int32_t kNextBoxX[7] = {0, 808, 952, 1096, 1096, 1096, 1096};
constexpr int32_t kNextBoxY[7] = {0, 24, 24, 24, 168, 312, 456};

// One engine for all frames, re-seeded in place: a fresh local mt19937 would pay for its default
// seeding and 2.5 KB of stack on every frame.
std::mt19937 gPieceEngine;

}  // namespace

// The generator of the current frame. Its seed is taken from the clock at the start of the frame;
// the engine itself is only seeded when the frame actually draws a piece type, which few do.
class FrameGenerator {
public:
    explicit FrameGenerator(uint32_t seed) : seed_(seed) {}
    int32_t Next() {
        if (!seeded_) {
            gPieceEngine.seed(seed_);
            seeded_ = true;
        }
        return NextPieceType(gPieceEngine);
    }

private:
    uint32_t seed_;
    bool seeded_ = false;
};

namespace {

// Board access by cell index (row * 12 + column), as the piece box addresses the board. The box
// may reach one column past either wall, which lands on the wall of the neighbouring row; an index
// outside the board reads as wall and is never written.
inline int32_t BoardAt(const PlayState& g, int32_t row, int32_t col) {
    const int32_t i = row * kBoardCols + col;
    return (i >= 0 && i < kBoardCells) ? g.board[i] : kWallCell;
}

// Score arithmetic wraps like the 32-bit counter it is, without undefined overflow.
inline int32_t AddScore(int32_t score, int32_t points) {
    return static_cast<int32_t>(static_cast<uint32_t>(score) + static_cast<uint32_t>(points));
}

inline DrawParam Sprite(int32_t texture, int32_t x, int32_t y, int32_t w, int32_t h, int32_t srcX,
                        int32_t srcY, int32_t srcW, int32_t srcH) {
    return MakeDrawParam(texture, x, y, w, h, srcX, srcY, srcW, srcH);
}

// Prints one integer into a text of n cells: at most n - 1 characters, the rest code 0.
void FormatCells(char* cells, int n, const char* format, int32_t value) {
    char printed[32];
    std::snprintf(printed, sizeof printed, format, value);
    std::memset(cells, 0, static_cast<size_t>(n));
    for (int i = 0; i < n - 1 && printed[i] != 0; ++i) cells[i] = printed[i];
}

}  // namespace

void CObjectIcDX::Submit(const DrawParam& p) {
    if (renderer != nullptr) renderer->DrawSprite(p);
}

// One board cell: value 0 empty, 1..8 piece colours, 9 wall; drawn three times its 8 x 8 source.
void CObjectIcDX::DrawCell(int32_t value, int32_t x, int32_t y) {
    DrawParam p = Sprite(kBlockTexture, x, y, 24, 24, 192 + 8 * value, 256, 8, 8);
    p.pivotX = 12.0f;
    p.pivotY = 12.0f;
    Submit(p);
}

// A text of n cells, submitted from the last cell to the first so that each glyph covers the
// left half of its right neighbour. Cells past the printed characters hold code 0. Each glyph of
// the font sheet is drawn at twice its 16 x 32 size.
void CObjectIcDX::DrawText(const char* text, int n, int32_t x, int32_t y) {
    for (int i = n - 1; i >= 0; --i) {
        const unsigned char ch = static_cast<unsigned char>(text[i]);
        Submit(Sprite(kFontTexture, x + 16 * i, y, 32, 64, (ch % 16) * 16, ((ch / 16) % 16) * 32, 16, 32));
    }
}

void CObjectIcDX::UpdateContacts() {
    PlayState& g = gPlay;
    const int32_t type = g.pieceQueue[0];
    int32_t left = 0, right = 0, below = 0;
    for (int k = 0; k < kBoxCells; ++k) {
        if (ShapeCell(type, g.rotation, k) == 0) continue;
        const int32_t row = g.cellRow[k], col = g.cellCol[k];
        // Only outer faces count: a neighbour that is itself a piece cell is skipped.
        if ((k % 4 == 0 || ShapeCell(type, g.rotation, k - 1) == 0) && BoardAt(g, row, col - 1) > 0)
            left = 1;
        if ((k % 4 == 3 || ShapeCell(type, g.rotation, k + 1) == 0) && BoardAt(g, row, col + 1) > 0)
            right = 1;
        if ((k / 4 == 3 || ShapeCell(type, g.rotation, k + 4) == 0) && BoardAt(g, row + 1, col) > 0)
            below = 1;
    }
    g.blockedLeft = left;
    g.blockedRight = right;
    g.landed = below;
}

void CObjectIcDX::PlayFrame() {
    const int32_t dirs = system->dirBits;
    const int32_t buttons = system->buttonBits;
    const bool running = scene->menu.paused == 0;

    FrameGenerator gen(PieceSeed());                  // 1
    if (gPlay.boardReady == 0) SetUpNewGame(gen);     // 2
    if (running) MoveSideways(dirs, buttons);         // 3
    PlaceBoxCells();                                  // 4
    if (running) {                                    // 5: clockwise first
        Rotate((buttons & kBtnDecision) != 0, &gPlay.cwLatch, 1);
        Rotate((buttons & kBtnCancellation) != 0, &gPlay.ccwLatch, 3);
    }
    UpdateContacts();                                 // 6
    FallAndLock(running, dirs, gen);                  // 7
    ScanLines();                                      // 8
    DrawPlay(running);                                // 9
    if (running) RunGameOver();
}

// Set-up of a new game: walls, floor and the first eight queue entries. The falling piece is
// already at its spawn position, where the previous game (or program start) left it.
void CObjectIcDX::SetUpNewGame(FrameGenerator& gen) {
    PlayState& g = gPlay;
    std::memset(g.board, 0, sizeof g.board);
    for (int r = 0; r <= 28; ++r) {
        g.board[r * kBoardCols] = kWallCell;
        g.board[r * kBoardCols + kBoardCols - 1] = kWallCell;
    }
    for (int c = 0; c < kBoardCols; ++c) g.board[28 * kBoardCols + c] = kWallCell;
    for (int i = 0; i < kQueueLength; ++i) g.pieceQueue[i] = gen.Next();
    g.boardReady = 1;
}

// Horizontal move with auto-repeat: at once, again after 24 frames, then every 3 frames. Holding
// DECISION holds the move back; the counter then waits at 24.
void CObjectIcDX::MoveSideways(int32_t dirs, int32_t buttons) {
    PlayState& g = gPlay;
    if (g.moveCounter == kMoveReady && (buttons & kBtnDecision) == 0) {
        if (dirs & kDirLeft) {
            if (g.blockedLeft == 0) {
                g.pieceX -= kCellPixels;
                g.moveCounter = 0;
            }
        } else if (dirs & kDirRight) {
            if (g.blockedRight == 0) {
                g.pieceX += kCellPixels;
                g.moveCounter = 0;
            }
        }
    }
    if ((dirs & (kDirLeft | kDirRight)) == 0) {
        g.moveCounter = kMoveReady;
        g.fastRepeat = 0;
    } else if (g.moveCounter < kMoveReady) {
        g.moveCounter += g.fastRepeat == 1 ? 8 : 1;
        if (g.moveCounter >= kMoveReady) {
            g.moveCounter = kMoveReady;
            g.fastRepeat = 1;
        }
    }
}

// Board coordinates of the 16 box cells.
void CObjectIcDX::PlaceBoxCells() {
    PlayState& g = gPlay;
    const int32_t boxCol = g.pieceX / kCellPixels;
    const int32_t boxRow = g.pieceY / kCellPixels;
    for (int k = 0; k < kBoxCells; ++k) {
        g.cellCol[k] = boxCol + k % 4;
        g.cellRow[k] = boxRow + k / 4;
    }
}

// One rotation button: a press turns the piece by quarterTurns (1 clockwise, 3 counter-clockwise)
// once until it is released; a rotation whose box would overlap the board (walls included) is
// taken back. There is no kick.
void CObjectIcDX::Rotate(bool held, int32_t* latch, int32_t quarterTurns) {
    PlayState& g = gPlay;
    if (!held) {
        *latch = 0;
        return;
    }
    if (*latch != 0) return;
    const int32_t old = g.rotation;
    g.rotation = (g.rotation + quarterTurns) & 3;
    if (BoxOverlaps(g.rotation)) g.rotation = old;
    *latch = 1;
}

bool CObjectIcDX::BoxOverlaps(int32_t rotation) const {
    const PlayState& g = gPlay;
    const int32_t type = g.pieceQueue[0];
    for (int k = 0; k < kBoxCells; ++k) {
        if (ShapeCell(type, rotation, k) != 0 && BoardAt(g, g.cellRow[k], g.cellCol[k]) != 0) return true;
    }
    return false;
}

// Gravity and soft drop while the piece rests on nothing; lock delay while it rests.
void CObjectIcDX::FallAndLock(bool running, int32_t dirs, FrameGenerator& gen) {
    PlayState& g = gPlay;
    if (g.landed == 0) {
        if (running && g.lockCounter == 0) {
            if ((dirs & kDirDown) == 0) {
                g.softDropCounter = 0;
                g.gravityCounter += 1;
                if (g.gravityCounter > (10 - g.level) * 6) {
                    g.pieceY += kCellPixels;
                    g.gravityCounter = 0;
                }
            } else {
                g.gravityCounter = 0;
                g.softDropCounter += 1;
                if (g.softDropCounter % 3 == 0) {
                    g.pieceY += kCellPixels;
                    g.score = AddScore(g.score, 1);
                }
            }
        }
        // A frame resting on nothing restarts the lock delay and ends a run of stuck pieces.
        g.lockCounter = 0;
        g.stuckCount = 0;
        return;
    }
    // The lock delay runs on while paused, so a resting piece may lock during a pause.
    if (g.gameOverCounter == 0) g.lockCounter += 1;
    if (g.lockCounter > kLockDelay && g.gameOverCounter == 0) {
        const int32_t type = g.pieceQueue[0];
        // Cells already occupied keep their value: a piece that overlaps the stack leaves only its
        // cells over empty board cells.
        for (int k = 0; k < kBoxCells; ++k) {
            const int32_t i = g.cellRow[k] * kBoardCols + g.cellCol[k];
            if (i >= 0 && i < kBoardCells && g.board[i] == 0) {
                g.board[i] = ShapeCell(type, g.rotation, k);
            }
        }
        g.score = AddScore(g.score, type == kSingleBlock ? 200 : 20);
        for (int i = 0; i < kQueueLength - 1; ++i) g.pieceQueue[i] = g.pieceQueue[i + 1];
        g.pieceQueue[kQueueLength - 1] = gen.Next();
        g.pieceY = 0;
        g.lockCounter = 0;
        g.pieceX = kSpawnX;
        g.rotation = 0;
        g.landed = 0;
        g.stuckCount += 1;
    }
    if (g.stuckCount > kStuckLimit) g.gameOverCounter += 1;
}

// Line scan of rows 0..27, top to bottom. A full row is removed by moving every row above it down
// by one within columns 1..10; row 0 is emptied only when it is the full row itself. Then the
// level and the score of the lines.
void CObjectIcDX::ScanLines() {
    PlayState& g = gPlay;
    for (int r = 0; r < kPlayRows; ++r) {
        bool full = true;
        for (int c = 1; c <= 10; ++c) {
            if (g.board[r * kBoardCols + c] <= 0) {
                full = false;
                break;
            }
        }
        if (!full) continue;
        for (int c = 1; c <= 10; ++c) {
            for (int k = r; k >= 1; --k) g.board[k * kBoardCols + c] = g.board[(k - 1) * kBoardCols + c];
            if (r == 0) g.board[c] = 0;
        }
        g.linesThisFrame += 1;
        g.levelLines += 1;
    }
    // Lines beyond 20 in the frame of a level-up are not carried over.
    if (g.levelLines >= kLinesPerLevel) {
        g.level = g.level + 1 > kMaxLevel ? kMaxLevel : g.level + 1;
        g.levelLines = 0;
    }
    if (g.linesThisFrame >= 1 && g.linesThisFrame <= 4) {
        static constexpr int32_t kPoints[5] = {0, 200, 400, 800, 1600};
        g.score = AddScore(g.score, (g.level + 1) * kPoints[g.linesThisFrame]);
        if (audio != nullptr) audio->PlaySe(g.linesThisFrame == 4 ? 11 : 14);
    }
    g.linesThisFrame = 0;
}

// The play sprites: the falling piece and the queue, the score, level and pause texts, the board.
// The falling piece goes before the board, so the board covers it. Paused, only the texts.
void CObjectIcDX::DrawPlay(bool running) {
    const PlayState& g = gPlay;
    if (running) {
        for (int k = kBoxCells - 1; k >= 0; --k) {
            const int32_t dx = kCellPixels * (k % 4);
            const int32_t dy = kCellPixels * (k / 4);
            for (int q = 1; q <= 6; ++q) {
                DrawCell(ShapeCell(g.pieceQueue[q], 0, k), kNextBoxX[q] + dx, kNextBoxY[q] + dy);
            }
            const int32_t cell = ShapeCell(g.pieceQueue[0], g.rotation, k);
            if (cell != 0) DrawCell(cell, kBoardLeft + g.pieceX + dx, g.pieceY + dy);
        }
    }
    char text[11];
    FormatCells(text, 11, "%10d", g.score);
    DrawText(text, 11, 310, 24);
    FormatCells(text, 10, "Level %2d", g.level + 1);
    DrawText(text, 10, 298, 120);
    if (scene->menu.paused == 1) {
        static constexpr char kPause[11] = "P A U S E";
        DrawText(kPause, 11, 568, 288);
    }
    if (!running) return;
    for (int i = 0; i < kBoardCells; ++i) {
        DrawCell(g.board[i], kBoardLeft + kCellPixels * (i % kBoardCols), kCellPixels * (i / kBoardCols));
    }
}

// Game-over sequence: one more bar per frame from the bottom, the picture past 32, and past 256
// the fade to black; the game ends once the screen is black.
void CObjectIcDX::RunGameOver() {
    PlayState& g = gPlay;
    if (g.gameOverCounter != 0) {
        for (int32_t k = 0; k < g.gameOverCounter; ++k) {
            DrawParam p = Sprite(kBlockTexture, 16, (30 - k) * kCellPixels, 1280, 24, 0, 248, 416, 8);
            p.pivotX = 12.0f;
            p.pivotY = 12.0f;
            Submit(p);
        }
        g.gameOverCounter += 1;
        if (g.gameOverCounter > kPictureCount) {
            Submit(Sprite(kGameOverTexture, 220, 240, 768, 132, 255, 43, 181, 43));
            g.stuckCount = 0;
        }
    }
    if (g.gameOverCounter > kEndCount) {
        g.stuckCount = 0;
        scene->fadeToBlack = 1;
        scene->fadeFromBlack = 0;
        if (scene->fadeAlpha == 255) EndGame();
    }
}

// End of the game: music back to the title's request, result into the ranking, state reset for
// the next game, and the title fades in.
void CObjectIcDX::EndGame() {
    PlayState& g = gPlay;
    scene->musicRequestPending = 1;
    scene->musicRequestCode = 0;
    scene->FreeHeldBuffer();
    system->currentMusicTrack.store(0, std::memory_order_relaxed);
    system->musicRestart = 0;
    g.gameOverCounter = 0;
    CLoadFile(system, scene).RankingEntry(g.score);
    g.boardReady = 0;
    std::memset(g.pieceQueue, 0, sizeof g.pieceQueue);
    std::memset(g.board, 0, sizeof g.board);
    std::memset(g.cellCol, 0, sizeof g.cellCol);
    std::memset(g.cellRow, 0, sizeof g.cellRow);
    g.pieceY = 0;
    g.lockCounter = 0;
    g.stuckCount = 0;
    g.pieceX = kSpawnX;
    g.rotation = 0;
    g.landed = 0;
    g.fastRepeat = 0;
    g.moveCounter = kMoveReady;
    g.blockedLeft = 0;
    g.blockedRight = 0;
    g.cwLatch = 0;
    g.ccwLatch = 0;
    g.score = 0;
    g.level = 0;
    g.levelLines = 0;
    scene->fadeAlpha = 255;
    scene->fadeToBlack = 0;
    scene->fadeFromBlack = 1;
    scene->sceneNumber = kSceneTitle;
}

// Pause machine. Phase 0 running; 1 pausing (counter up to 8); 2 paused with PAUSE still held;
// 4 paused; 8 resuming (counter down to 0, PAUSE ignored); 16 resumed with PAUSE still held.
void CObjectIcDX::UpdatePause() {
    MenuBlock& m = scene->menu;
    const int32_t phase = m.pausePhase;
    const bool held = (system->buttonBits & kBtnPause) != 0;

    auto entering = [&] {
        m.pausePhase = 1;
        m.paused = 1;
        if (m.pauseOpen < 8) {
            m.pauseOpen += 1;
        } else {
            m.pausePhase = 2;
            m.pauseOpen = 8;
        }
    };

    if (held && phase == 0) {
        if (audio != nullptr) audio->PlaySe(0);
        entering();
    } else if (phase == 1) {
        entering();
    } else if (!held && phase == 2) {
        m.pausePhase = 4;
    } else if (((held && phase == 4) || phase == 8) && m.titlePhase == 0 && m.subPhase == 0) {
        m.pausePhase = 8;
        m.paused = 0;
        if (m.pauseOpen > 0) {
            m.pauseOpen -= 1;
        } else {
            m.pauseOpen = 0;
            m.pausePhase = 16;
        }
    } else if (!held && phase == 16) {
        m.pausePhase = 0;
    }
}

void CObjectIcDX::DrawFadeOverlay() {
    DrawParam p = Sprite(kFadeTexture, 0, 0, system->clientWidth, system->clientHeight, 32, 0, 16, 16);
    p.colour = (static_cast<uint32_t>(scene->fadeAlpha) << 24) + 0xFFFFFFu;
    Submit(p);
}

void CObjectIcDX::DrawBorders() {
    const int32_t w = system->objectAreaWidth;
    const int32_t h = system->objectAreaHeight;
    // The options screen (scene 3) widens the frame by 16 pixels on each side.
    const bool wide = scene->sceneNumber == 3;
    Submit(Sprite(kFadeTexture, -256, -256, w + 512, 256, 32, 0, 16, 16));
    Submit(Sprite(kFadeTexture, -256, h, w + 512, 256, 32, 0, 16, 16));
    Submit(Sprite(kFadeTexture, wide ? -256 : -240, -256, 256, h + 512, 32, 0, 16, 16));
    Submit(Sprite(kFadeTexture, wide ? w + 32 : w + 16, -256, 256, h + 512, 32, 0, 16, 16));
}

void CObjectIcDX::DrawStatusLine() {
    char line[64];
    std::memset(line, 0, sizeof line);
    std::snprintf(line, sizeof line, " %8d %8d %8d %8d", scene->objects[0][kObjectXField], 0,
                  scene->objects[1][kObjectXField], scene->statusValue);
    const int32_t y = system->objectAreaHeight;
    for (int i = 0; i < 36; ++i) {
        const unsigned char ch = static_cast<unsigned char>(line[i]);
        Submit(Sprite(kFontTexture, 10 * i, y, 16, 32, (ch % 16) * 16, ((ch / 16) % 16) * 32, 16, 32));
    }
}
