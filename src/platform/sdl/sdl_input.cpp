// Keyboard and game controller of the SDL backend, in the shapes the core expects: Windows
// virtual-key numbers with the pressed-since-last-query latch, and an XInput button word.
#include "platform/sdl/sdl_input.h"

namespace {

// Windows virtual-key number of an SDL scancode; 0 for keys the game has no number for.
int VirtualKeyOf(SDL_Scancode sc) {
    if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 0x41 + (sc - SDL_SCANCODE_A);
    if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return 0x31 + (sc - SDL_SCANCODE_1);
    if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return 0x70 + (sc - SDL_SCANCODE_F1);
    if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_9) return 0x61 + (sc - SDL_SCANCODE_KP_1);
    switch (sc) {
        case SDL_SCANCODE_0: return 0x30;
        case SDL_SCANCODE_KP_0: return 0x60;
        case SDL_SCANCODE_BACKSPACE: return 0x08;
        case SDL_SCANCODE_TAB: return 0x09;
        case SDL_SCANCODE_RETURN: return 0x0D;
        case SDL_SCANCODE_KP_ENTER: return 0x0D;
        case SDL_SCANCODE_PAUSE: return 0x13;
        case SDL_SCANCODE_CAPSLOCK: return 0x14;
        case SDL_SCANCODE_ESCAPE: return 0x1B;
        case SDL_SCANCODE_SPACE: return 0x20;
        case SDL_SCANCODE_PAGEUP: return 0x21;
        case SDL_SCANCODE_PAGEDOWN: return 0x22;
        case SDL_SCANCODE_END: return 0x23;
        case SDL_SCANCODE_HOME: return 0x24;
        case SDL_SCANCODE_LEFT: return 0x25;
        case SDL_SCANCODE_UP: return 0x26;
        case SDL_SCANCODE_RIGHT: return 0x27;
        case SDL_SCANCODE_DOWN: return 0x28;
        case SDL_SCANCODE_PRINTSCREEN: return 0x2C;
        case SDL_SCANCODE_INSERT: return 0x2D;
        case SDL_SCANCODE_DELETE: return 0x2E;
        case SDL_SCANCODE_LGUI: return 0x5B;
        case SDL_SCANCODE_RGUI: return 0x5C;
        case SDL_SCANCODE_APPLICATION: return 0x5D;
        case SDL_SCANCODE_KP_MULTIPLY: return 0x6A;
        case SDL_SCANCODE_KP_PLUS: return 0x6B;
        case SDL_SCANCODE_KP_MINUS: return 0x6D;
        case SDL_SCANCODE_KP_PERIOD: return 0x6E;
        case SDL_SCANCODE_KP_DIVIDE: return 0x6F;
        case SDL_SCANCODE_NUMLOCKCLEAR: return 0x90;
        case SDL_SCANCODE_SCROLLLOCK: return 0x91;
        case SDL_SCANCODE_LSHIFT: return 0xA0;
        case SDL_SCANCODE_RSHIFT: return 0xA1;
        case SDL_SCANCODE_LCTRL: return 0xA2;
        case SDL_SCANCODE_RCTRL: return 0xA3;
        case SDL_SCANCODE_LALT: return 0xA4;
        case SDL_SCANCODE_RALT: return 0xA5;
        case SDL_SCANCODE_SEMICOLON: return 0xBA;
        case SDL_SCANCODE_EQUALS: return 0xBB;
        case SDL_SCANCODE_COMMA: return 0xBC;
        case SDL_SCANCODE_MINUS: return 0xBD;
        case SDL_SCANCODE_PERIOD: return 0xBE;
        case SDL_SCANCODE_SLASH: return 0xBF;
        case SDL_SCANCODE_GRAVE: return 0xC0;
        case SDL_SCANCODE_LEFTBRACKET: return 0xDB;
        case SDL_SCANCODE_BACKSLASH: return 0xDC;
        case SDL_SCANCODE_RIGHTBRACKET: return 0xDD;
        case SDL_SCANCODE_APOSTROPHE: return 0xDE;
        default: return 0;
    }
}

// The side-less modifier numbers answer for either side.
int SharedModifier(int vk) {
    switch (vk) {
        case 0xA0: case 0xA1: return 0x10;  // VK_SHIFT
        case 0xA2: case 0xA3: return 0x11;  // VK_CONTROL
        case 0xA4: case 0xA5: return 0x12;  // VK_MENU
        default: return 0;
    }
}

int KeyWatch(void* userdata, SDL_Event* e) {
    if (e->type == SDL_KEYDOWN) static_cast<SdlInput*>(userdata)->LatchScancode(e->key.keysym.scancode);
    return 1;
}

struct PadBit {
    SDL_GameControllerButton button;
    uint16_t bit;
};

