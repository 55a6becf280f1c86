// The game on Linux: the SDL2 + OpenGL platform, then the game's own entry. No command line is
// read.
#define SDL_MAIN_HANDLED
#include "platform/sdl/sdl_platform.h"
#include "shell/App.h"

int main() {
    SDL_SetMainReady();
    int code = 0;
    {
        SdlPlatform platform;
        platform.Install();
        code = KelvorineMain(1);
    }
    return code;
}
