// The OpenGL 3.3 core render device of the SDL backend.
#pragma once

#include "platform/platform.h"

class SdlWindow;

// Creates the render device (sdl_render_gl.cpp) for the window.
PlatRender* SdlCreateRender(SdlWindow* window);
