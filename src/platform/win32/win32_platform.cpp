// Installs the Win32 services as the process's platform.
#include "platform/win32/win32_platform.h"

void InstallWin32Platform(HINSTANCE instance, int showCommand) {
    Platform p;
    p.clock = Win32Clock();
    p.input = Win32Input();
    p.window = Win32Window(instance, showCommand);
    p.render = Win32Render();
    p.audio = Win32Audio();
    p.services = Win32Services();
    SetPlatform(p);
}
