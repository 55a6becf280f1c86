// The platform layer: the only way the game core reaches the operating system.
//
// Each service is a small abstract class; a backend (sdl/, win32/, headless/) implements all of
// them and installs one Platform record at program start with SetPlatform(). The core reads the
// record through Plat(). Backends report what failed (return values); the shell decides what the
// player sees. No game text is produced inside a backend except the message box it is asked to show.
//
// Time: the frame counter is game time. The millisecond clock and the performance counter are for
// frame pacing and music streaming only; the calendar clock is for the piece generator seed and
// the ranking dates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>

struct PlatRect {
    int32_t left, top, right, bottom;
};

// ------------------------------------------------------------------------------------------ clock
class PlatClock {
public:
    virtual ~PlatClock() = default;
    // 32-bit millisecond clock; wraps after 2^32 ms. Callers keep all arithmetic unsigned 32-bit.
    virtual uint32_t Milliseconds() = 0;
    // High-resolution monotonic counter and its ticks per second.
    virtual uint64_t Counter() = 0;
    virtual uint64_t CounterFrequency() = 0;
    // Sleep(0) yields the rest of the time slice; Sleep(n) sleeps about n milliseconds.
    virtual void Sleep(uint32_t ms) = 0;
    // One sleep that ends when the millisecond clock reads `deadline` (wrapping 32-bit time, less
    // than 2^31 ms ahead); returns at once when it already does. A clock that cannot wait for a
    // point in time returns false without sleeping, and callers wait in steps instead.
    virtual bool SleepUntilMs(uint32_t deadline) {
        (void)deadline;
        return false;
    }
    // Smallest timer period the system supports (ms), and its begin/end pair (process-wide).
    virtual uint32_t MinTimerPeriod() = 0;
    virtual void TimerPeriodBegin(uint32_t ms) = 0;
    virtual void TimerPeriodEnd(uint32_t ms) = 0;
    // Calendar time in whole seconds since 1970, and its local broken-down time.
    virtual int64_t CalendarTime() = 0;
    virtual void LocalTime(int64_t t, std::tm* out) = 0;
};

// ------------------------------------------------------------------------------------------ input
// Pad record with the XInput layout: packet number, then the gamepad block (button word first).
struct PlatPadState {
    uint32_t packetNumber;
    uint16_t buttons;       // XInput bits: D-pad up 0x1, down 0x2, left 0x4, right 0x8, A 0x1000 ...
    uint8_t leftTrigger, rightTrigger;
    int16_t thumbLX, thumbLY, thumbRX, thumbRY;
};
static_assert(sizeof(PlatPadState) == 16, "XINPUT_STATE is 16 bytes");

constexpr uint32_t kPadNotConnected = 1167;  // ERROR_DEVICE_NOT_CONNECTED

class PlatInput {
public:
    virtual ~PlatInput() = default;
    // State of Windows virtual key vk (0..255): nonzero when the key is down now or was pressed
    // since the previous query of the same key (the "pressed since the last query" latch).
    virtual uint8_t AsyncKeyState(int vk) = 0;
    // Reads pad `pad` (0..3). Returns 0 on success or kPadNotConnected.
    virtual uint32_t PadState(int pad, PlatPadState* out) = 0;
};

// ------------------------------------------------------------------------------------------ window
// The client area of a new window, which is also the picture every render device presents.
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 720;

// The two accelerator commands every backend sends for its keys.
constexpr int kWindowCommandClose = 40;    // Esc
constexpr int kWindowCommandToggle = 50;   // Alt+Enter: framed window <-> borderless full screen

