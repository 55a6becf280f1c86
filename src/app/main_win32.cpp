// Entry point of the Windows program: installs the Win32 platform and runs the game.
#include "platform/win32/win32_platform.h"
#include "shell/App.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    InstallWin32Platform(instance, showCommand);
    return KelvorineMain(showCommand);
}
