// Browser backend (Emscripten, WebAssembly): the game in a web page, on SDL2's Emscripten port.
// It takes the SDL pieces that run on any SDL host from src/platform/sdl: the keyboard, the clock,
// the audio device (Web Audio), the OpenGL render device behind its host interface (sdl_gl.h,
// here web_gl.cpp) and the window's shared video pieces (sdl_video.h). Its window, input,
// services, drawing choice, file store and loop are its own. The loop belongs to the browser:
// web_run.h runs the turns due at each display frame.
//
// Implemented features:
//   [X] the page's canvas as the window: a 1280 x 720 drawing buffer that the page's style scales
//       to the page at 16:9
//   [X] full screen through the Fullscreen API (Alt+Enter, options) on the page's stage (the
//       canvas and the touch controls); leaving it by the browser's own key sets the game's
//       window mode back to framed
//   [X] WebGL 2 (OpenGL ES 3.0) with the desktop's shader files behind an ES prologue (a missing
//       file fails the same way); 16-bit textures converted to ES's 5-5-5-1 order at load
//   [X] where WebGL is missing or runs on the processor (its renderer names a software
//       rasteriser), the software rasteriser into the canvas's 2D context (putImageData)
//   [X] the Gamepad API's standard mapping read directly (D-pad, A B X Y, ...) as pad 0
//   [X] on-screen touch controls of the page as held keys (index.html)
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
#include "platform/sdl/sdl_video.h"

// Keyboard through SDL, plus the keys the page's touch controls hold, plus the first pad of the
// Gamepad API. A browser shows a pad only after one of its buttons was pressed on the page, so
// the pad reads as connected (with nothing held) wherever the Gamepad API exists: a "not
// connected" answer would stop the pad's polling for the rest of the run before a player could
// ever press a button.
class WebInput final : public PlatInput {
public:
    uint8_t AsyncKeyState(int vk) override;
    uint32_t PadState(int pad, PlatPadState* out) override;
    // A control of the page pressed (down) or released; a press shows at the next query even if
    // released before it.
    void PageKey(int vk, bool down);
    void Stop() { keys.Stop(); }

    SdlInput keys;
    uint8_t pageHeld[256] = {};
    uint8_t pageLatch[256] = {};
    uint32_t packet = 0;
    uint16_t lastButtons = 0;
};

// The page's canvas as the game's window (web_window.cpp).
class WebWindow final : public SdlGameWindow {
public:
    KELVORINE_SDL_WINDOW_OVERRIDES

private:
    bool HandleEvent(const SDL_Event& e, PlatWindowEvents* events);
};

// How the page draws: WebGL 2 on a GPU, or the software rasteriser into a 2D canvas. Decided once,
// before the window is made (a canvas keeps the first kind of context it gives out), by a WebGL
// context of a canvas of its own; index.html?render=webgl|canvas chooses for measurements.
enum class WebDrawPath { WebGl, Canvas };
WebDrawPath WebChooseDrawPath();
// The renderer string of the browser's WebGL ("" without WebGL), for the page's figures.
const char* WebGlRendererName();
// The software device that puts the 1280 x 720 picture into the canvas (web_render.cpp).
PlatRender* WebCreateCanvasRender();

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

    WebDrawPath drawPath;
    SdlClock clock;
    WebInput input;
    WebWindow window;
    PlatRender* render;
    SdlAudio audio;
    WebServices services;
};
