// Input of the Win32 backend: GetAsyncKeyState for the 256 virtual keys and XInputGetState of
// XINPUT1_4.dll for the pads. XINPUT_STATE and PlatPadState share one layout.
#include <xinput.h>

#include <cstring>

#include "platform/win32/win32_platform.h"

static_assert(sizeof(XINPUT_STATE) == sizeof(PlatPadState), "pad record layout");

namespace {

class Input final : public PlatInput {
public:
    uint8_t AsyncKeyState(int vk) override {
        if (vk < 0 || vk > 255) return 0;
        // Bit 15: down now; bit 0: pressed since the previous query.
        return GetAsyncKeyState(vk) != 0 ? 0x80 : 0;
    }

    uint32_t PadState(int pad, PlatPadState* out) override {
        XINPUT_STATE state;
        std::memset(&state, 0, sizeof state);
        DWORD r = XInputGetState(static_cast<DWORD>(pad), &state);
        if (r != ERROR_SUCCESS) return kPadNotConnected;  // also a pad index out of range
        std::memcpy(out, &state, sizeof state);
        return 0;
    }
};

Input gInput;

}  // namespace

PlatInput* Win32Input() { return &gInput; }
