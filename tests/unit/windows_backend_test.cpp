// The Win32 backend against the real system calls (Windows build of the tests only; under Wine in
// CI): files, process services, the window and its message pump, the Direct3D 11 device and the
// XAudio2 binding.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/file.h"
#include "platform/win32/win32_platform.h"
#include "platform/common/text.h"

namespace {

std::u16string U16(const wchar_t* s) { return std::u16string(reinterpret_cast<const char16_t*>(s)); }

// A fresh folder under the system's temporary folder, with a trailing backslash.
std::u16string TempFolder() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    wchar_t name[MAX_PATH];
    GetTempFileNameW(base, L"kv", 0, name);
    DeleteFileW(name);
    CreateDirectoryW(name, nullptr);
    return U16(name) + u"\\";
}

std::string ReadAll(const std::u16string& path) {
    FILE* f = OpenFileU16(path.c_str(), "rb");
    if (f == nullptr) return "<missing>";
    std::string s;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
}

// Wine's mastering voice crashes without a sound device; the CI points ALSA at a null device.
bool AudioUsable() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    bool wine = ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    return !wine || std::getenv("ALSA_CONFIG_PATH") != nullptr;
}

// ------------------------------------------------------------------------------------------ files
TEST(WindowsFiles, AtomicWriteReplacesAndFailuresLeaveTheOldFile) {
    const std::u16string dir = TempFolder();
    const std::u16string ini = dir + u"Game.ini";
    ASSERT_TRUE(WriteFileAtomicU16(ini.c_str(), "first", 5));
    ASSERT_TRUE(WriteFileAtomicU16(ini.c_str(), "second!", 7));
    EXPECT_EQ(ReadAll(ini), "second!");
    EXPECT_FALSE(FileExistsU16((ini + u".tmp").c_str()));

    // A folder stands where the file should go: the move fails, nothing is left behind.
    const std::u16string blocked = dir + u"blocked";
    CreateDirectoryW(AsWide(blocked.c_str()), nullptr);
    EXPECT_FALSE(WriteFileAtomicU16(blocked.c_str(), "x", 1));
    EXPECT_FALSE(FileExistsU16((blocked + u".tmp").c_str()));
    // A folder that does not exist: false, and the old file elsewhere is untouched.
    EXPECT_FALSE(WriteFileAtomicU16((dir + u"none\\Game.ini").c_str(), "x", 1));
    EXPECT_EQ(ReadAll(ini), "second!");
}

TEST(WindowsFiles, OpenAndExistTakeOnlyRegularFiles) {
    const std::u16string dir = TempFolder();
    const std::u16string file = dir + u"grp\\grp_0003.txt";
    CreateDirectoryW(AsWide((dir + u"grp").c_str()), nullptr);
    ASSERT_TRUE(WriteFileAtomicU16(file.c_str(), "\xff\xfe", 2));
    EXPECT_TRUE(FileExistsU16(file.c_str()));
    EXPECT_EQ(ReadAll(file), "\xff\xfe");
    EXPECT_FALSE(FileExistsU16((dir + u"grp").c_str()));
    EXPECT_EQ(OpenFileU16((dir + u"grp").c_str(), "rb"), nullptr);
    EXPECT_EQ(OpenFileU16((dir + u"missing.png").c_str(), "rb"), nullptr);
    EXPECT_EQ(OpenFileU16(u"", "rb"), nullptr);
    EXPECT_EQ(OpenFileU16(file.c_str(), "rb, a mode far too long"), nullptr);
}

