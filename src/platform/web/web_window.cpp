// The page's window: SDL's window on the page's canvas, its message step, and its form. Full
// screen is the Fullscreen API on the page's stage (the canvas, letterboxed at 16:9 by the page's
// style, and the touch controls around it); framed is the page. The canvas is not resizable: the
// drawing buffer stays 1280 x 720 and the page's style scales it.
#include <emscripten.h>

#include "platform/sdl/sdl_video.h"
#include "platform/web/web_platform.h"

namespace {

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

}  // namespace

bool WebWindow::RegisterClass() {
    if (videoUp) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        SDL_Log("video subsystem: %s", SDL_GetError());
        return false;
    }
    videoUp = true;
    SdlIgnoreUnreadEvents();
    return true;
}

bool WebWindow::Create() {
    if (!videoUp) return false;
    window = SdlCreateGameWindow(openGlDrawable, 0);
    if (window == nullptr) return false;
    closePosted = false;
    quitPosted = false;
    return true;
}

void WebWindow::Show() {
    if (window != nullptr) SDL_ShowWindow(window);
}

bool WebWindow::GetWindowRect(PlatRect* out) {
    if (window == nullptr) return false;
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    *out = PlatRect{x, y, x + w, y + h};
    return true;
}

// Everything queued is read in this turn: events that change nothing are passed over at once, and
// the first one that does something is this turn's one message.
PlatPump WebWindow::PumpOne(PlatWindowEvents* events, int* exitCode) {
    PlatPump posted;
    if (TakePosted(events, exitCode, &posted)) return posted;
    SDL_Event e;
    for (;;) {
        if (SDL_PollEvent(&e) == 0) return PlatPump::NoMessage;
        if (HandleEvent(e, events)) return PlatPump::Handled;
    }
}

// One event of the queue; false when it has no effect on the game (the caller then reads on). An
// expose, a move or a size change of the canvas is taken as the desktop's window takes it, but
// needs nothing done: the page keeps showing the canvas, whose drawing buffer keeps its size.
bool WebWindow::HandleEvent(const SDL_Event& e, PlatWindowEvents* events) {
    if (e.type == SDL_QUIT) {
        if (Exists()) events->OnClose();
        return true;
    }
    if (e.type == SDL_KEYDOWN) {
        const int command = SdlAcceleratorCommand(e.key);
        if (command != 0) events->OnCommand(command);
        return command != 0;
    }
    if (e.type != SDL_WINDOWEVENT) return false;
    switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            if (Exists()) events->OnClose();
            return true;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
        case SDL_WINDOWEVENT_FOCUS_LOST:
            events->OnActivate(e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED);
            return true;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_MOVED:
        case SDL_WINDOWEVENT_RESIZED:
            return true;
        default:
            return false;
    }
}

void WebWindow::Minimize() {
    if (window != nullptr) SDL_MinimizeWindow(window);
}

// The SDL window stays behind for the WebGL context until UnregisterClass; from here on the game
// sees no window.
void WebWindow::Destroy() {
    if (!Exists()) return;
    SDL_HideWindow(window);
    hidden = window;
    window = nullptr;
    quitPosted = true;
}

bool WebWindow::SavePlacement() { return window != nullptr; }

bool WebWindow::PrimaryMonitorRect(PlatRect* out) {
    if (window == nullptr) return false;
    SDL_Rect b;
    if (SDL_GetDisplayBounds(0, &b) != 0) return false;
    *out = PlatRect{b.x, b.y, b.x + b.w, b.y + b.h};
    return true;
}

void WebWindow::SetBorderless(const PlatRect&) {
    if (window != nullptr) RequestFullscreen();
}

void WebWindow::RestoreFramed() {
    if (window != nullptr) ExitFullscreen();
}

void WebWindow::ThreadProcessIds(uint32_t* thread, uint32_t* process) {
    // One thread, no process identity: the page's start time (milliseconds since 1970) stands in,
    // so that two tabs started in the same second still draw different pieces.
    const double now = emscripten_get_now() + EM_ASM_DOUBLE({ return performance.timeOrigin || 0; });
    const uint64_t ms = static_cast<uint64_t>(now);
    *thread = static_cast<uint32_t>(ms);
    *process = static_cast<uint32_t>(ms >> 32);
}


// Every tab runs its own copy of the game.
bool WebWindow::FindOtherInstanceWindow() { return false; }