// Callbacks of the shell's window procedure; the backend turns its own events into these calls.
class PlatWindowEvents {
public:
    virtual ~PlatWindowEvents() = default;
    virtual void OnActivate(bool active) = 0;       // WM_ACTIVATE / WM_ACTIVATEAPP
    virtual void OnCommand(int command) = 0;        // kWindowCommandClose or kWindowCommandToggle
    virtual void OnClose() = 0;                     // WM_CLOSE (window close button, Esc's command)
    // WM_SIZING: edge is the WMSZ_* value (1 left, 2 right, 3 top, 4 top-left, 5 top-right,
    // 6 bottom, 7 bottom-left, 8 bottom-right); rect is the proposed window rectangle, in/out.
    virtual void OnSizing(int edge, PlatRect* rect) = 0;
};

enum class PlatPump { NoMessage, Handled, Quit };

class PlatWindow {
public:
    virtual ~PlatWindow() = default;
    virtual bool RegisterClass() = 0;
    virtual void UnregisterClass() = 0;
    // Creates the framed window "Kelvorine" with a 1280 x 720 client area (not yet shown).
    virtual bool Create() = 0;
    virtual bool Exists() = 0;
    virtual void Show() = 0;
    virtual bool GetWindowRect(PlatRect* out) = 0;
    virtual void GetClientSize(int32_t* w, int32_t* h) = 0;
    // Frame metrics used by the 16:9 sizing rule: SM_CXFRAME, SM_CYFRAME, SM_CYCAPTION.
    virtual void FrameMetrics(int32_t* cxFrame, int32_t* cyFrame, int32_t* cyCaption) = 0;
    // One step of the message queue: at most one message is handled. System-key-down for Alt and
    // F10 and left-button-down are dropped; accelerators become OnCommand. On Quit, *exitCode is
    // the quit message's code.
    virtual PlatPump PumpOne(PlatWindowEvents* events, int* exitCode) = 0;
    virtual void PostClose() = 0;        // post WM_CLOSE to the window
    virtual void ShowCursor() = 0;       // ShowCursor(TRUE)
    virtual void Minimize() = 0;
    virtual void Destroy() = 0;          // destroys the window; the quit message (code 0) follows
    // Full-screen toggle pieces.
    virtual bool SavePlacement() = 0;                 // framed placement, kept by the backend
    virtual bool PrimaryMonitorRect(PlatRect* out) = 0;
    virtual void SetBorderless(const PlatRect& monitor) = 0;
    virtual void RestoreFramed() = 0;                 // framed style + saved placement
    // Identifiers of the thread that created the window and of the process (piece seed).
    virtual void ThreadProcessIds(uint32_t* thread, uint32_t* process) = 0;
    // Another instance's window "Kelvorine" exists.
    virtual bool FindOtherInstanceWindow() = 0;
};

// ------------------------------------------------------------------------------------------ render
// Vertex of the sprite queue: clip-space position, colour 0..255/256, texture coordinate.
struct Vertex {
    float x, y, z;
    float r, g, b, a;
    float u, v;
};
static_assert(sizeof(Vertex) == 36, "the vertex format is 36 bytes");

enum class PlatTextureFormat { B5G5R5A1, R8G8B8A8 };

// The sprite queue every device draws from: at most kRenderQueueSlots sprites a frame, four
// vertices each, so UploadVertices' count is at most kRenderQueueVertices and Draw4's firstIndex
// below kRenderQueueSlots. Devices size their buffers from these.
constexpr uint32_t kRenderQueueSlots = 14970;
constexpr uint32_t kRenderQueueVertices = kRenderQueueSlots * 4;

// The failure codes of Present and RemovedReason (DXGI's values), which every device reports
// alike: the device was removed, hung, or reset. The game rebuilds its device on them.
constexpr int32_t kRenderDeviceRemoved = static_cast<int32_t>(0x887A0005u);
constexpr int32_t kRenderDeviceHung = static_cast<int32_t>(0x887A0006u);
constexpr int32_t kRenderDeviceReset = static_cast<int32_t>(0x887A0007u);

// Texture ids run from 0 to kTextureSlots - 1; every texture is kTextureSide x kTextureSide.
constexpr int kTextureSlots = 1024;
constexpr int kTextureSide = 512;

