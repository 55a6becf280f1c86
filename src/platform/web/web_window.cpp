// The window's form in a page: full screen is the browser's own (the canvas over the whole
// screen, stretched as the borderless window is on the desktop), framed is the canvas in the page.
#include <emscripten.h>

#include "platform/sdl/sdl_x11.h"
#include "platform/web/web_platform.h"

// Not resizable: the drawing buffer stays 1280 x 720 and the page's style scales the canvas.
uint32_t SdlHostWindowFlags() { return 0; }

bool SdlWindow::SavePlacement() {
    placementSaved = window != nullptr;
    return placementSaved;
}

bool SdlWindow::PrimaryMonitorRect(PlatRect* out) {
    if (window == nullptr) return false;
    SDL_Rect b;
    if (SDL_GetDisplayBounds(0, &b) != 0) return false;
    *out = PlatRect{b.x, b.y, b.x + b.w, b.y + b.h};
    return true;
}

void SdlWindow::SetBorderless(const PlatRect&) {
    if (window == nullptr) return;
    borderless = true;
    // The browser grants full screen only inside an input event: SDL defers the request to the
    // player's next key or click (the release of Alt+Enter, the next press in the options).
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
}

void SdlWindow::RestoreFramed() {
    if (window == nullptr) return;
    borderless = false;
    SDL_SetWindowFullscreen(window, 0);
}

void SdlWindow::ThreadProcessIds(uint32_t* thread, uint32_t* process) {
    // One thread, no process identity: the page's start time (milliseconds since 1970) stands in,
    // so that two tabs started in the same second still draw different pieces.
    const double now = emscripten_get_now() + EM_ASM_DOUBLE({ return performance.timeOrigin || 0; });
    const uint64_t ms = static_cast<uint64_t>(now);
    *thread = static_cast<uint32_t>(ms);
    *process = static_cast<uint32_t>(ms >> 32);
}

// A page has no X11 display: the window manager's hints and the connection watch do nothing.
bool SdlX11KeepAspect(SDL_Window*, bool) { return false; }
bool SdlX11HasWindowManager(SDL_Window*) { return false; }
void SdlX11WatchConnection(SDL_Window*) {}
bool SdlX11ConnectionLost() { return false; }
int SdlX11PollEvent(SDL_Event* event) { return SDL_PollEvent(event); }
