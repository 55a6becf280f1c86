#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "platform/headless/headless.h"
#include "platform/common/text.h"

// ------------------------------------------------------------------------------------------ clock
uint32_t HeadlessClock::Milliseconds() {
    micros += microsPerRead;
    return static_cast<uint32_t>(micros / 1000);
}

uint64_t HeadlessClock::Counter() {
    micros += microsPerRead;
    return micros;
}

uint64_t HeadlessClock::CounterFrequency() { return 1000000; }

void HeadlessClock::Sleep(uint32_t ms) {
    if (ms == 0) {
        ++yields;
        return;
    }
    ++sleeps;
    micros += static_cast<uint64_t>(ms) * 1000;
}

bool HeadlessClock::SleepUntilMs(uint32_t deadline) {
    if (!sleepsUntil) return false;
    ++untilSleeps;
    const uint64_t now = micros;
    const int32_t ahead = static_cast<int32_t>(deadline - static_cast<uint32_t>(now / 1000));
    if (ahead > 0) micros = now - now % 1000 + static_cast<uint64_t>(ahead) * 1000;
    return true;
}

void HeadlessClock::LocalTime(int64_t t, std::tm* out) {
    std::time_t tt = static_cast<std::time_t>(t);
    std::memset(out, 0, sizeof *out);
    localtime_r(&tt, out);
}

uint32_t HeadlessWallClock::Milliseconds() {
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

uint64_t HeadlessWallClock::Counter() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void HeadlessWallClock::Sleep(uint32_t ms) {
    if (ms == 0) {
        std::this_thread::yield();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void HeadlessWallClock::LocalTime(int64_t, std::tm* out) { std::memset(out, 0, sizeof *out); }

// ------------------------------------------------------------------------------------------ input
uint8_t HeadlessInput::AsyncKeyState(int vk) {
    if (vk < 0 || vk > 255) return 0;
    uint8_t r = (keyDown[vk] || keyLatch[vk]) ? 0x80 : 0;
    keyLatch[vk] = false;
    return r;
}

uint32_t HeadlessInput::PadState(int index, PlatPadState* out) {
    ++padReads;
    if (index != 0 || !padConnected) return kPadNotConnected;
    *out = pad;
    return 0;
}

void HeadlessInput::SetKey(int vk, bool down) {
    if (vk < 0 || vk > 255) return;
    keyDown[vk] = down;
}

void HeadlessInput::TapKey(int vk) {
    if (vk < 0 || vk > 255) return;
    keyLatch[vk] = true;
}

// ------------------------------------------------------------------------------------------ window
bool HeadlessWindow::RegisterClass() { return !failRegister; }

bool HeadlessWindow::Create() {
    if (failCreate) return false;
    exists = true;
    return true;
}

bool HeadlessWindow::GetWindowRect(PlatRect* out) {
    if (failWindowRect) return false;
    *out = rect;
    return true;
}

void HeadlessWindow::GetClientSize(int32_t* w, int32_t* h) {
    *w = clientW;
    *h = clientH;
}

void HeadlessWindow::FrameMetrics(int32_t* cxFrame, int32_t* cyFrame, int32_t* cyCaption) {
    *cxFrame = 4;
    *cyFrame = 4;
    *cyCaption = 23;
}

PlatPump HeadlessWindow::PumpOne(PlatWindowEvents* events, int* exitCode) {
    if (queue.empty()) return PlatPump::NoMessage;
    HeadlessMessage m = queue.front();
    queue.pop_front();
    switch (m.kind) {
        case HeadlessMsg::Quit:
            *exitCode = m.value;
            return PlatPump::Quit;
        case HeadlessMsg::Activate:
            events->OnActivate(true);
            break;
        case HeadlessMsg::Deactivate:
            events->OnActivate(false);
            break;
        case HeadlessMsg::Command:
            events->OnCommand(m.value);
            break;
        case HeadlessMsg::Close:
            events->OnClose();
            break;
        case HeadlessMsg::Sizing:
            events->OnSizing(m.value, &m.rect);
            rect = m.rect;
            break;
        case HeadlessMsg::Other:
            break;
    }
    return PlatPump::Handled;
}

void HeadlessWindow::PostClose() { queue.push_back({HeadlessMsg::Close, 0, {}}); }

void HeadlessWindow::Destroy() {
    if (!exists) return;
    exists = false;
    ++destroyed;
    queue.push_back({HeadlessMsg::Quit, 0, {}});
}

bool HeadlessWindow::SavePlacement() { return !failPlacement; }

bool HeadlessWindow::PrimaryMonitorRect(PlatRect* out) {
    if (failMonitor) return false;
    *out = monitor;
    return true;
}

void HeadlessWindow::SetBorderless(const PlatRect& m) {
    borderless = true;
    clientW = m.right - m.left;
    clientH = m.bottom - m.top;
}

void HeadlessWindow::RestoreFramed() {
    borderless = false;
    clientW = kScreenWidth;
    clientH = kScreenHeight;
}

void HeadlessWindow::ThreadProcessIds(uint32_t* thread, uint32_t* process) {
    *thread = threadId;
    *process = processId;
}

// ------------------------------------------------------------------------------------------ process
bool HeadlessServices::AcquireInstanceMutex(bool* alreadyExisted) {
    *alreadyExisted = otherInstanceRunning;
    mutexHeld = true;
    return true;
}

void HeadlessServices::MessageBox(const char16_t* text, const char16_t* caption) {
    messages.push_back({text, caption});
    if (echoMessages) {
        char t[2048];
        char c[256];
        if (U16ToUtf8(text, t, sizeof t) && U16ToUtf8(caption, c, sizeof c)) {
            std::fprintf(stderr, "[%s] %s\n", c, t);
        }
    }
}

bool HeadlessServices::AddFont(const char16_t* path) {
    if (failFont) return false;
    fontAdded = true;
    return true;
}

bool HeadlessServices::ExecutablePath(char16_t* out, size_t capacity) {
    return U16Copy(out, capacity, executablePath.c_str());
}

bool HeadlessServices::CanonicalizePath(char16_t* out, size_t capacity, const char16_t* path) {
    return U16Copy(out, capacity, path);
}

bool HeadlessServices::StartThread(void (*fn)(void*), void* arg) {
    if (failThread || noThreads) return false;
    ++threadsStarted;
    thread = std::thread(fn, arg);
    return true;
}

void HeadlessServices::JoinThread() {
    if (thread.joinable()) thread.join();
}

// ------------------------------------------------------------------------------------------ bundle
HeadlessPlatform::HeadlessPlatform() : render(new FaultRender()) {}

HeadlessPlatform::~HeadlessPlatform() {
    services.JoinThread();
    Platform& p = Plat();
    if (p.clock == &clock) SetPlatform(Platform{});
}

void HeadlessPlatform::Install() {
    Platform p;
    p.clock = &clock;
    p.input = &input;
    p.window = &window;
    p.render = render.get();
    p.audio = &audio;
    p.services = &services;
    SetPlatform(p);
}
