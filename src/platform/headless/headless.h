// Headless backend: no window, no device, no sound card. A complete driver of every platform
// interface with test hooks: scripted keys and pad, a virtual clock, a scripted message queue,
// recorded render and audio calls, recorded message boxes, and injectable failures for every
// early exit of the start-up. Used by the unit tests and by kelvorine-replay.
//
// Implemented features:
//   [X] virtual millisecond clock and counter (Sleep advances them; nothing really waits)
//   [X] calendar clock set by the caller
//   [X] 256 key states with the pressed-since-last-query latch; pad 0 scripted or absent
//   [X] message queue scripted by the caller (activate, commands, close, quit)
//   [X] render calls recorded (blend binds, texture binds, draws, presents); textures kept
//   [X] audio voices that record submits and starts and play out when told to
//   [X] message boxes recorded (and echoed to stderr), never blocking
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/common/record_render.h"
#include "platform/platform.h"

// ------------------------------------------------------------------------------------------ clock
class HeadlessClock final : public PlatClock {
public:
    uint32_t Milliseconds() override;
    uint64_t Counter() override;
    uint64_t CounterFrequency() override;
    void Sleep(uint32_t ms) override;
    bool SleepUntilMs(uint32_t deadline) override;
    uint32_t MinTimerPeriod() override { return 1; }
    void TimerPeriodBegin(uint32_t ms) override { ++periodBegun; }
    void TimerPeriodEnd(uint32_t ms) override { ++periodEnded; }
    int64_t CalendarTime() override { return calendar; }
    void LocalTime(int64_t t, std::tm* out) override;

    // Virtual time in microseconds; Milliseconds() is micros / 1000 truncated to 32 bits.
    // Atomic: the music thread sleeps on the same clock as the main thread.
    std::atomic<uint64_t> micros{0};
    // Added to the virtual time on every Milliseconds()/Counter() read (0 = time stands still
    // while the code polls; a nonzero step lets a busy-wait finish).
    uint64_t microsPerRead = 0;
    int64_t calendar = 0;
    std::atomic<int> sleeps{0};  // number of Sleep calls with ms > 0
    std::atomic<int> yields{0};  // number of Sleep(0) calls
    // With sleepsUntil set, SleepUntilMs moves time to the deadline in one step (as the SDL clock
    // sleeps to it) and counts the call in untilSleeps; otherwise the clock has no such sleep.
    bool sleepsUntil = false;
    std::atomic<int> untilSleeps{0};
    int periodBegun = 0;
    int periodEnded = 0;
};

// The machine's own clock (steady clock, real sleeps), for tests and benchmarks that run the music
// thread in real time; calendar time is 0.
class HeadlessWallClock final : public PlatClock {
public:
    uint32_t Milliseconds() override;
    uint64_t Counter() override;
    uint64_t CounterFrequency() override { return 1000000000; }
    void Sleep(uint32_t ms) override;
    uint32_t MinTimerPeriod() override { return 1; }
    void TimerPeriodBegin(uint32_t) override {}
    void TimerPeriodEnd(uint32_t) override {}
    int64_t CalendarTime() override { return 0; }
    void LocalTime(int64_t, std::tm* out) override;
};

// ------------------------------------------------------------------------------------------ input
class HeadlessInput final : public PlatInput {
public:
    uint8_t AsyncKeyState(int vk) override;
    uint32_t PadState(int pad, PlatPadState* out) override;

    void SetKey(int vk, bool down);  // level
    void TapKey(int vk);             // pressed and released between two queries
    bool keyDown[256] = {};
    bool keyLatch[256] = {};
    bool padConnected = false;
    PlatPadState pad{};
    int padReads = 0;
};

// ------------------------------------------------------------------------------------------ window
enum class HeadlessMsg { Activate, Deactivate, Command, Close, Sizing, Quit, Other };

struct HeadlessMessage {
    HeadlessMsg kind;
    int value;           // command id, sizing edge, or quit code
    PlatRect rect;       // sizing: proposed rectangle
};

class HeadlessWindow final : public PlatWindow {
public:
    bool RegisterClass() override;
    void UnregisterClass() override { ++unregistered; }
    bool Create() override;
    bool Exists() override { return exists; }
    void Show() override { shown = true; }
    bool GetWindowRect(PlatRect* out) override;
    void GetClientSize(int32_t* w, int32_t* h) override;
    void FrameMetrics(int32_t* cxFrame, int32_t* cyFrame, int32_t* cyCaption) override;
    PlatPump PumpOne(PlatWindowEvents* events, int* exitCode) override;
    void PostClose() override;
    void ShowCursor() override { ++cursorShown; }
    void Minimize() override { ++minimized; }
    void Destroy() override;
    bool SavePlacement() override;
    bool PrimaryMonitorRect(PlatRect* out) override;
    void SetBorderless(const PlatRect& monitor) override;
    void RestoreFramed() override;
    void ThreadProcessIds(uint32_t* thread, uint32_t* process) override;
    bool FindOtherInstanceWindow() override { return otherInstanceWindow; }

