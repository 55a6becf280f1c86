// The OpenGL render device on SDL (OpenGL 3.3 core on the desktop, WebGL 2 in a page). Its host's
// few differences are behind sdl_gl.h.
#pragma once

#include "platform/platform.h"

#include <SDL.h>

// A presentation path that can show its last presented frame again, without a new frame, when
// the window has been exposed. Main thread only.
class SdlRepaint {
public:
    virtual ~SdlRepaint() = default;
    virtual void RepaintLastFrame() = 0;
};

// What the OpenGL device draws into: the SDL window that carries its context (it stays after the
// game's window is gone, until the window class is unregistered) and the drawable's size in
// pixels. The desktop's window and the page's canvas are both one.
class SdlGlTarget {
public:
    virtual ~SdlGlTarget() = default;
    virtual SDL_Window* GlWindow() const = 0;
    virtual void GlDrawableSize(int32_t* w, int32_t* h) = 0;
};

// Creates the render device (sdl_render_gl.cpp) drawing into target.
PlatRender* SdlCreateRender(SdlGlTarget* target);

// What the last presented frame cost the device: draw calls and bytes of vertices uploaded.
struct GlFrameCounters {
    uint32_t draws = 0;
    uint32_t uploadBytes = 0;
};
const GlFrameCounters& SdlGlLastFrame();
