// The SDL video pieces shared by the desktop's window and the page's canvas (sdl_video.h).
#include "platform/sdl/sdl_video.h"

#include "platform/sdl/sdl_gl.h"

void SdlIgnoreUnreadEvents() {
    SDL_StopTextInput();
    SDL_EventState(SDL_TEXTINPUT, SDL_IGNORE);
    SDL_EventState(SDL_TEXTEDITING, SDL_IGNORE);
    SDL_EventState(SDL_MOUSEMOTION, SDL_IGNORE);
    SDL_EventState(SDL_FINGERMOTION, SDL_IGNORE);
    SDL_EventState(SDL_KEYMAPCHANGED, SDL_IGNORE);
    SDL_EventState(SDL_KEYUP, SDL_IGNORE);
    SDL_EventState(SDL_MOUSEBUTTONDOWN, SDL_IGNORE);
    SDL_EventState(SDL_MOUSEBUTTONUP, SDL_IGNORE);
    SDL_EventState(SDL_MOUSEWHEEL, SDL_IGNORE);
    SDL_EventState(SDL_FINGERDOWN, SDL_IGNORE);
    SDL_EventState(SDL_FINGERUP, SDL_IGNORE);
}

SDL_Window* SdlCreateGameWindow(bool openGl, uint32_t extraFlags) {
    GlHostContextAttributes();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, 0);
    SDL_Window* window = SDL_CreateWindow("Kelvorine", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                          kScreenWidth, kScreenHeight,
                                          (openGl ? SDL_WINDOW_OPENGL : 0) | SDL_WINDOW_HIDDEN | extraFlags);
    if (window == nullptr) SDL_Log("window: %s", SDL_GetError());
    return window;
}

int SdlAcceleratorCommand(const SDL_KeyboardEvent& key) {
    const SDL_Scancode sc = key.keysym.scancode;
    if (sc == SDL_SCANCODE_ESCAPE) return kWindowCommandClose;
    if ((sc == SDL_SCANCODE_RETURN || sc == SDL_SCANCODE_KP_ENTER) && (key.keysym.mod & KMOD_ALT) != 0) {
        return kWindowCommandToggle;
    }
    return 0;
}

// The window and the kept one go, then SDL's video subsystem.
void SdlGameWindow::UnregisterClass() {
    if (window != nullptr) SDL_DestroyWindow(window);
    if (hidden != nullptr) SDL_DestroyWindow(hidden);
    window = nullptr;
    hidden = nullptr;
    if (videoUp) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    videoUp = false;
}

void SdlGameWindow::GetClientSize(int32_t* w, int32_t* h) {
    int cw = kScreenWidth, ch = kScreenHeight;
    if (window != nullptr) SDL_GL_GetDrawableSize(window, &cw, &ch);
    *w = cw;
    *h = ch;
}

void SdlGameWindow::FrameMetrics(int32_t* cxFrame, int32_t* cyFrame, int32_t* cyCaption) {
    *cxFrame = 0;
    *cyFrame = 0;
    *cyCaption = 0;
}

void SdlGameWindow::ShowCursor() { SDL_ShowCursor(SDL_ENABLE); }

bool SdlGameWindow::TakePosted(PlatWindowEvents* events, int* exitCode, PlatPump* result) {
    if (quitPosted) {
        quitPosted = false;
        *exitCode = 0;
        *result = PlatPump::Quit;
        return true;
    }
    if (!closePosted) return false;
    closePosted = false;
    if (Exists()) events->OnClose();
    *result = PlatPump::Handled;
    return true;
}
