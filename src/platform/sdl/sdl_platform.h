// SDL2 + OpenGL 3.3 backend for Linux: the platform services of the game on a desktop with an X11
// (or Wayland) display.
//
// Implemented features:
//   [X] framed window "Kelvorine" with a 1280 x 720 client area; 16:9 kept when resized
//   [X] borderless window over the primary display (Alt+Enter, options), framed form restored
//   [X] Esc and Alt+Enter as the two accelerator commands; the close button as WM_CLOSE
//   [X] activation from the keyboard focus
//   [X] keyboard as Windows virtual-key numbers with the pressed-since-last-query latch
//   [X] game controller 0 as an XInput button word, polled (its events are not queued);
//       "not connected" when there is none, and a controller plugged in later is found
//   [X] millisecond clock, nanosecond counter, sleeps
//   [X] OpenGL 3.3 core renderer: six blend states with the constant blend colour, point sampling
//       with wrap, single-sample alpha-to-coverage as an alpha test, 1280 x 720 stretched over
//       the client area, opaque black for ids without a texture
//   [X] one instance per display (abstract socket "Kelvorine"), message boxes, screen saver
//   [ ] font registration (the font is not used for drawing; only its presence is checked)
//   [ ] exclusive full screen (the swap chain never leaves windowed mode either)
#pragma once

#include <SDL.h>

#include <cstdint>
#include <thread>

#include "platform/platform.h"

class SdlClock final : public PlatClock {
public:
    uint32_t Milliseconds() override;
    uint64_t Counter() override;
    uint64_t CounterFrequency() override { return 1000000000ull; }
    void Sleep(uint32_t ms) override;
    uint32_t MinTimerPeriod() override { return 1; }
    void TimerPeriodBegin(uint32_t) override {}
    void TimerPeriodEnd(uint32_t) override {}
    int64_t CalendarTime() override;
    void LocalTime(int64_t t, std::tm* out) override;
};

class SdlInput final : public PlatInput {
public:
    uint8_t AsyncKeyState(int vk) override;
    uint32_t PadState(int pad, PlatPadState* out) override;

    // Called for every key-down event as SDL queues it (an event watch), so that a key tapped
    // and released between two queries still reads as pressed once.
    void LatchScancode(int scancode);
    void Start();                 // builds the scancode table and installs the event watch
    void Stop();

    uint8_t latch[256] = {};
    int16_t vkOfScancode[SDL_NUM_SCANCODES] = {};
    int16_t scancodesOfVk[256][4] = {};   // up to four scancodes per virtual key (0 = none)
    SDL_GameController* pad = nullptr;
    bool padSubsystem = false;
    bool started = false;
    uint32_t packet = 0;
    uint16_t lastButtons = 0;
};

class SdlWindow final : public PlatWindow {
public:
    bool RegisterClass() override;
    void UnregisterClass() override;
    SDL_Window* Drawable() const { return window != nullptr ? window : hidden; }
    bool Create() override;
    bool Exists() override { return window != nullptr; }
    void Show() override;
    bool GetWindowRect(PlatRect* out) override;
    void GetClientSize(int32_t* w, int32_t* h) override;
    void FrameMetrics(int32_t* cxFrame, int32_t* cyFrame, int32_t* cyCaption) override;
    PlatPump PumpOne(PlatWindowEvents* events, int* exitCode) override;
    void PostClose() override;
    void ShowCursor() override;
    void Minimize() override;
    void Destroy() override;
    bool SavePlacement() override;
    bool PrimaryMonitorRect(PlatRect* out) override;
    void SetBorderless(const PlatRect& monitor) override;
    void RestoreFramed() override;
    void ThreadProcessIds(uint32_t* thread, uint32_t* process) override;
    bool FindOtherInstanceWindow() override;

    SDL_Window* window = nullptr;   // null once destroyed
    SDL_Window* hidden = nullptr;   // the destroyed window, kept for the OpenGL context
    bool videoUp = false;
    bool closePosted = false;
    bool quitPosted = false;
    bool borderless = false;
    int savedX = 0, savedY = 0, savedW = 1280, savedH = 720;
    bool placementSaved = false;
    int windowMark = -1;          // socket that tells other copies this window exists
};

class SdlServices final : public PlatServices {
public:
    bool AcquireInstanceMutex(bool* alreadyExisted) override;
    void ReleaseInstanceMutex() override;
    void MessageBox(const char16_t* text, const char16_t* caption) override;
    void SetScreenSaverActive(bool active) override;
    bool AddFont(const char16_t* path) override;
    void RemoveFont(const char16_t*) override {}
    void KeepDisplayOn() override {}
    // The real executable, or for an installed game a name in the per-user folder of its files
    // (decided and prepared at the first call; game_folder.h).
    bool ExecutablePath(char16_t* out, size_t capacity) override;
    const char16_t* FolderProblem() override { return folderProblem; }
    bool CanonicalizePath(char16_t* out, size_t capacity, const char16_t* path) override;
    bool StartThread(void (*fn)(void*), void* arg) override;
    void JoinThread() override;

    int instanceSocket = -1;
    std::thread thread;
    char16_t folderProblem[1024] = {};
};

// Name of the abstract socket behind the instance guard (suffix "" for the guard itself, ".window"
// for the window mark), scoped to the display so that copies on other displays do not meet.
int SdlBindAbstract(const char* suffix, bool* inUse);

// Where a shader file is: the current folder, else beside the program, else the installed shared
// folder. False when none holds it.
bool SdlFindShader(const char* name, char* out, size_t capacity);

// False when the software presentation path is chosen before the window exists (no OpenGL
// device on the machine, or KELVORINE_RENDER=soft); the window then carries no OpenGL drawable.
bool SdlRenderWantsOpenGl();
// Creates the render device (sdl_render_gl.cpp) for the window.
PlatRender* SdlCreateRender(SdlWindow* window);
// The audio device: the SDL audio backend when it is built in, else an engine that never starts
// (the game then runs silently).
PlatAudio* SdlCreateAudio();

// Owns one of each service; Install() makes it the process's platform.
class SdlPlatform {
public:
    SdlPlatform();
    ~SdlPlatform();
    void Install();

    SdlClock clock;
    SdlInput input;
    SdlWindow window;
    PlatRender* render;
    PlatAudio* audio;
    SdlServices services;
};
