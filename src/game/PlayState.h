// PlayState: the process-wide state of the puzzle game. It is plain data shared by every call of
// PlayFrame and it survives from one frame to the next and from one game to the next; a game's
// first frame sets up the board and queue when boardReady is 0. Main thread only.
#pragma once

#include <cstdint>

constexpr int kBoardCols = 12;              // columns 0 and 11 are the side walls
constexpr int kBoardRows = 30;              // row 28 is the floor, row 29 stays empty
constexpr int kBoardCells = kBoardCols * kBoardRows;
constexpr int kPlayRows = 28;               // rows 0..27 hold blocks
constexpr int kCellPixels = 24;             // one board cell on screen
constexpr int kSpawnX = 96;                 // box columns 4..7
constexpr int kMoveReady = 24;              // moveCounter value that allows a horizontal move
constexpr int kQueueLength = 8;             // entry 0 falls, 1..6 are shown, 7 is held back
constexpr int32_t kWallCell = 9;

struct PlayState {
    int32_t board[kBoardCells];   // row-major, row 0 at the top; 0 empty, 1..8 blocks, 9 wall
    int32_t pieceX;               // left edge of the piece box, pixels (multiple of 24)
    int32_t pieceY;               // top edge of the piece box, pixels (multiple of 24)
    int32_t rotation;             // 0..3, +1 is a quarter turn clockwise
    int32_t cellCol[16];          // board column of each box cell, recomputed every frame
    int32_t cellRow[16];          // board row of each box cell
    int32_t pieceQueue[kQueueLength];  // piece types 0..7; entry 0 is the falling piece
    int32_t boardReady;           // 1 once the current game has been set up
    int32_t moveCounter;          // horizontal auto-repeat counter; 24 = ready to move
    int32_t fastRepeat;           // 1 once the first repeat delay has passed
    int32_t cwLatch;              // rotate clockwise handled for the current press
    int32_t ccwLatch;             // rotate counter-clockwise handled for the current press
    int32_t blockedLeft;          // contact flags of the falling piece
    int32_t blockedRight;
    int32_t landed;
    int32_t gravityCounter;       // frames toward the next gravity step
    int32_t softDropCounter;      // frames of soft drop toward the next soft-drop step
    int32_t lockCounter;          // frames the piece has rested; it locks past 30
    int32_t stuckCount;           // pieces locked in a row without a free-falling frame
    int32_t gameOverCounter;      // 0 while the game runs; frames of the game-over sequence
    int32_t score;
    int32_t level;                // 0..9, shown as level + 1
    int32_t levelLines;           // lines since the last level-up
    int32_t linesThisFrame;       // lines removed by the current frame's scan
};

extern PlayState gPlay;

// Identifiers of the main window's thread and of the process, set by start-up (0 until then).
// Together with the calendar second they seed the piece generator.
extern uint32_t gWindowThreadId;
extern uint32_t gProcessId;

// Puts gPlay back to its state at program start: pieceX 96, moveCounter 24, everything else 0.
void ResetPlayStateToProgramStart();