constexpr PadBit kPadBits[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_UP, 0x0001},    {SDL_CONTROLLER_BUTTON_DPAD_DOWN, 0x0002},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, 0x0004},  {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 0x0008},
    {SDL_CONTROLLER_BUTTON_START, 0x0010},      {SDL_CONTROLLER_BUTTON_BACK, 0x0020},
    {SDL_CONTROLLER_BUTTON_LEFTSTICK, 0x0040},  {SDL_CONTROLLER_BUTTON_RIGHTSTICK, 0x0080},
    {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, 0x0100}, {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 0x0200},
    {SDL_CONTROLLER_BUTTON_A, 0x1000},          {SDL_CONTROLLER_BUTTON_B, 0x2000},
    {SDL_CONTROLLER_BUTTON_X, 0x4000},          {SDL_CONTROLLER_BUTTON_Y, 0x8000},
};

}  // namespace

void SdlInput::Start() {
    if (started) return;
    started = true;
    for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
        const int vk = VirtualKeyOf(static_cast<SDL_Scancode>(sc));
        vkOfScancode[sc] = static_cast<int16_t>(vk);
        if (vk == 0) continue;
        const int keys[2] = {vk, SharedModifier(vk)};
        for (int k : keys) {
            if (k == 0) continue;
            for (int16_t& slot : scancodesOfVk[k]) {
                if (slot == 0) {
                    slot = static_cast<int16_t>(sc);
                    break;
                }
            }
        }
    }
    SDL_AddEventWatch(KeyWatch, this);
}

void SdlInput::Stop() {
    if (started) {
        started = false;
        SDL_DelEventWatch(KeyWatch, this);
    }
    // The pad may have been read without the keyboard ever being asked.
    if (pad != nullptr) SDL_GameControllerClose(pad);
    pad = nullptr;
    if (padSubsystem) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
    padSubsystem = false;
}

void SdlInput::LatchScancode(int sc) {
    if (sc < 0 || sc >= SDL_NUM_SCANCODES) return;
    const int vk = vkOfScancode[sc];
    if (vk == 0) return;
    latch[vk] = 1;
    const int shared = SharedModifier(vk);
    if (shared != 0) latch[shared] = 1;
}

uint8_t SdlInput::AsyncKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    if (!started) Start();
    bool down = latch[vk] != 0;
    latch[vk] = 0;
    int count = 0;
    const Uint8* keys = SDL_GetKeyboardState(&count);
    if (!down && keys != nullptr) {
        for (int16_t sc : scancodesOfVk[vk]) {
            if (sc != 0 && sc < count && keys[sc] != 0) down = true;
        }
    }
    return down ? 0x80 : 0;
}

uint32_t SdlInput::PadState(int index, PlatPadState* out) {
    if (index != 0) return kPadNotConnected;
    if (!padSubsystem) {
        if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return kPadNotConnected;
        padSubsystem = true;
        // The pad is polled, like XInput, never read from events: its events are not queued,
        // where every stick movement would take one of the main loop's one-message turns and
        // hold up the keyboard and window messages behind it.
        SDL_JoystickEventState(SDL_IGNORE);
        SDL_GameControllerEventState(SDL_IGNORE);
    }
    // With the events off, the event pump no longer refreshes the pads: do it here, so that the
    // state read is the state now (and a pad plugged in or pulled out is noticed).
    SDL_GameControllerUpdate();
    if (pad != nullptr && !SDL_GameControllerGetAttached(pad)) {
        SDL_GameControllerClose(pad);
        pad = nullptr;
    }
    if (pad == nullptr) {
        for (int j = 0; j < SDL_NumJoysticks() && pad == nullptr; ++j) {
            if (SDL_IsGameController(j)) pad = SDL_GameControllerOpen(j);
        }
        if (pad == nullptr) return kPadNotConnected;
    }
    uint16_t buttons = 0;
    for (const PadBit& b : kPadBits) {
        if (SDL_GameControllerGetButton(pad, b.button) != 0) buttons |= b.bit;
    }
    if (buttons != lastButtons) ++packet;
    lastButtons = buttons;
    *out = PlatPadState{};
    out->packetNumber = packet;
    out->buttons = buttons;
    out->leftTrigger = static_cast<uint8_t>(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERLEFT) >> 7);
    out->rightTrigger = static_cast<uint8_t>(SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_TRIGGERRIGHT) >> 7);
    out->thumbLX = SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTX);
    out->thumbLY = static_cast<int16_t>(-1 - SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_LEFTY));
    out->thumbRX = SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTX);
    out->thumbRY = static_cast<int16_t>(-1 - SDL_GameControllerGetAxis(pad, SDL_CONTROLLER_AXIS_RIGHTY));
    return 0;
}
