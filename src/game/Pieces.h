// The eight piece types and the piece generator.
//
// Each piece has four rotations, each a 4 x 4 box in row-major order (cell k is box row k / 4,
// box column k % 4). Slot 0 of the table is empty; piece type t (0..7) uses slot t + 1 and its
// filled cells hold the colour value t + 1. Rotation r + 1 is a quarter turn clockwise of r.
#pragma once

#include <cstdint>
#include <random>

constexpr int kShapeSlots = 9;
constexpr int kRotations = 4;
constexpr int kBoxCells = 16;
constexpr int kPieceTypes = 8;
constexpr int32_t kSingleBlock = 7;   // the one-cell piece

extern const int32_t pieceShapes[kShapeSlots][kRotations][kBoxCells];

// Cell k of rotation r of piece type t (type 0..7, rotation 0..3).
// A type outside 0..7 reads the empty slot 0.
inline int32_t ShapeCell(int32_t type, int32_t rotation, int k) {
    const uint32_t slot = static_cast<uint32_t>(type) + 1u;
    return slot < static_cast<uint32_t>(kShapeSlots) ? pieceShapes[slot][rotation & 3][k] : 0;
}

// Seed of the generator of one frame: the calendar second (low 32 bits) plus the window thread
// and process ids, modulo 2^32. Every frame starts a fresh sequence from it.
uint32_t PieceSeed();

// One piece type 0..7: the top three bits of the next 32-bit output.
inline int32_t NextPieceType(std::mt19937& gen) {
    return static_cast<int32_t>(static_cast<uint32_t>(gen()) >> 29);
}
