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
                                          kSdlClientWidth, kSdlClientHeight,
                                          (openGl ? SDL_WINDOW_OPENGL : 0) | SDL_WINDOW_HIDDEN | extraFlags);
    if (window == nullptr) SDL_Log("window: %s", SDL_GetError());
    return window;
}

int SdlAcceleratorCommand(const SDL_KeyboardEvent& key) {
    const SDL_Scancode sc = key.keysym.scancode;
    if (sc == SDL_SCANCODE_ESCAPE) return 40;
    if ((sc == SDL_SCANCODE_RETURN || sc == SDL_SCANCODE_KP_ENTER) && (key.keysym.mod & KMOD_ALT) != 0) return 50;
    return 0;
}
