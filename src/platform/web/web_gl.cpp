// The page's host of the OpenGL render device: a WebGL 2 (OpenGL ES 3.0) context on the canvas.
#include <SDL.h>
#include <emscripten/html5.h>
#include <unistd.h>

#include <cstdio>

#include "platform/sdl/sdl_gl.h"

const char kGlHostName[] = "WebGL 2";
// Texture coordinates reach 512 texels with sub-texel insets: high precision keeps point sampling
// on the right texel.
const char kGlHostShaderPrologue[] = "#version 300 es\nprecision highp float;\n";

void GlHostContextAttributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
}

// ES has no depth clamp; with no depth buffer and every vertex at z 0 nothing is clipped anyway.
// A lost WebGL context is what a removed device is on the desktop.
bool GlHostBegin(bool* robust) {
    *robust = true;
    return emscripten_webgl_get_current_context() != 0;
}

bool GlHostKeepsFrame() { return false; }

// The browser presents every frame at its next refresh; the loop's own pacing decides when frames
// come (SDL's swap interval would take over the browser's call-back timing).
void GlHostSwapInterval(int) {}

int32_t GlHostRemovedReason() {
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE c = emscripten_webgl_get_current_context();
    return c != 0 && emscripten_is_webgl_context_lost(c) ? kRenderDeviceReset : 0;
}

// ES takes 16-bit texels with red in the top bits and alpha in bit 0: A1R5G5B5 becomes R5G5B5A1.
void GlHostTexImage1555(int size, const void* pixels) {
    static uint16_t converted[512 * 512];  // texture loading only, main thread
    const int n = size * size <= 512 * 512 ? size * size : 512 * 512;
    const uint16_t* in = static_cast<const uint16_t*>(pixels);
    for (int i = 0; i < n; ++i) {
        converted[i] = static_cast<uint16_t>(((in[i] & 0x7FFFu) << 1) | (in[i] >> 15));
    }
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB5_A1, size, size, 0, GL_RGBA, GL_UNSIGNED_SHORT_5_5_5_1,
                 converted);
}

// The shaders are packaged in the game folder, the current directory.
bool GlHostFindShader(const char* name, char* out, size_t capacity) {
    if (access(name, R_OK) != 0) return false;
    const int n = std::snprintf(out, capacity, "%s", name);
    return n > 0 && static_cast<size_t>(n) < capacity;
}

bool GlHostOrphansUploads() { return false; }
