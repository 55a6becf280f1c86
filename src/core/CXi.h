// CXi: the input reader. Turns the keyboard and pad 0 into the input record of System once per
// main-loop turn: 256 key states, four direction bits and four button bits. Main thread only.
#pragma once

#include <cstdint>

#include "platform/platform.h"

class System;
class MapSceneEntity;

// Windows virtual-key numbers the game reads.
constexpr int kVkReturn = 0x0D;
constexpr int kVkEscape = 0x1B;
constexpr int kVkLeft = 0x25;
constexpr int kVkUp = 0x26;
constexpr int kVkRight = 0x27;
constexpr int kVkDown = 0x28;
constexpr int kVkA = 0x41;
constexpr int kVkC = 0x43;
constexpr int kVkS = 0x53;
constexpr int kVkX = 0x58;
constexpr int kVkZ = 0x5A;

constexpr int kDirUp = 1, kDirDown = 2, kDirLeft = 4, kDirRight = 8;
constexpr int kBtnDecision = 1, kBtnCancellation = 2, kBtnPause = 4, kBtnShift = 8;

// One pad slot: the last XINPUT_STATE read, and the connected mark at the end of the 32 bytes.
struct PadSlot {
    PlatPadState state;
    uint8_t unused[15];
    uint8_t connected;   // 1 until the pad answers "not connected"
};
static_assert(sizeof(PadSlot) == 32, "a pad slot is 32 bytes");

class CXi {
public:
    CXi();
    virtual ~CXi();

    System* system;
    MapSceneEntity* scene;
    PadSlot pads[4];

    void Poll();
    // Reads pad `pad` (0..3) into its slot when it is marked connected. A "not connected" answer
    // clears the mark (the pad is not asked again) and the slot's state. True when read.
    bool ReadPad(int pad);
};
