// Browser backend (Emscripten, WebAssembly): the game in a web page, on SDL2's Emscripten port.
// It reuses the SDL backend's window and message step, keyboard, game controller (the browser's
// Gamepad API), clock, audio device (Web Audio) and OpenGL render device; this folder holds only
// what differs in a page. The loop itself belongs to the browser: src/app/main_web.cpp runs one
// turn per call-back.
//
// Implemented features:
//   [X] the page's canvas as the window: a 1280 x 720 drawing buffer that the page's style scales
//       to the page at 16:9
//   [X] full screen through the browser's own request (Alt+Enter, options); the browser carries it
//       out at the player's next key or click, as it allows full screen only from an input event
//   [X] WebGL 2 (OpenGL ES 3.0) with GLSL ES shader files read like the desktop ones (a missing
//       file fails the same way); 16-bit textures converted to ES's 5-5-5-1 order at load
//   [X] no threads: the music is fed from the frame loop (no cross-origin isolation needed)
//   [X] "Game.ini", "dir.txt" and save slots in IndexedDB (base folder /kelvorine/); the default
//       data packaged with the page (/game/data/, the shaders in /game, the current directory)
//   [X] message boxes as a notice over the page, and on the console
//   [ ] one instance per browser: every tab is a copy of its own (they share the stored files)
//   [ ] font registration (the font is not used for drawing; only its presence is checked)
#pragma once

#include "platform/platform.h"
#include "platform/sdl/sdl_audio.h"
#include "platform/sdl/sdl_clock.h"
#include "platform/sdl/sdl_input.h"
#include "platform/sdl/sdl_window.h"

// Where the page keeps its files: the program's folder (persistent, IndexedDB) and the packaged
// game folder (shaders, data; read-only, the current directory).
constexpr char kWebBaseFolder[] = "/kelvorine";
constexpr char kWebGameFolder[] = "/game";
// "dir.txt" written on a first visit: the packaged data, relative to the program's folder.
constexpr char16_t kWebDataFolderName[] = u"..\\game\\data\\";

class WebServices final : public PlatServices {
public:
    bool AcquireInstanceMutex(bool* alreadyExisted) override;
    void ReleaseInstanceMutex() override {}
    void MessageBox(const char16_t* text, const char16_t* caption) override;
    void SetScreenSaverActive(bool) override {}
    bool AddFont(const char16_t* path) override;
    void RemoveFont(const char16_t*) override {}
    void KeepDisplayOn() override {}
    bool ExecutablePath(char16_t* out, size_t capacity) override;
    bool CanonicalizePath(char16_t* out, size_t capacity, const char16_t* path) override;
    bool ThreadsAvailable() override { return false; }
    bool StartThread(void (*)(void*), void*) override { return false; }
    void JoinThread() override {}
};

// Owns one of each service; Install() makes it the process's platform.
class WebPlatform {
public:
    WebPlatform();
    ~WebPlatform();
    void Install();

    SdlClock clock;
    SdlInput input;
    SdlWindow window;
    PlatRender* render;
    SdlAudio audio;
    WebServices services;
};