// The zip's first start: the template becomes "Game.ini" once, and a player's file always wins.
TEST(WindowsFiles, FirstStartCopiesTheTemplateButNeverOverAPlayersFile) {
    const std::u16string dir = TempFolder();
    const std::u16string ini = dir + u"Game.ini";
    const wchar_t* folder = AsWide(dir.c_str());
    EXPECT_FALSE(SeedSettingsFromTemplate(folder));  // no template: the built-in defaults
    ASSERT_TRUE(WriteFileAtomicU16((dir + u"Game.default.ini").c_str(), "audible", 7));
    SetFileAttributesW(AsWide((dir + u"Game.default.ini").c_str()), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(SeedSettingsFromTemplate(folder));
    EXPECT_EQ(ReadAll(ini), "audible");
    EXPECT_EQ(GetFileAttributesW(AsWide(ini.c_str())) & FILE_ATTRIBUTE_READONLY, 0u);  // writable at the end

    ASSERT_TRUE(WriteFileAtomicU16(ini.c_str(), "ranking", 7));
    EXPECT_FALSE(SeedSettingsFromTemplate(folder));
    EXPECT_EQ(ReadAll(ini), "ranking");
    EXPECT_FALSE(FileExistsU16((dir + u"Game.ini.first").c_str()));
}

// ------------------------------------------------------------------------------------------ services
TEST(WindowsServices, PathsOfTheProgram) {
    PlatServices* s = Win32Services();
    char16_t path[kPathChars];
    ASSERT_TRUE(s->ExecutablePath(path, kPathChars));
    const std::u16string exe(path);
    EXPECT_NE(exe.find(u"kelvorine_tests.exe"), std::u16string::npos);
    EXPECT_NE(exe.find(u'\\'), std::u16string::npos);
    // Cut to fit is a failure, never a shorter name.
    char16_t tiny[8];
    EXPECT_FALSE(s->ExecutablePath(tiny, 8));
    EXPECT_EQ(tiny[0], 0);

    ASSERT_TRUE(s->CanonicalizePath(path, kPathChars, u"C:\\game\\bin\\..\\.\\data\\"));
    EXPECT_EQ(std::u16string(path), u"C:\\game\\data\\");
    EXPECT_FALSE(s->CanonicalizePath(tiny, 8, u"C:\\game\\data\\"));
    EXPECT_EQ(tiny[0], 0);

    // A program folder deeper than MAX_PATH is still made canonical.
    std::u16string deep = u"C:\\";
    while (deep.size() < 300) deep += u"folder\\";
    const std::u16string expected = deep + u"data\\";
    deep += u"x\\..\\data\\";
    ASSERT_TRUE(s->CanonicalizePath(path, kPathChars, deep.c_str()));
    EXPECT_EQ(std::u16string(path), expected);
}

TEST(WindowsServices, ThreadRunsAndIsJoined) {
    PlatServices* s = Win32Services();
    static volatile LONG ran = 0;
    ran = 0;
    ASSERT_TRUE(s->StartThread([](void* arg) {
        Sleep(30);
        InterlockedExchange(static_cast<volatile LONG*>(arg), 7);
    }, const_cast<LONG*>(&ran)));
    s->JoinThread();
    EXPECT_EQ(ran, 7);
    s->JoinThread();  // nothing left to wait for
}

TEST(WindowsServices, SecondInstanceSeesTheMutex) {
    PlatServices* s = Win32Services();
    bool existed = true;
    ASSERT_TRUE(s->AcquireInstanceMutex(&existed));
    EXPECT_FALSE(existed);
    HANDLE other = CreateMutexW(nullptr, TRUE, L"Kelvorine");
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(other);
    s->ReleaseInstanceMutex();
    other = CreateMutexW(nullptr, TRUE, L"Kelvorine");
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(other);
}

// ------------------------------------------------------------------------------------------ window
class RecordingEvents final : public PlatWindowEvents {
public:
    void OnActivate(bool a) override { activations += a ? "1" : "0"; }
    void OnCommand(int c) override { commands += std::to_string(c) + " "; }
    void OnClose() override { ++closes; }
    void OnSizing(int edge, PlatRect* r) override {
        sizingEdge = edge;
        r->bottom = r->top + 400;
    }
    std::string activations, commands;
    int closes = 0;
    int sizingEdge = 0;
};

class WindowsWindow : public ::testing::Test {
protected:
    void SetUp() override {
        window = Win32Window(GetModuleHandleW(nullptr), SW_SHOWNORMAL);
        ASSERT_TRUE(window->RegisterClass());
        if (!window->Create()) {
            window->UnregisterClass();
            GTEST_SKIP() << "no window (no display)";
        }
        window->Show();
        Drain();
    }
    void TearDown() override {
        if (window->Exists()) {
            window->Destroy();
            int code = -1;
            for (int i = 0; i < 1000 && window->PumpOne(&events, &code) != PlatPump::Quit; ++i) {
            }
        }
        window->UnregisterClass();
    }
    void Drain() {
        int code = 0;
        for (int i = 0; i < 1000 && window->PumpOne(&events, &code) == PlatPump::Handled; ++i) {
        }
    }
    PlatWindow* window = nullptr;
    RecordingEvents events;
};

TEST_F(WindowsWindow, AcceleratorsAndMessagesReachTheShell) {
    HWND h = Win32GameWindow();
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(window->FindOtherInstanceWindow());
    events = RecordingEvents();

    PostMessageW(h, WM_KEYDOWN, VK_ESCAPE, 1);
    PostMessageW(h, WM_CLOSE, 0, 0);
    PostMessageW(h, WM_ACTIVATE, WA_INACTIVE, 0);
    PostMessageW(h, WM_ACTIVATE, WA_ACTIVE, 0);
    Drain();
    EXPECT_EQ(events.commands, "40 ");
    EXPECT_EQ(events.closes, 1);
    EXPECT_NE(events.activations.find("01"), std::string::npos);

    // The sizing rectangle goes to the shell and its answer back to the system.
    RECT r = {10, 20, 500, 300};
    SendMessageW(h, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&r));
    EXPECT_EQ(events.sizingEdge, WMSZ_BOTTOMRIGHT);
    EXPECT_EQ(r.bottom, 420);
    EXPECT_EQ(r.right, 500);
}

