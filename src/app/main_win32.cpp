// Entry point of the Windows program: installs the Win32 platform and runs the game.
#include "platform/win32/win32_platform.h"
#include "platform/common/text.h"
#include "shell/App.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // A folder fresh from the zip starts with the audible settings of its template.
    wchar_t folder[kPathChars];
    if (Win32ProgramFolder(folder, kPathChars)) SeedSettingsFromTemplate(folder);
    InstallWin32Platform(instance, showCommand);
    return KelvorineMain(showCommand);
}
