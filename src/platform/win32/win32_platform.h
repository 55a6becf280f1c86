// Win32 backend: the platform interfaces implemented with the real Win32, Direct3D 11, XAudio2 2.9
// (loaded at run time), XInput 1.4 and winmm calls. Only the files of this folder and the Windows
// entry point include this header.
#pragma once

#include <windows.h>
#include <mmsystem.h>

// <windows.h> maps these names to their A/W functions; the platform interfaces use them as plain
// member names, so the macros go (the W functions are called by their full names).
#undef RegisterClass
#undef UnregisterClass
#undef MessageBox

#include "platform/platform.h"

// Makes the Win32 backend the process's platform. showCommand is the start-up show-command that
// PlatWindow::Show applies.
void InstallWin32Platform(HINSTANCE instance, int showCommand);

// A folder unpacked from the Windows zip carries the settings of a first start (audible volumes) as
// "Game.default.ini", never as "Game.ini", so that unpacking over an older folder keeps the player's
// settings and ranking. When folder (with its trailing backslash) holds no "Game.ini", this copies
// the template there; an existing "Game.ini" is never replaced. True when a copy was placed.
bool SeedSettingsFromTemplate(const wchar_t* folder);

// The folder of the running program, with its trailing backslash; false when it does not fit.
bool Win32ProgramFolder(wchar_t* out, size_t capacity);

// The game window while it exists (the renderer's swap chain belongs to it), else null.
HWND Win32GameWindow();
HINSTANCE Win32Instance();

// The services, one instance each for the whole run.
PlatClock* Win32Clock();
PlatInput* Win32Input();
PlatWindow* Win32Window(HINSTANCE instance, int showCommand);
PlatRender* Win32Render();
PlatAudio* Win32Audio();
PlatServices* Win32Services();

// char16_t and wchar_t are both UTF-16 code units on Windows.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is UTF-16 on Windows");
inline const wchar_t* AsWide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
inline wchar_t* AsWide(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }
