// The choice between the OpenGL device and the software presentation path (sdl_render_choice.cpp).
#pragma once

#include "platform/platform.h"

class SdlWindow;

// False when the software presentation path is chosen before the window exists (no OpenGL
// device on the machine, or KELVORINE_RENDER=soft); the window then carries no OpenGL drawable.
bool SdlRenderWantsOpenGl();

// The device that picks OpenGL or the software path at its first Create and then forwards to it.
PlatRender* SdlCreateAutoRender(SdlWindow* window);