class PlatRender {
public:
    virtual ~PlatRender() = default;
    // Builds the device, swap chain (client size of the window) and pipeline, reading the shader
    // files. Returns 1, -1 when a shader file cannot be opened, or another negative device code.
    virtual int32_t Create() = 0;
    virtual void Release() = 0;      // releases everything, textures included
    virtual void ClearHandles() = 0; // forgets every handle without releasing
    // Upload the whole vertex array (count vertices) for this frame.
    virtual void UploadVertices(const Vertex* vertices, uint32_t count) = 0;
    virtual void Clear() = 0;                                   // clear to (0, 0, 0, 0)
    virtual void BindShaders() = 0;
    // Blend slot 0..5 with the blend factor (r, g, b, a).
    virtual void SetBlend(int slot, const float factor[4]) = 0;
    virtual void BindTexture(int32_t id) = 0;  // an id with no texture binds nothing (opaque black)
    virtual void Draw4(uint32_t firstIndex) = 0;               // triangle strip of indices 4i..4i+3
    virtual int32_t Present(int syncInterval) = 0;             // 0 or a DXGI-style failure code
    virtual int32_t RemovedReason() = 0;                        // 0 when healthy
    // A 512 x 512 texture from 512 x 512 pixels (2 or 4 bytes each, rows top first).
    virtual bool CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) = 0;
    virtual void ReleaseTexture(int32_t id) = 0;
    virtual void LeaveFullscreenState() = 0;                    // SetFullscreenState(FALSE)
};

// The declarations of a device that implements every member of PlatRender itself, kept in one
// list beside the interface: a member added above is then owed by every such device at once.
#define KELVORINE_PLAT_RENDER_OVERRIDES                                                         \
    int32_t Create() override;                                                                  \
    void Release() override;                                                                    \
    void ClearHandles() override;                                                               \
    void UploadVertices(const Vertex* vertices, uint32_t count) override;                       \
    void Clear() override;                                                                      \
    void BindShaders() override;                                                                \
    void SetBlend(int slot, const float factor[4]) override;                                    \
    void BindTexture(int32_t id) override;                                                      \
    void Draw4(uint32_t firstIndex) override;                                                   \
    int32_t Present(int syncInterval) override;                                                 \
    int32_t RemovedReason() override;                                                           \
    bool CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) override;      \
    void ReleaseTexture(int32_t id) override;                                                   \
    void LeaveFullscreenState() override;

// ------------------------------------------------------------------------------------------ audio
// WAVEFORMATEX, 18 bytes, packed as on disk.
#pragma pack(push, 1)
struct WaveFormat {
    uint16_t formatTag;
    uint16_t channels;
    uint32_t samplesPerSec;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint16_t bitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormat) == 18, "WAVEFORMATEX is 18 bytes");

constexpr uint32_t kAudioEndOfStream = 0x40;  // XAUDIO2_END_OF_STREAM

// XAUDIO2_BUFFER.
struct AudioBuffer {
    uint32_t flags;
    uint32_t audioBytes;
    const uint8_t* audioData;
    uint32_t playBegin;
    uint32_t playLength;
    uint32_t loopBegin;
    uint32_t loopLength;
    uint32_t loopCount;
    void* context;
};

// A source voice. Thread safety: every member may be called from the main thread and the music
// thread at once (the mixer runs on a third thread).
class PlatVoice {
public:
    virtual ~PlatVoice() = default;
    virtual bool Submit(const AudioBuffer& buffer) = 0;  // queue a buffer (the data is not copied)
    virtual void Start() = 0;
    virtual void Stop() = 0;                               // stops at once, keeps the queue
    virtual void Flush() = 0;                              // drops every queued buffer
    virtual uint32_t BuffersQueued() = 0;                  // includes the one playing
    virtual void SetVolume(float gain) = 0;                // linear gain
    virtual void Destroy() = 0;                            // the voice object is gone afterwards
};

