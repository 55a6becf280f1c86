// The SDL video pieces every game window on SDL takes: the desktop's window (sdl_window.cpp) and
// the page's canvas (web/web_window.cpp). Main thread only.
#pragma once

#include <SDL.h>

#include <cstdint>

// The logical screen's size, the client area of a new window.
constexpr int kSdlClientWidth = 1280;
constexpr int kSdlClientHeight = 720;

// Switches off the events the game never reads, once SDL's video subsystem is up: it reads key
// levels, not text, and mouse moves and touches would only fill the queue. Key levels come from
// SDL's keyboard state, which releases update without an event; presses stay events, for the
// pressed-since-the-last-query latch and the accelerators.
void SdlIgnoreUnreadEvents();

// The game's window "Kelvorine", 1280 x 720 and hidden, with the render device's context
// attributes set first; openGl: it carries an OpenGL drawable. Null (SDL's reason logged) when it
// cannot be made.
SDL_Window* SdlCreateGameWindow(bool openGl, uint32_t extraFlags);

// The accelerator command of a key press: 40 for Esc, 50 for Alt+Enter, 0 for any other key.
int SdlAcceleratorCommand(const SDL_KeyboardEvent& key);
