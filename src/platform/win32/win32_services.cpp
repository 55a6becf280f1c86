// Process services of the Win32 backend: the single-instance mutex, message boxes, the screen
// saver switch, font registration, the display-required request, the executable's path and its
// canonical form, and the music thread (_beginthreadex).
#include <process.h>
#include <shlwapi.h>

#include <cwchar>

#include "platform/win32/win32_platform.h"
#include "platform/common/text.h"
#include "platform/file.h"

namespace {

constexpr wchar_t kMutexName[] = L"Kelvorine";

struct ThreadStart {
    void (*fn)(void*);
    void* arg;
};

unsigned __stdcall ThreadMain(void* p) {
    ThreadStart start = *static_cast<ThreadStart*>(p);
    start.fn(start.arg);
    _endthreadex(0);
    return 0;
}

class Services final : public PlatServices {
public:
    bool AcquireInstanceMutex(bool* alreadyExisted) override {
        mutex_ = CreateMutexW(nullptr, TRUE, kMutexName);
        *alreadyExisted = mutex_ != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
        return mutex_ != nullptr;
    }

    void ReleaseInstanceMutex() override {
        if (mutex_ == nullptr) return;
        ReleaseMutex(mutex_);  // fails harmlessly when another instance owns it
        CloseHandle(mutex_);
        mutex_ = nullptr;
    }

    // The mutex is per session and lets a second copy through before the first has its window: a
    // file in the folder, opened without sharing for the whole run and gone when it closes (also
    // when the process dies), keeps two copies from ever writing the same files.
    bool LockFilesFolder(const char16_t* folder, bool* heldElsewhere) override {
        *heldElsewhere = false;
        UnlockFilesFolder();
        char16_t path[kPathChars];
        if (!U16Copy(path, kPathChars, folder) || !U16Cat(path, kPathChars, u"Kelvorine.lock")) return false;
        folderLock_ = CreateFileW(AsWide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (folderLock_ != INVALID_HANDLE_VALUE) return true;
        *heldElsewhere = GetLastError() == ERROR_SHARING_VIOLATION;
        folderLock_ = nullptr;
        return false;
    }

    void UnlockFilesFolder() override {
        if (folderLock_ != nullptr) CloseHandle(folderLock_);
        folderLock_ = nullptr;
    }

    void MessageBox(const char16_t* text, const char16_t* caption) override {
        MessageBoxW(nullptr, AsWide(text), AsWide(caption), MB_OK);
    }

    void SetScreenSaverActive(bool active) override {
        SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, active ? TRUE : FALSE, nullptr, SPIF_SENDCHANGE);
    }

    // Private to the process: the registration ends with it, even if it ends abnormally.
    bool AddFont(const char16_t* path) override { return AddFontResourceExW(AsWide(path), FR_PRIVATE, nullptr) > 0; }

    void RemoveFont(const char16_t* path) override { RemoveFontResourceExW(AsWide(path), FR_PRIVATE, nullptr); }

    void KeepDisplayOn() override {
        SetThreadExecutionState(ES_DISPLAY_REQUIRED);
        INPUT move = {};
        move.type = INPUT_MOUSE;
        move.mi.dwFlags = MOUSEEVENTF_MOVE;  // relative, zero distance
        SendInput(1, &move, sizeof move);
    }

    bool ExecutablePath(char16_t* out, size_t capacity) override {
        if (capacity == 0) return false;
        DWORD n = GetModuleFileNameW(nullptr, AsWide(out), static_cast<DWORD>(capacity));
        if (n == 0 || n >= capacity) {  // failed, or cut to fit
            out[0] = 0;
            return false;
        }
        return true;
    }

    bool CanonicalizePath(char16_t* out, size_t capacity, const char16_t* path) override {
        if (capacity == 0) return false;
        out[0] = 0;
        wchar_t result[kPathChars];
        // PathCanonicalizeW works on MAX_PATH buffers; a longer path (a deeply nested program
        // folder) is made canonical by GetFullPathNameW instead of failing the start.
        if (U16Len(path) < MAX_PATH) {
            if (!PathCanonicalizeW(result, AsWide(path))) return false;
        } else {
            DWORD n = GetFullPathNameW(AsWide(path), kPathChars, result, nullptr);
            if (n == 0 || n >= kPathChars) return false;
        }
        return U16Copy(out, capacity, reinterpret_cast<const char16_t*>(result));
    }

    bool StartThread(void (*fn)(void*), void* arg) override {
        start_ = ThreadStart{fn, arg};
        unsigned id = 0;
        uintptr_t h = _beginthreadex(nullptr, 0, ThreadMain, &start_, 0, &id);
        if (h == 0) return false;
        thread_ = reinterpret_cast<HANDLE>(h);
        return true;
    }

    void JoinThread() override {
        if (thread_ == nullptr) return;
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
        thread_ = nullptr;
    }

private:
    HANDLE mutex_ = nullptr;
    HANDLE folderLock_ = nullptr;
    HANDLE thread_ = nullptr;
    ThreadStart start_ = {};
};

Services gServices;

// Joins folder and name into out; false when it does not fit.
bool JoinWide(wchar_t* out, size_t capacity, const wchar_t* folder, const wchar_t* name) {
    const size_t a = wcslen(folder);
    const size_t b = wcslen(name);
    if (a + b + 1 > capacity) return false;
    wmemcpy(out, folder, a);
    wmemcpy(out + a, name, b + 1);
    return true;
}

}  // namespace

PlatServices* Win32Services() { return &gServices; }

bool SeedSettingsFromTemplate(const wchar_t* folder) {
    wchar_t live[kPathChars];
    wchar_t source[kPathChars];
    wchar_t part[kPathChars];
    if (!JoinWide(live, kPathChars, folder, L"" KELVORINE_SETTINGS_FILE) ||
        !JoinWide(source, kPathChars, folder, L"Game.default.ini") ||
        !JoinWide(part, kPathChars, folder, L"" KELVORINE_SETTINGS_FILE ".first")) {
        return false;
    }
    if (GetFileAttributesW(live) != INVALID_FILE_ATTRIBUTES) return false;
    if (GetFileAttributesW(source) == INVALID_FILE_ATTRIBUTES) return false;
    // Copied under a name of its own, then moved without MOVEFILE_REPLACE_EXISTING: the move fails
    // rather than replace a "Game.ini" that appeared in between, and a crash mid-copy leaves no
    // half "Game.ini".
    if (!CopyFileW(source, part, FALSE)) return false;
    SetFileAttributesW(part, FILE_ATTRIBUTE_NORMAL);  // the game writes it back at the end
    if (!MoveFileExW(part, live, MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(part);
        return false;
    }
    return true;
}

bool Win32ProgramFolder(wchar_t* out, size_t capacity) {
    if (capacity == 0) return false;
    const DWORD n = GetModuleFileNameW(nullptr, out, static_cast<DWORD>(capacity));
    if (n == 0 || n >= capacity) {
        out[0] = 0;
        return false;
    }
    wchar_t* slash = wcsrchr(out, L'\\');
    if (slash == nullptr) {
        out[0] = 0;
        return false;
    }
    slash[1] = 0;
    return true;
}
