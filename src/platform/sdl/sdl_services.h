// Process services of the SDL backend: the instance guard, message boxes, screen saver, the
// program's own path and the music thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>

#include "platform/platform.h"

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
    // An advisory lock (flock) on the folder itself, held open for the run; the kernel drops it
    // when the process ends, however it ends. Nothing is written into the folder.
    bool LockFilesFolder(const char16_t* folder, bool* heldElsewhere) override;
    void UnlockFilesFolder() override;
    // The locked folder's present path, as the kernel knows it from the open descriptor.
    bool FilesFolderNow(char16_t* out, size_t capacity) override;
    bool CanonicalizePath(char16_t* out, size_t capacity, const char16_t* path) override;
    bool StartThread(void (*fn)(void*), void* arg) override;
    void JoinThread() override;

    int instanceSocket = -1;
    int folderLock = -1;  // descriptor of the locked files folder
    std::thread thread;
    char16_t folderProblem[1024] = {};
};

// Name of the abstract socket behind the instance guard (suffix "" for the guard itself, ".window"
// for the window mark), scoped to the display so that copies on other displays do not meet (the
// lock on the files folder keeps those from writing the same files).
int SdlBindAbstract(const char* suffix, bool* inUse);

// Where a shader file is: the current folder, else beside the program, else the installed shared
// folder. False when none holds it.
bool SdlFindShader(const char* name, char* out, size_t capacity);
