// The game pad of the SDL backend, driven by SDL's virtual game controller (no display and no
// real device needed): the D-pad and the four face buttons arrive as the XInput button word, a
// pulled-out pad reads "not connected" with nothing held, and a pad plugged in again is read.
#include <gtest/gtest.h>

#include <SDL.h>

#include "platform/sdl/sdl_platform.h"

namespace {

struct PadButton {
    SDL_GameControllerButton button;
    uint16_t bit;  // XInput bit
};

constexpr PadButton kButtons[] = {
    {SDL_CONTROLLER_BUTTON_DPAD_UP, 0x0001},   {SDL_CONTROLLER_BUTTON_DPAD_DOWN, 0x0002},
    {SDL_CONTROLLER_BUTTON_DPAD_LEFT, 0x0004}, {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 0x0008},
    {SDL_CONTROLLER_BUTTON_A, 0x1000},         {SDL_CONTROLLER_BUTTON_B, 0x2000},
    {SDL_CONTROLLER_BUTTON_X, 0x4000},         {SDL_CONTROLLER_BUTTON_Y, 0x8000},
};

class SdlPadTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
        if (SDL_NumJoysticks() != 0) GTEST_SKIP() << "a real joystick is attached; pad 0 would be it";
    }
    void TearDown() override {
        Unplug();
        input.Stop();
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    }

    // Attaches a virtual game controller with every button and axis; SDL maps its button n to
    // game-controller button n.
    void Plug() {
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.name = "virtual pad";
        index = SDL_JoystickAttachVirtualEx(&desc);
        ASSERT_GE(index, 0) << SDL_GetError();
        stick = SDL_JoystickOpen(index);
        ASSERT_NE(stick, nullptr) << SDL_GetError();
    }
    void Unplug() {
        if (stick == nullptr) return;
        SDL_JoystickClose(stick);
        stick = nullptr;
        EXPECT_EQ(SDL_JoystickDetachVirtual(index), 0) << SDL_GetError();
    }
    void Hold(SDL_GameControllerButton b, bool down) {
        ASSERT_EQ(SDL_JoystickSetVirtualButton(stick, b, down ? 1 : 0), 0) << SDL_GetError();
    }
    // What the game reads: the result code and the state.
    uint32_t Read() {
        state = PlatPadState{};
        return input.PadState(0, &state);
    }

    SdlInput input;
    PlatPadState state{};
    SDL_Joystick* stick = nullptr;
    int index = -1;
};

TEST_F(SdlPadTest, ButtonsUnplugAndReplug) {
    EXPECT_EQ(Read(), kPadNotConnected);  // nothing plugged in yet

    Plug();
    ASSERT_EQ(Read(), 0u);
    EXPECT_EQ(state.buttons, 0);
    uint32_t packet = state.packetNumber;

    // Each button alone gives its XInput bit, at the first read after the press.
    uint16_t all = 0;
    for (const PadButton& b : kButtons) {
        SCOPED_TRACE(SDL_GameControllerGetStringForButton(b.button));
        Hold(b.button, true);
        ASSERT_EQ(Read(), 0u);
        EXPECT_EQ(state.buttons, b.bit);
        EXPECT_NE(state.packetNumber, packet);  // a new packet for a new state ...
        packet = state.packetNumber;
        ASSERT_EQ(Read(), 0u);
        EXPECT_EQ(state.packetNumber, packet);  // ... and the same packet while nothing changes
        Hold(b.button, false);
        all = static_cast<uint16_t>(all | b.bit);
    }
    ASSERT_EQ(Read(), 0u);
    EXPECT_EQ(state.buttons, 0);

    // Everything at once, and a button the game does not read sets its own bit only.
    for (const PadButton& b : kButtons) Hold(b.button, true);
    Hold(SDL_CONTROLLER_BUTTON_START, true);
    ASSERT_EQ(Read(), 0u);
    EXPECT_EQ(state.buttons, all | 0x0010);
    EXPECT_EQ(all, 0xF00F);

    // Pulled out while held: not connected, and nothing left held in the state.
    Unplug();
    EXPECT_EQ(Read(), kPadNotConnected);
    EXPECT_EQ(state.buttons, 0);
    EXPECT_EQ(Read(), kPadNotConnected);

    // Plugged in again: read again, starting released.
    Plug();
    ASSERT_EQ(Read(), 0u);
    EXPECT_EQ(state.buttons, 0);
    Hold(SDL_CONTROLLER_BUTTON_B, true);
    Hold(SDL_CONTROLLER_BUTTON_DPAD_LEFT, true);
    ASSERT_EQ(Read(), 0u);
    EXPECT_EQ(state.buttons, 0x2004);

    // The pad is polled: none of its events wait in the queue for the main loop's turns.
    SDL_PumpEvents();
    EXPECT_EQ(SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_JOYAXISMOTION, SDL_CONTROLLERSENSORUPDATE), 0);
}

}  // namespace
