// The OpenGL render device of the SDL backend (OpenGL 3.3 core on the desktop, WebGL 2 in a page).
#pragma once

#include "platform/platform.h"

class SdlWindow;

// Creates the render device (sdl_render_gl.cpp) for the window.
PlatRender* SdlCreateRender(SdlWindow* window);
