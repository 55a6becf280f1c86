// What the SDL backend asks of an X11 desktop directly (sdl_x11.cpp). On any other display
// system each of these does nothing and answers false.
#pragma once

#include <SDL.h>

#include <cstdint>

// Gives the window manager the 16:9 client-area ratio in the size hints (or takes it back), so
// that a drag keeps the ratio itself.
bool SdlX11KeepAspect(SDL_Window* window, bool keep);
// A window manager that follows the desktop conventions is running.
bool SdlX11HasWindowManager(SDL_Window* window);
// Makes a broken X connection (the session ended, the server is gone) a close request instead of
// the end of the process; ConnectionLost tells when it happened.
void SdlX11WatchConnection(SDL_Window* window);
bool SdlX11ConnectionLost();
// SDL_PollEvent, left at once when the X connection breaks during it (no event then, and none
// after).
int SdlX11PollEvent(SDL_Event* event);
// Waits up to `ms` for the next event, which stays queued; false at once, without waiting, when an
// event is queued already (or the connection is lost). The wait ends early on any event of the
// window: its activation, an expose, a close.
bool SdlX11WaitEvent(uint32_t ms);