TEST_F(WindowsWindow, BorderlessAndBackRestoresThePlacement) {
    PlatRect before, monitor, full, after;
    ASSERT_TRUE(window->GetWindowRect(&before));
    ASSERT_TRUE(window->SavePlacement());
    ASSERT_TRUE(window->PrimaryMonitorRect(&monitor));
    EXPECT_GT(monitor.right - monitor.left, 0);
    window->SetBorderless(monitor);
    Drain();
    ASSERT_TRUE(window->GetWindowRect(&full));
    EXPECT_EQ(full.left, monitor.left);
    EXPECT_EQ(full.right, monitor.right);
    EXPECT_EQ(full.bottom, monitor.bottom);
    EXPECT_EQ(GetWindowLongPtrW(Win32GameWindow(), GWL_STYLE) & WS_CAPTION, 0);
    window->RestoreFramed();
    Drain();
    ASSERT_TRUE(window->GetWindowRect(&after));
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
}

TEST_F(WindowsWindow, DestroyEndsThePumpWithCodeZero) {
    uint32_t thread = 0, process = 0;
    window->ThreadProcessIds(&thread, &process);
    EXPECT_EQ(thread, GetCurrentThreadId());
    EXPECT_EQ(process, GetCurrentProcessId());
    window->Destroy();
    EXPECT_FALSE(window->Exists());
    int code = -1;
    PlatPump r = PlatPump::Handled;
    for (int i = 0; i < 1000 && (r = window->PumpOne(&events, &code)) != PlatPump::Quit; ++i) {
    }
    EXPECT_EQ(r, PlatPump::Quit);
    EXPECT_EQ(code, 0);
}

