// The window's form in a page: full screen is the Fullscreen API on the page's stage (the canvas,
// letterboxed at 16:9 by the page's style, and the touch controls around it), framed is the page.
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

// Browsers grant full screen to a page that had a key press or a tap moments ago: the turn that
// toggles runs within a frame of the Alt+Enter or the options key that asked for it. A refusal
// (or a browser without the API) is told to the page, which sets the game's mode back to framed
// as it does when the player leaves full screen by the browser's own key (index.html).
EM_JS(void, RequestFullscreen, (), {
    var el = document.getElementById('stage') || Module.canvas;
    if (document.fullscreenElement || document.webkitFullscreenElement) return;
    var request = el.requestFullscreen || el.webkitRequestFullscreen;
    var refused = function() { Module._kelvorine_web_fullscreen_changed(0); };
    if (!request) { setTimeout(refused, 0); return; }
    try {
        var p = request.call(el, {navigationUI: 'hide'});
        if (p && p.then) {
            p.then(function() {
                if (screen.orientation && screen.orientation.lock) screen.orientation.lock('landscape').catch(function() {});
            }, refused);
        }
    } catch (e) {
        setTimeout(refused, 0);
    }
});

EM_JS(void, ExitFullscreen, (), {
    if (!(document.fullscreenElement || document.webkitFullscreenElement)) return;
    var exit = document.exitFullscreen || document.webkitExitFullscreen;
    if (exit) {
        var p = exit.call(document);
        if (p && p.catch) p.catch(function() {});
    }
});

void SdlWindow::SetBorderless(const PlatRect&) {
    if (window == nullptr) return;
    borderless = true;
    RequestFullscreen();
}

void SdlWindow::RestoreFramed() {
    if (window == nullptr) return;
    borderless = false;
    ExitFullscreen();
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
