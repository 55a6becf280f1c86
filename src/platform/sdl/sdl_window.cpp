// The game window of the SDL backend and its message step.
//
// SDL events become the shell's window procedure calls: the close button (and a quit request
// from the system) is WM_CLOSE, keyboard focus is activation, Esc and Alt+Enter are the two
// accelerator commands, and a size change made by the user goes through the 16:9 rule. The
// window is destroyed by hiding it and posting the quit message; the SDL window itself (which
// carries the OpenGL drawable) lives until the class is unregistered, after the renderer is gone.
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/sdl/sdl_services.h"
#include "platform/sdl/sdl_window.h"

namespace {

constexpr int kClientWidth = 1280;
constexpr int kClientHeight = 720;

}  // namespace

bool SdlWindow::RegisterClass() {
    if (videoUp) return true;
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_PING, "0");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        SDL_Log("video subsystem: %s", SDL_GetError());
        return false;
    }
    videoUp = true;
    // The game reads key levels, not text; mouse moves and touches only fill the queue.
    SDL_StopTextInput();
    SDL_EventState(SDL_TEXTINPUT, SDL_IGNORE);
    SDL_EventState(SDL_TEXTEDITING, SDL_IGNORE);
    SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);
    SDL_EventState(SDL_FINGERMOTION, SDL_IGNORE);
    SDL_EventState(SDL_KEYMAPCHANGED, SDL_IGNORE);
    return true;
}

void SdlWindow::UnregisterClass() {
    if (window != nullptr) SDL_DestroyWindow(window);
    if (hidden != nullptr) SDL_DestroyWindow(hidden);
    window = nullptr;
    hidden = nullptr;
    if (videoUp) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoUp = false;
}

bool SdlWindow::Create() {
    if (!videoUp) return false;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, SDL_GL_CONTEXT_FORWARD_COMPATIBLE_FLAG);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    window = SDL_CreateWindow("Kelvorine", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                              kClientWidth, kClientHeight,
                              (openGlDrawable ? SDL_WINDOW_OPENGL : 0) | SDL_WINDOW_HIDDEN |
                                  SDL_WINDOW_RESIZABLE);
    if (window == nullptr) {
        SDL_Log("window: %s", SDL_GetError());
        return false;
    }
    SDL_SetWindowMinimumSize(window, 160, 90);
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

void SdlWindow::GetClientSize(int32_t* w, int32_t* h) {
    int cw = kClientWidth, ch = kClientHeight;
    if (window != nullptr) SDL_GL_GetDrawableSize(window, &cw, &ch);
    *w = cw;
    *h = ch;
}

// SDL reports and sets client sizes, so the sizing rule works on the client rectangle itself.
void SdlWindow::FrameMetrics(int32_t* cxFrame, int32_t* cyFrame, int32_t* cyCaption) {
    *cxFrame = 0;
    *cyFrame = 0;
    *cyCaption = 0;
}

PlatPump SdlWindow::PumpOne(PlatWindowEvents* events, int* exitCode) {
    if (quitPosted) {
        quitPosted = false;
        *exitCode = 0;
        return PlatPump::Quit;
    }
    if (closePosted) {
        closePosted = false;
        if (Exists()) events->OnClose();
        return PlatPump::Handled;
    }
    SDL_Event e;
    if (SDL_PollEvent(&e) == 0) return PlatPump::NoMessage;
    switch (e.type) {
        case SDL_QUIT:
            // A quit request from outside (a signal, the session ending): the same as closing.
            if (Exists()) events->OnClose();
            break;
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    if (Exists()) events->OnClose();
                    break;
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    events->OnActivate(true);
                    break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    events->OnActivate(false);
                    break;
                case SDL_WINDOWEVENT_RESIZED:
                    if (!borderless && Exists()) {
                        int x = 0, y = 0;
                        SDL_GetWindowPosition(window, &x, &y);
                        const int w = e.window.data1, h = e.window.data2;
                        PlatRect r{x, y, x + w, y + h};
                        events->OnSizing(8, &r);  // the bottom-right corner moves
                        if (r.right - r.left != w || r.bottom - r.top != h) {
                            SDL_SetWindowSize(window, r.right - r.left, r.bottom - r.top);
                        }
                    }
                    break;
                default:
                    break;
            }
            break;
        case SDL_KEYDOWN: {
            const SDL_Scancode sc = e.key.keysym.scancode;
            if (sc == SDL_SCANCODE_ESCAPE) {
                events->OnCommand(40);
            } else if ((sc == SDL_SCANCODE_RETURN || sc == SDL_SCANCODE_KP_ENTER) &&
                       (e.key.keysym.mod & KMOD_ALT) != 0) {
                events->OnCommand(50);
            }
            break;
        }
        default:
            // Clicks, key releases and everything else: no effect.
            break;
    }
    return PlatPump::Handled;
}

void SdlWindow::PostClose() { closePosted = true; }

void SdlWindow::ShowCursor() { SDL_ShowCursor(SDL_ENABLE); }

void SdlWindow::Minimize() {
    if (window != nullptr) SDL_MinimizeWindow(window);
}

void SdlWindow::Destroy() {
    if (!Exists()) return;
    SDL_HideWindow(window);
    if (windowMark >= 0) close(windowMark);
    windowMark = -1;
    // The SDL window stays behind for the OpenGL context until UnregisterClass; from here on the
    // game sees no window.
    hidden = window;
    window = nullptr;
    quitPosted = true;
}

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
    SDL_SetWindowBordered(window, SDL_FALSE);
    SDL_SetWindowPosition(window, m.left, m.top);
    SDL_SetWindowSize(window, m.right - m.left, m.bottom - m.top);
    SDL_ShowWindow(window);
    SDL_RaiseWindow(window);
}

void SdlWindow::RestoreFramed() {
    if (window == nullptr) return;
    SDL_SetWindowBordered(window, SDL_TRUE);
    if (placementSaved) {
        SDL_SetWindowSize(window, savedW, savedH);
        SDL_SetWindowPosition(window, savedX, savedY);
    }
    borderless = false;
    SDL_ShowWindow(window);
}

void SdlWindow::ThreadProcessIds(uint32_t* thread, uint32_t* process) {
    *thread = static_cast<uint32_t>(syscall(SYS_gettid));
    *process = static_cast<uint32_t>(getpid());
}

bool SdlWindow::FindOtherInstanceWindow() {
    bool inUse = false;
    const int fd = SdlBindAbstract(".window", &inUse);
    if (fd >= 0) close(fd);
    return inUse;
}