// ------------------------------------------------------------------------------------------ device
// The compiled shaders sit in the build folder, one level above the test program.
std::u16string BuildFolder() {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::u16string p = U16(exe);
    p.resize(p.rfind(u'\\'));
    p.resize(p.rfind(u'\\') + 1);
    return p;
}

TEST_F(WindowsWindow, DeviceNeedsItsShadersAndRebuilds) {
    const std::u16string build = BuildFolder();
    const std::u16string dir = TempFolder();
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(AsWide(dir.c_str())));
    PlatRender* r = Win32Render();

    EXPECT_EQ(r->Create(), -1);  // no SampleVS.cso in the current folder
    r->Release();
    r->ClearHandles();

    for (const char16_t* name : {u"SampleVS.cso", u"SamplePS.cso"}) {
        CopyFileW(AsWide((build + name).c_str()), AsWide((dir + name).c_str()), FALSE);
    }
    ASSERT_EQ(r->Create(), 1);
    static uint16_t pixels16[512 * 512];
    static uint32_t pixels32[512 * 512];
    for (auto& p : pixels16) p = 0x845F;
    for (auto& p : pixels32) p = 0xFF0080FF;
    EXPECT_TRUE(r->CreateTexture(0, PlatTextureFormat::B5G5R5A1, pixels16));
    EXPECT_TRUE(r->CreateTexture(5, PlatTextureFormat::R8G8B8A8, pixels32));
    EXPECT_FALSE(r->CreateTexture(-1, PlatTextureFormat::R8G8B8A8, pixels32));

    // One frame: a textured sprite, the fade overlay's unloaded id, a blend factor of kind 1.
    static Vertex quad[8] = {};
    const float kFactor[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    r->UploadVertices(quad, 8);
    r->Clear();
    r->BindShaders();
    r->SetBlend(0, kFactor);
    r->BindTexture(0);
    r->Draw4(0);
    r->SetBlend(1, kFactor);
    r->BindTexture(120);
    r->Draw4(4);
    r->SetBlend(9, kFactor);  // never created: ignored
    EXPECT_EQ(r->Present(0), 0);
    EXPECT_EQ(r->RemovedReason(), 0);

    // The rebuild sequence: release, forget, create again.
    r->Release();
    r->ClearHandles();
    EXPECT_EQ(r->Create(), 1);
    EXPECT_EQ(r->Present(0), 0);
    r->Release();
    r->ClearHandles();
    SetCurrentDirectoryW(previous);
}

// ------------------------------------------------------------------------------------------ audio
TEST(WindowsAudio, VoicesQueueStopAndFlush) {
    if (!AudioUsable()) GTEST_SKIP() << "Wine without a configured sound device";
    PlatAudio* a = Win32Audio();
    if (!a->CreateEngine()) GTEST_SKIP() << "no xaudio2_9.dll";
    ASSERT_TRUE(a->CreateMasteringVoice());
    const WaveFormat f{1, 2, 44100, 176400, 4, 16, 0};
    PlatVoice* v = a->CreateSourceVoice(f);
    ASSERT_NE(v, nullptr);
    static uint8_t silence[176400];
    AudioBuffer b{};
    b.audioBytes = sizeof silence;
    b.audioData = silence;
    b.playLength = sizeof silence / 4;
    ASSERT_TRUE(v->Submit(b));
    ASSERT_TRUE(v->Submit(b));
    EXPECT_EQ(v->BuffersQueued(), 2u);
    v->SetVolume(0.05f);
    v->Start();
    v->Stop();
    v->Flush();
    for (int i = 0; i < 100 && v->BuffersQueued() != 0; ++i) Sleep(10);
    EXPECT_EQ(v->BuffersQueued(), 0u);
    v->Destroy();
    // The slot is free again.
    PlatVoice* again = a->CreateSourceVoice(f);
    EXPECT_EQ(again, v);
    again->Destroy();
    a->DestroyMasteringVoice();
    a->ReleaseEngine();
}

}  // namespace

#endif  // _WIN32
