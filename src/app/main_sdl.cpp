// The game on Linux: the SDL2 + OpenGL platform, then the game's own entry. No command line is
// read.
//
// Measuring aid (never set in normal play): KELVORINE_EXIT_AFTER_FIRST_PRESENT=title or play
// prints "first-present <scene> <CLOCK_REALTIME ns>" on stdout after the first frame of that
// scene has been presented, then closes the window as the close button would.
#define SDL_MAIN_HANDLED
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/MapSceneEntity.h"
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

// A launcher may start the game with standard streams closed. The next files opened, and the
// display connection, would then take those numbers, and SDL's log lines and the game's own
// messages would be written into them (into the display connection, which then hangs): each
// closed one is opened on /dev/null first.
void FillStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int got = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (got >= 0 && got != fd) {
            dup2(got, fd);
            close(got);
        }
    }
}

// The message boxes draw their texts (Japanese ones among them) through the character set of
// the environment's locale, which SDL takes on while a box is up. A locale without UTF-8 ("C",
// or none at all) would drop every character outside ASCII: the character type then becomes
// UTF-8, everything else stays as the player set it. The game itself runs in the "C" locale.
void UseUtf8Characters() {
    if (setlocale(LC_CTYPE, "") != nullptr && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0) {
        setlocale(LC_CTYPE, "C");
        return;
    }
    // LC_ALL outranks LC_CTYPE: its choice moves to LANG, which every other category still
    // follows.
    const char* all = std::getenv("LC_ALL");
    if (all != nullptr && all[0] != 0) {
        setenv("LANG", all, 1);
        unsetenv("LC_ALL");
    }
    setenv("LC_CTYPE", "C.UTF-8", 1);
    setlocale(LC_CTYPE, "C");
}

}  // namespace

int main() {
    // Before anything opens a file or a connection.
    FillStandardDescriptors();
    UseUtf8Characters();
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
