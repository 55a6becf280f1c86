// The game window of the SDL backend and its message step.
//
// SDL events become the shell's window procedure calls: the close button (and a quit request
// from the system: SIGINT, SIGTERM, SIGHUP, or the X connection ending with the session) is
// WM_CLOSE, keyboard focus is activation, Esc and Alt+Enter are the two accelerator commands, an
// expose shows the last presented frame again, and a size change made by the user goes through
// the 16:9 rule for the edge that moved (the window manager is also given the ratio). The
// window is destroyed by hiding it and posting the quit message; the SDL window itself (which
// carries the OpenGL drawable) lives until the class is unregistered, after the renderer is gone.
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstring>

#include "platform/sdl/sdl_clock.h"
#include "platform/sdl/sdl_services.h"
#include "platform/sdl/sdl_video.h"
#include "platform/sdl/sdl_window.h"
#include "platform/sdl/sdl_x11.h"

namespace {

volatile sig_atomic_t gHangup = 0;

void OnHangup(int) { gHangup = 1; }

// Closing the terminal the game was started from ends the game as the close button does. A
// hang-up that was ignored when the game started (nohup) stays ignored.
void CatchQuitSignals() {
    // A write to an X connection the server has closed must fail, not end the game unsaved.
    signal(SIGPIPE, SIG_IGN);
    struct sigaction old;
    if (sigaction(SIGHUP, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) return;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnHangup;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &sa, nullptr);
}

// SDL's stand-ins for a display: they make a window nobody sees, so the game would run on,
// unreachable, holding the one-instance guard. Used only when asked for by name.
bool InvisibleDriver(const char* driver) {
    if (driver == nullptr) return false;
    if (std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0 &&
        std::strcmp(driver, "evdev") != 0) {
        return false;
    }
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    return asked == nullptr || std::strcmp(asked, driver) != 0;
}

// The WMSZ_* edge (1 left ... 8 bottom-right) whose sides moved from one client rectangle to the
// next; the bottom-right corner when it cannot be told.
int MovedEdge(int x0, int y0, int w0, int h0, int x1, int y1, int w1, int h1) {
    const bool left = x1 != x0, right = x1 + w1 != x0 + w0;
    const bool top = y1 != y0, bottom = y1 + h1 != y0 + h0;
    if (left && right) return 8;  // moved as a whole, or both sides: no single edge
    if (top && bottom) return 8;
    if (top) return left ? 4 : right ? 5 : 3;
    if (bottom) return left ? 7 : right ? 8 : 6;
    if (left) return 1;
    if (right) return 2;
    return 8;
}

}  // namespace

bool SdlWindow::RegisterClass() {
    if (videoUp) return true;
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_PING, "0");
    // An X server now and then resets a connection as it opens; SDL then falls back to a stand-in
    // driver. Two more tries, a tenth of a second apart, before there is no display.
    for (int attempt = 0;; ++attempt) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            SDL_Log("video subsystem: %s", SDL_GetError());
            return false;
        }
        if (!InvisibleDriver(SDL_GetCurrentVideoDriver())) break;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        if (attempt == 2) {
            SDL_Log("no display to show the window on");
            return false;
        }
        SDL_Delay(100);
    }
    videoUp = true;
    CatchQuitSignals();
    SdlIgnoreUnreadEvents();
    return true;
}

void SdlWindow::UnregisterClass() {
    if (SdlX11ConnectionLost()) {
        // Closing SDL's other connections to a server that is gone would end the process with
        // Xlib's exit code; the process ends here anyway.
        window = hidden = nullptr;
        videoUp = false;
        return;
    }
    SdlGameWindow::UnregisterClass();
}

bool SdlWindow::Create() {
    if (!videoUp) return false;
    window = SdlCreateGameWindow(openGlDrawable, SDL_WINDOW_RESIZABLE);
    if (window == nullptr) return false;
    SDL_SetWindowMinimumSize(window, 160, 90);
    SdlX11KeepAspect(window, true);
    SdlX11WatchConnection(window);
    RememberClientRect();
    closePosted = false;
    quitPosted = false;
    borderless = false;
    bool inUse = false;
    windowMark = SdlBindAbstract(".window", &inUse);
    return true;
}

void SdlWindow::Show() {
    if (window == nullptr) return;
    SDL_ShowWindow(window);
    SDL_RaiseWindow(window);
}

bool SdlWindow::GetWindowRect(PlatRect* out) {
    if (window == nullptr) return false;
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window, &x, &y);
    SDL_GetWindowSize(window, &w, &h);
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) != 0) {
        top = left = bottom = right = 0;  // no window manager: no frame
    }
    *out = PlatRect{x - left, y - top, x + w + right, y + h + bottom};
    return true;
}

