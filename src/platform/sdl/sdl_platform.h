// SDL2 + OpenGL 3.3 backend for Linux: the platform services of the game on a desktop with an X11
// (or Wayland) display.
//
// Implemented features:
//   [X] framed window "Kelvorine" with a 1280 x 720 client area; 16:9 kept when resized, by the
//       window manager (X11 aspect hints) and by the rule of the edge that moved
//   [X] borderless window over the primary display (Alt+Enter, options), framed form restored;
//       the window manager's full-screen state when there is one (panels covered)
//   [X] Esc and Alt+Enter as the two accelerator commands; the close button, SIGINT, SIGTERM,
//       SIGHUP and the end of the X session as WM_CLOSE
//   [X] activation from the keyboard focus; while away about one wake-up a frame
//   [X] an expose shows the last presented frame again on both presentation paths
//   [X] vertical sync on the software path paced to the display's refresh rate
//   [X] no window without a display: SDL's offscreen and dummy drivers only when asked for
//   [X] keyboard as Windows virtual-key numbers with the pressed-since-last-query latch
//   [X] game controller 0 as an XInput button word, polled (its events are not queued);
//       "not connected" when there is none, and a controller plugged in later is found
//   [X] millisecond clock, nanosecond counter, sleeps
//   [X] OpenGL 3.3 core renderer: six blend states with the constant blend colour, point sampling
//       with wrap, single-sample alpha-to-coverage as an alpha test, 1280 x 720 stretched over
//       the client area, opaque black for ids without a texture
//   [X] one instance per display (abstract socket "Kelvorine"), message boxes, screen saver
//   [ ] font registration (the font is not used for drawing; only its presence is checked)
//   [ ] exclusive full screen (the swap chain never leaves windowed mode either)
#pragma once

#include "platform/platform.h"
#include "platform/sdl/sdl_clock.h"
#include "platform/sdl/sdl_input.h"
#include "platform/sdl/sdl_services.h"
#include "platform/sdl/sdl_window.h"

// The audio device: the SDL audio backend when it is built in, else an engine that never starts
// (the game then runs silently).
PlatAudio* SdlCreateAudio();

// Owns one of each service; Install() makes it the process's platform.
class SdlPlatform {
public:
    SdlPlatform();
    ~SdlPlatform();
    void Install();

    SdlClock clock;
    SdlInput input;
    SdlWindow window;
    PlatRender* render;
    PlatAudio* audio;
    SdlServices services;
};
