#include "core/CXi.h"

#include <cstring>

#include "core/MapSceneEntity.h"
#include "core/System.h"

namespace {

// XInput button bits of the pad's button word.
constexpr uint16_t kPadDpadUp = 0x0001;
constexpr uint16_t kPadDpadDown = 0x0002;
constexpr uint16_t kPadDpadLeft = 0x0004;
constexpr uint16_t kPadDpadRight = 0x0008;
constexpr uint32_t kPadFaceA = 0x1000;  // A; B, X and Y follow at 0x2000, 0x4000, 0x8000

bool Down(const System* s, int vk) { return s->keyStates[vk] != 0; }

}  // namespace

CXi::CXi() : system(nullptr), scene(nullptr) {
    std::memset(pads, 0, sizeof pads);
    for (PadSlot& p : pads) p.connected = 1;
}

CXi::~CXi() = default;

bool CXi::ReadPad(int pad) {
    if (pad < 0 || pad > 3) return false;
    PadSlot& slot = pads[pad];
    if (slot.connected == 0) return false;
    if (Plat().input->PadState(pad, &slot.state) == kPadNotConnected) {
        // An absent pad holds no button: forget the last state so that nothing stays pressed
        // after an unplug. The pad is not asked again during this run.
        slot.connected = 0;
        std::memset(&slot.state, 0, sizeof slot.state);
        return false;
    }
    return true;
}

void CXi::Poll() {
    System* s = system;
    const int sceneNumber = scene->sceneNumber;

    std::memset(s->keyStates, 0, sizeof s->keyStates);
    PlatInput* in = Plat().input;
    for (int vk = 0; vk < 256; ++vk) {
        if (in->AsyncKeyState(vk) != 0) s->keyStates[vk] = 0x80;
    }

    // Any other device value keeps the previous bits; only the key states move.
    if (s->activeInputDevice != 0 && s->activeInputDevice != 1) return;

    int dir = 0;
    if (Down(s, kVkUp)) dir |= kDirUp;
    if (Down(s, kVkDown)) dir |= kDirDown;
    if (Down(s, kVkLeft)) dir |= kDirLeft;
    if (Down(s, kVkRight)) dir |= kDirRight;

    int buttons = 0;
    // In play the Up arrow doubles as the rotate button.
    if (Down(s, kVkZ) || Down(s, kVkC) || (sceneNumber == kScenePlay && Down(s, kVkUp))) {
        buttons |= kBtnDecision;
    }
    if (Down(s, kVkX)) buttons |= kBtnCancellation;
    if (Down(s, kVkA)) buttons |= kBtnPause;
    if (Down(s, kVkS)) buttons |= kBtnShift;

    if (s->activeInputDevice == 1) {
        ReadPad(0);
        const uint32_t word = pads[0].state.buttons;
        if (word & kPadDpadUp) dir |= kDirUp;
        if (word & kPadDpadDown) dir |= kDirDown;
        if (word & kPadDpadLeft) dir |= kDirLeft;
        if (word & kPadDpadRight) dir |= kDirRight;
        for (int k = 0; k < 4; ++k) {
            // Arrangement values 4 and up name no face button (the shift leaves the 16-bit word).
            const uint32_t shift = s->buttonArrangement[k];
            if (shift < 4 && (word & (kPadFaceA << shift)) != 0) buttons |= 1 << k;
        }
    }

    s->dirBits = dir;
    s->buttonBits = buttons;
}