PlatPump SdlWindow::PumpOne(PlatWindowEvents* events, int* exitCode) {
    PlatPump posted;
    if (TakePosted(events, exitCode, &posted)) return posted;
    if ((gHangup != 0 || SdlX11ConnectionLost()) && Exists()) {
        events->OnClose();
        return PlatPump::Handled;
    }
    // Everything queued is read in this turn: events that change nothing (key presses other
    // than the two accelerators, clicks, pad and device notices) are passed over at once, and
    // the first event that does something is this turn's one message. So a burst of keys never
    // stands between the player and the next Esc; the key levels themselves were taken as SDL
    // read the events from the display, before any of them reached this loop.
    SDL_Event e;
    for (;;) {
        if (SdlX11PollEvent(&e) == 0) return PlatPump::NoMessage;
        if (HandleEvent(e, events)) return PlatPump::Handled;
    }
}

// One event of the queue; false when it has no effect on the game (the caller then reads on).
bool SdlWindow::HandleEvent(const SDL_Event& e, PlatWindowEvents* events) {
    switch (e.type) {
        case SDL_QUIT:
            // A quit request from outside (a signal, the session ending): the same as closing.
            if (Exists()) events->OnClose();
            return true;
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    if (Exists()) events->OnClose();
                    break;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    SetAway(false);
                    events->OnActivate(true);
                    break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    SetAway(true);
                    events->OnActivate(false);
                    break;
                case SDL_WINDOWEVENT_EXPOSED:
                    if (Exists() && repaint != nullptr) repaint->RepaintLastFrame();
                    break;
                case SDL_WINDOWEVENT_MOVED:
                    if (Exists()) {
                        // A move with the size unchanged is a plain move; with a changed size the
                        // resize that follows compares against the old rectangle.
                        int w = 0, h = 0;
                        SDL_GetWindowSize(window, &w, &h);
                        if (w == lastW && h == lastH) RememberClientRect();
                    }
                    break;
                case SDL_WINDOWEVENT_RESIZED:
                    if (!borderless && Exists()) Resized(e.window.data1, e.window.data2, events);
                    break;
                default:
                    // The pointer entering or leaving, shown, hidden, size-changed notices: the
                    // cases above are what the game acts on.
                    return false;
            }
            return true;
        case SDL_KEYDOWN: {
            const int command = SdlAcceleratorCommand(e.key);
            if (command != 0) events->OnCommand(command);
            return command != 0;
        }
        default:
            // Clicks, key releases and everything else: no effect.
            return false;
    }
}

// A size change made by the user (or the window manager): the 16:9 rule of the edge that moved
// settles the rectangle. A window manager that keeps the ratio itself leaves nothing to do.
void SdlWindow::Resized(int w, int h, PlatWindowEvents* events) {
    int x = 0, y = 0;
    SDL_GetWindowPosition(window, &x, &y);
    const int edge = MovedEdge(lastX, lastY, lastW, lastH, x, y, w, h);
    PlatRect r{x, y, x + w, y + h};
    events->OnSizing(edge, &r);
    if (r.left != x || r.top != y) SDL_SetWindowPosition(window, r.left, r.top);
    if (r.right - r.left != w || r.bottom - r.top != h) {
        SDL_SetWindowSize(window, r.right - r.left, r.bottom - r.top);
    }
    lastX = r.left;
    lastY = r.top;
    lastW = r.right - r.left;
    lastH = r.bottom - r.top;
}

void SdlWindow::RememberClientRect() {
    SDL_GetWindowPosition(window, &lastX, &lastY);
    SDL_GetWindowSize(window, &lastW, &lastH);
}

void SdlWindow::SetAway(bool away) {
    if (clock == nullptr) return;
    clock->SetAway(away);
    // The main thread's timer slack while away: a 1 ms sleep may last up to 16 ms, so the kernel
    // wakes the thread about once per frame of waiting. 0 restores the default.
    constexpr unsigned long kAwaySlackNs = 15000000;
    prctl(PR_SET_TIMERSLACK, away ? kAwaySlackNs : 0ul, 0ul, 0ul, 0ul);
}

void SdlWindow::Minimize() {
    if (window != nullptr && !SdlX11ConnectionLost()) SDL_MinimizeWindow(window);
}

void SdlWindow::Destroy() {
    if (!Exists()) return;
    // Hiding waits for the server to confirm, which a server that is gone never does.
    if (!SdlX11ConnectionLost()) SDL_HideWindow(window);
    if (windowMark >= 0) close(windowMark);
    windowMark = -1;
    // The SDL window stays behind for the OpenGL context until UnregisterClass; from here on the
    // game sees no window.
    hidden = window;
    window = nullptr;
    quitPosted = true;
}

bool SdlWindow::FindOtherInstanceWindow() {
    bool inUse = false;
    const int fd = SdlBindAbstract(".window", &inUse);
    if (fd >= 0) close(fd);
    return inUse;
}
