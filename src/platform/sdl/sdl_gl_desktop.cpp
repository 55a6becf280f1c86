// The desktop host of the OpenGL render device: an OpenGL 3.3 core context through libepoxy.
#include <SDL.h>

#include "platform/sdl/sdl_gl.h"
#include "platform/sdl/sdl_services.h"

const char kGlHostName[] = "OpenGL 3.3";
const char kGlHostShaderPrologue[] = "#version 330 core\n";

void GlHostContextAttributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, SDL_GL_CONTEXT_FORWARD_COMPATIBLE_FLAG);
}

bool GlHostBegin(bool* robust) {
    if (epoxy_gl_version() < 33) return false;
    *robust = epoxy_has_gl_extension("GL_ARB_robustness") || epoxy_gl_version() >= 45;
    glEnable(GL_DEPTH_CLAMP);  // depth clipping off
    return true;
}

bool GlHostKeepsFrame() { return true; }

void GlHostSwapInterval(int interval) {
    // Without a vertical-sync capable display (a virtual X server) this fails; the game then
    // paces itself with its timer.
    SDL_GL_SetSwapInterval(interval);
}

int32_t GlHostRemovedReason() {
    const GLenum status = glGetGraphicsResetStatus();
    if (status == GL_NO_ERROR) return 0;
    return status == GL_GUILTY_CONTEXT_RESET ? kRenderDeviceHung : kRenderDeviceReset;
}

void GlHostTexImage1555(int size, const void* pixels) {
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB5_A1, size, size, 0, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV,
                 pixels);
}

bool GlHostFindShader(const char* name, char* out, size_t capacity) {
    return SdlFindShader(name, out, capacity);
}

bool GlHostOrphansUploads() { return true; }
