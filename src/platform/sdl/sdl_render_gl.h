// The OpenGL render device of the SDL backend (OpenGL 3.3 core on the desktop, WebGL 2 in a page).
#pragma once

#include "platform/platform.h"

class SdlWindow;

// Creates the render device (sdl_render_gl.cpp) for the window.
PlatRender* SdlCreateRender(SdlWindow* window);

// What the last presented frame cost the device: draw calls and bytes of vertices uploaded.
struct GlFrameCounters {
    uint32_t draws = 0;
    uint32_t uploadBytes = 0;
};
const GlFrameCounters& SdlGlLastFrame();
