// What the SDL backend asks of an X11 desktop directly, through Xlib: the client area's aspect
// ratio in the window's size hints, and an X connection that ends (the session is over, the
// server is gone) without ending the process, so that the game still takes its quit path.
// On any other display system these do nothing.
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <setjmp.h>

#include <atomic>

#include "platform/sdl/sdl_x11.h"

namespace {

std::atomic<bool> gConnectionLost{false};
// Set while SDL reads the X connection for events (main thread only).
sigjmp_buf* gPolling = nullptr;

Display* X11Of(SDL_Window* w, ::Window* xw) {
    if (w == nullptr) return nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(w, &info) != SDL_TRUE || info.subsystem != SDL_SYSWM_X11) return nullptr;
    *xw = info.info.x11.window;
    return info.info.x11.display;
}

// Called by Xlib once the connection is broken. Returning (instead of the default exit) leaves
// the display marked dead: later calls on it fail at once, and the main loop closes the window.
// Inside SDL's event reading it leaves that reading instead: SDL would go on to use the failed
// replies (an atom name that never came) and crash.
void OnConnectionLost(Display*, void*) {
    gConnectionLost.store(true, std::memory_order_relaxed);
    if (gPolling != nullptr) siglongjmp(*gPolling, 1);
}

// SDL keeps connections of its own beside the window's; whichever breaks first gets the same
// handling (the exit handler is read after this one has run).
int OnIoError(Display* d) {
    gConnectionLost.store(true, std::memory_order_relaxed);
    XSetIOErrorExitHandler(d, OnConnectionLost, nullptr);
    return 0;
}

}  // namespace

bool SdlX11KeepAspect(SDL_Window* window, bool keep) {
    ::Window xw = 0;
    Display* d = X11Of(window, &xw);
    if (d == nullptr) return false;
    XSizeHints* hints = XAllocSizeHints();
    if (hints == nullptr) return false;
    long supplied = 0;
    if (XGetWMNormalHints(d, xw, hints, &supplied) == 0) hints->flags = 0;
    if (keep) {
        // The ratio applies to the client area itself: a base size of 0 says so explicitly
        // (without one, a window manager may take the minimum size as the base).
        hints->flags |= PAspect | PBaseSize;
        hints->min_aspect.x = hints->max_aspect.x = 16;
        hints->min_aspect.y = hints->max_aspect.y = 9;
        hints->base_width = hints->base_height = 0;
    } else {
        hints->flags &= ~(PAspect | PBaseSize);
    }
    XSetWMNormalHints(d, xw, hints);
    XFree(hints);
    XFlush(d);
    return true;
}

bool SdlX11HasWindowManager(SDL_Window* window) {
    ::Window xw = 0;
    Display* d = X11Of(window, &xw);
    if (d == nullptr) return false;
    // A window manager that follows the desktop conventions names its check window on the root.
    const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == 0) return false;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type,
                                          &format, &count, &after, &data);
    const bool found = status == Success && type == XA_WINDOW && count == 1;
    if (data != nullptr) XFree(data);
    return found;
}

void SdlX11WatchConnection(SDL_Window* window) {
    ::Window xw = 0;
    Display* d = X11Of(window, &xw);
    if (d == nullptr) return;
    XSetIOErrorExitHandler(d, OnConnectionLost, nullptr);
    XSetIOErrorHandler(OnIoError);
}

namespace {

// Runs `read`, one of SDL's readings of the X connection, and leaves it at once (answering 0)
// when the connection breaks during it.
template <typename Read>
int ReadGuarded(Read read) {
    if (gConnectionLost.load(std::memory_order_relaxed)) return 0;  // nothing more will come
    sigjmp_buf polling;
    if (sigsetjmp(polling, 0) != 0) {
        gPolling = nullptr;
        return 0;
    }
    gPolling = &polling;
    const int got = read();
    gPolling = nullptr;
    return got;
}

}  // namespace

int SdlX11PollEvent(SDL_Event* event) {
    return ReadGuarded([event] { return SDL_PollEvent(event); });
}

bool SdlX11WaitEvent(uint32_t ms) {
    if (gConnectionLost.load(std::memory_order_relaxed)) return false;
    // Anything queued, the end-of-poll mark included, is the loop's to read first.
    if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT)) return false;
    // A null event leaves the event that ends the wait in the queue.
    ReadGuarded([ms] { return SDL_WaitEventTimeout(nullptr, static_cast<int>(ms)); });
    return true;
}

bool SdlX11ConnectionLost() { return gConnectionLost.load(std::memory_order_relaxed); }
