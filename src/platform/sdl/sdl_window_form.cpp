// The window's form on the desktop: the borderless window over the monitor (or the window
// manager's full-screen state) and back to the saved framed placement, and the identifiers of the
// window's thread and process.
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/sdl/sdl_window.h"
#include "platform/sdl/sdl_x11.h"

bool SdlWindow::SavePlacement() {
    if (window == nullptr) return false;
    SDL_GetWindowPosition(window, &savedX, &savedY);
    SDL_GetWindowSize(window, &savedW, &savedH);
    placementSaved = true;
    return true;
}

bool SdlWindow::PrimaryMonitorRect(PlatRect* out) {
    if (window == nullptr) return false;
    int display = SDL_GetWindowDisplayIndex(window);
    if (display < 0) display = 0;
    SDL_Rect b;
    if (SDL_GetDisplayBounds(display, &b) != 0) return false;
    *out = PlatRect{b.x, b.y, b.x + b.w, b.y + b.h};
    return true;
}

void SdlWindow::SetBorderless(const PlatRect& m) {
    if (window == nullptr) return;
    borderless = true;
    SdlX11KeepAspect(window, false);  // a monitor of another shape is covered all the same
    // A window manager places a borderless window inside its work area (off the panels) and
    // reads positions as those of its frame; its full-screen state covers the whole monitor and
    // gives the framed placement back by itself.
    wmFullscreen = SdlX11HasWindowManager(window) &&
                   SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP) == 0;
    if (!wmFullscreen) {
        SDL_SetWindowBordered(window, SDL_FALSE);
        SDL_SetWindowPosition(window, m.left, m.top);
        SDL_SetWindowSize(window, m.right - m.left, m.bottom - m.top);
    }
    SDL_ShowWindow(window);
    SDL_RaiseWindow(window);
}

void SdlWindow::RestoreFramed() {
    if (window == nullptr) return;
    if (wmFullscreen) {
        SDL_SetWindowFullscreen(window, 0);
        wmFullscreen = false;
    } else if (placementSaved) {
        SDL_SetWindowBordered(window, SDL_TRUE);
        SDL_SetWindowSize(window, savedW, savedH);
        SDL_SetWindowPosition(window, savedX, savedY);
    } else {
        SDL_SetWindowBordered(window, SDL_TRUE);
    }
    borderless = false;
    SdlX11KeepAspect(window, true);
    SDL_ShowWindow(window);
    RememberClientRect();
}

void SdlWindow::ThreadProcessIds(uint32_t* thread, uint32_t* process) {
    *thread = static_cast<uint32_t>(syscall(SYS_gettid));
    *process = static_cast<uint32_t>(getpid());
}
