// The OpenGL API of the SDL render device, and the few things its two hosts do differently:
// desktop OpenGL 3.3 core through libepoxy (sdl_gl_desktop.cpp) and OpenGL ES 3.0 / WebGL 2 in a
// browser page (web/web_gl.cpp). Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

#ifdef __EMSCRIPTEN__
#include <GLES3/gl3.h>
#else
#include <epoxy/gl.h>
#endif

// "OpenGL 3.3" or "WebGL 2", for the diagnostic when the context is not usable.
extern const char kGlHostName[];

// SDL_GL attributes of the context, set before the window is created.
void GlHostContextAttributes();
// Checks the new, current context and sets the host's fixed state. False when the context is not
// usable; *robust: the context can report a reset (GlHostRemovedReason).
bool GlHostBegin(bool* robust);
// Whether frames are drawn into an off-screen buffer that keeps the last one for a repaint after
// an expose (a desktop window); a page's canvas keeps its picture by itself, so it is drawn into
// at once, without the extra full-screen copy.
bool GlHostKeepsFrame();
// The present's sync interval changed.
void GlHostSwapInterval(int interval);
// 0 while the context is healthy; otherwise kRenderDeviceHung or kRenderDeviceReset.
int32_t GlHostRemovedReason();
// Where a shader file is (out, capacity bytes); false when the host has none of that name.
bool GlHostFindShader(const char* name, char* out, size_t capacity);
// What the host's shading language needs before the text of a shader file: the #version line
// and, on OpenGL ES, the default precision. The files hold only what every host shares.
extern const char kGlHostShaderPrologue[];
// Whether an upload first orphans the vertex buffer's old storage, so that it never waits for the
// previous frame's draws. (A browser copies every upload anyway, and would clear the whole new
// storage first.)
bool GlHostOrphansUploads();
// Uploads size x size 16-bit texels (alpha in the top bit, then five bits each of red, green and
// blue) into the bound texture.
void GlHostTexImage1555(int size, const void* pixels);
