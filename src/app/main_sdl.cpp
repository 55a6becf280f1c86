// The game on Linux: the SDL2 + OpenGL platform, then the game's own entry. No command line is
// read.
//
// Measuring aid (never set in normal play): KELVORINE_EXIT_AFTER_FIRST_PRESENT=title or play
// prints "first-present <scene> <CLOCK_REALTIME ns>" on stdout after the first frame of that
// scene has been presented, then closes the window as the close button would.
#define SDL_MAIN_HANDLED
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "graphics/MapSceneEntity.h"
#include "platform/sdl/sdl_platform.h"
#include "shell/App.h"

namespace {

int gExitScene = 0;  // the scene whose first present ends the run; 0 none

void ExitAfterFirstPresent(int sceneNumber) {
    if (gExitScene == 0 || sceneNumber != gExitScene) return;
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    std::printf("first-present %s %lld%09ld\n", gExitScene == kSceneTitle ? "title" : "play",
                static_cast<long long>(ts.tv_sec), ts.tv_nsec);
    std::fflush(stdout);
    gExitScene = 0;
    Plat().window->PostClose();
}

void ArmExitAfterFirstPresent() {
    const char* scene = std::getenv("KELVORINE_EXIT_AFTER_FIRST_PRESENT");
    if (scene == nullptr) return;
    if (std::strcmp(scene, "title") == 0) gExitScene = kSceneTitle;
    if (std::strcmp(scene, "play") == 0) gExitScene = kScenePlay;
    if (gExitScene != 0) SetPresentHook(ExitAfterFirstPresent);
}

}  // namespace

int main() {
    SDL_SetMainReady();
    ArmExitAfterFirstPresent();
    int code = 0;
    {
        SdlPlatform platform;
        platform.Install();
        code = KelvorineMain(1);
    }
    return code;
}