    std::deque<HeadlessMessage> queue;  // scripted messages, handled one per PumpOne
    bool exists = false;
    bool shown = false;
    bool borderless = false;
    int32_t clientW = kScreenWidth, clientH = kScreenHeight;
    PlatRect rect{100, 100, 1288, 847};
    PlatRect monitor{0, 0, 1920, 1080};
    int unregistered = 0, cursorShown = 0, minimized = 0, destroyed = 0;
    uint32_t threadId = 0, processId = 0;
    bool otherInstanceWindow = false;
    // Failure injection.
    bool failRegister = false, failCreate = false, failWindowRect = false;
    bool failPlacement = false, failMonitor = false;
};

// ------------------------------------------------------------------------------------------ audio
class HeadlessVoice final : public PlatVoice {
public:
    explicit HeadlessVoice(const WaveFormat& f) : format(f) {}
    KELVORINE_PLAT_VOICE_OVERRIDES

    // Plays out the buffer at the head of the queue (as if the mixer had consumed it).
    void FinishHead();

    WaveFormat format;
    // Queued buffers as a fixed ring (no allocation while playing); head first.
    static constexpr uint32_t kQueue = 64;
    AudioBuffer queue[kQueue] = {};
    uint32_t head = 0, count = 0;
    bool running = false;
    bool destroyed = false;
    float volume = 1.0f;
    int submits = 0, starts = 0, stops = 0, flushes = 0;
};

class HeadlessAudio final : public PlatAudio {
public:
    bool CreateEngine() override;
    bool CreateMasteringVoice() override;
    PlatVoice* CreateSourceVoice(const WaveFormat& format) override;
    void DestroyMasteringVoice() override { masterVoice = false; }
    void ReleaseEngine() override { engine = false; }

    std::vector<std::unique_ptr<HeadlessVoice>> voices;  // in creation order
    bool engine = false, masterVoice = false;
    // Failure injection.
    bool failEngine = false, failMaster = false, failVoices = false;
};

// ------------------------------------------------------------------------------------------ process
struct HeadlessMessageBox {
    std::u16string text;
    std::u16string caption;
};

class HeadlessServices final : public PlatServices {
public:
    bool AcquireInstanceMutex(bool* alreadyExisted) override;
    void ReleaseInstanceMutex() override { mutexHeld = false; }
    void MessageBox(const char16_t* text, const char16_t* caption) override;
    void SetScreenSaverActive(bool active) override { screenSaverActive = active; }
    bool AddFont(const char16_t* path) override;
    void RemoveFont(const char16_t* path) override { fontAdded = false; }
    void KeepDisplayOn() override { ++displayKeeps; }
    bool ExecutablePath(char16_t* out, size_t capacity) override;
    bool CanonicalizePath(char16_t* out, size_t capacity, const char16_t* path) override;
    bool ThreadsAvailable() override { return !noThreads; }
    bool StartThread(void (*fn)(void*), void* arg) override;
    void JoinThread() override;

    std::vector<HeadlessMessageBox> messages;
    bool echoMessages = true;        // also print message boxes to stderr
    bool mutexHeld = false, otherInstanceRunning = false;
    bool screenSaverActive = true;
    bool fontAdded = false;
    int displayKeeps = 0;
    std::u16string executablePath = u"/tmp/kelvorine/kelvorine";
    std::thread thread;
    // Failure injection.
    bool failThread = false, failFont = false;
    bool noThreads = false;          // a host without threads (a browser page)
    int threadsStarted = 0;
};

// ------------------------------------------------------------------------------------------ bundle
// Owns one of each service; Install() makes it the process's platform.
class HeadlessPlatform {
public:
    HeadlessPlatform();
    ~HeadlessPlatform();
    void Install();

    void SetCalendarTime(int64_t t) { clock.calendar = t; }

    HeadlessClock clock;
    HeadlessInput input;
    HeadlessWindow window;
    std::unique_ptr<RecordRender> render;  // a FaultRender, replaceable by a rasterising device
    // The device's failure injection (nullptr once render is not a FaultRender).
    FaultRender* Faults() { return dynamic_cast<FaultRender*>(render.get()); }
    HeadlessAudio audio;
    HeadlessServices services;
};