// The declarations of a voice that implements every member of PlatVoice, in one list as for the
// render device above.
#define KELVORINE_PLAT_VOICE_OVERRIDES                                                          \
    bool Submit(const AudioBuffer& buffer) override;                                            \
    void Start() override;                                                                      \
    void Stop() override;                                                                       \
    void Flush() override;                                                                      \
    uint32_t BuffersQueued() override;                                                          \
    void SetVolume(float gain) override;                                                        \
    void Destroy() override;

class PlatAudio {
public:
    virtual ~PlatAudio() = default;
    // The engine (XAudio2Create, or the audio subsystem). False: the game runs silently.
    virtual bool CreateEngine() = 0;
    // The mastering voice (the output device). False: start-up ends with its message.
    virtual bool CreateMasteringVoice() = 0;
    virtual PlatVoice* CreateSourceVoice(const WaveFormat& format) = 0;  // null on failure
    virtual void DestroyMasteringVoice() = 0;
    virtual void ReleaseEngine() = 0;
};

// ------------------------------------------------------------------------------------------ process
class PlatServices {
public:
    virtual ~PlatServices() = default;
    // Named mutex "Kelvorine" with initial ownership: true when it already existed.
    virtual bool AcquireInstanceMutex(bool* alreadyExisted) = 0;
    virtual void ReleaseInstanceMutex() = 0;
    // Modal message box with no owner and an OK button. Also written to stderr by the shell.
    virtual void MessageBox(const char16_t* text, const char16_t* caption) = 0;
    virtual void SetScreenSaverActive(bool active) = 0;
    virtual bool AddFont(const char16_t* path) = 0;
    virtual void RemoveFont(const char16_t* path) = 0;
    virtual void KeepDisplayOn() = 0;     // display-required + a zero mouse move
    // Full path of the executable (UTF-16, with backslashes as folder separators on Windows). Its
    // folder is where "Game.ini", "dir.txt" and the save slots live: a backend whose installed game
    // keeps them in a per-user folder names the program inside that folder.
    virtual bool ExecutablePath(char16_t* out, size_t capacity) = 0;
    // Why ExecutablePath failed when the player's folder of an installed game could not be made or
    // filled: one line that names the folder and the reason. Empty otherwise.
    virtual const char16_t* FolderProblem() { return u""; }
    // Takes the guard of the folder whose files this copy writes (folder as from ExecutablePath,
    // with its trailing separator), held until UnlockFilesFolder or the end of the process. False
    // when it is not held; *heldElsewhere is then true when another running copy holds it. A
    // backend whose instance guard already covers every road to the folder holds nothing.
    virtual bool LockFilesFolder(const char16_t* folder, bool* heldElsewhere) {
        (void)folder;
        *heldElsewhere = false;
        return false;
    }
    virtual void UnlockFilesFolder() {}
    // Where the locked files folder is now, with its trailing separator: the player may have
    // renamed or moved it while the game ran. False (out unchanged) when the backend cannot tell or
    // the folder is gone.
    virtual bool FilesFolderNow(char16_t* out, size_t capacity) {
        (void)out;
        (void)capacity;
        return false;
    }
    // PathCanonicalizeW; false when the result does not fit.
    virtual bool CanonicalizePath(char16_t* out, size_t capacity, const char16_t* path) = 0;
    // False on a host that runs everything on one thread (a browser page without cross-origin
    // isolation): the caller then does a thread's periodic work from the main loop instead.
    virtual bool ThreadsAvailable() { return true; }
    // Start a thread running fn(arg). False when it cannot start.
    virtual bool StartThread(void (*fn)(void*), void* arg) = 0;
    virtual void JoinThread() = 0;        // waits for the thread started last, without a limit
};

struct Platform {
    PlatClock* clock = nullptr;
    PlatInput* input = nullptr;
    PlatWindow* window = nullptr;
    PlatRender* render = nullptr;
    PlatAudio* audio = nullptr;
    PlatServices* services = nullptr;
};

// The installed platform. Every pointer is non-null once a backend is installed.
Platform& Plat();
void SetPlatform(const Platform& platform);
