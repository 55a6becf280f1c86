// Keyboard and game controller of the SDL backend: scancodes as Windows virtual-key numbers with
// the pressed-since-last-query latch, controller 0 as an XInput button word.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/platform.h"

class SdlInput final : public PlatInput {
public:
    uint8_t AsyncKeyState(int vk) override;
    uint32_t PadState(int pad, PlatPadState* out) override;

    // Called for every key-down event as SDL queues it (an event watch), so that a key tapped
    // and released between two queries still reads as pressed once.
    void LatchScancode(int scancode);
    void Start();                 // builds the scancode table and installs the event watch
    void Stop();

    uint8_t latch[256] = {};
    int16_t vkOfScancode[SDL_NUM_SCANCODES] = {};
    int16_t scancodesOfVk[256][4] = {};   // up to four scancodes per virtual key (0 = none)
    SDL_GameController* pad = nullptr;
    bool padSubsystem = false;
    bool started = false;
    uint32_t packet = 0;
    uint16_t lastButtons = 0;
};
