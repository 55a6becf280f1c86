// Process services of the SDL backend: the instance guard, message boxes, the screen saver, the
// executable's path and the music thread.
#include <SDL.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/common/game_folder.h"
#include "platform/common/text.h"
#include "platform/file.h"
#include "platform/sdl/sdl_services.h"

int SdlBindAbstract(const char* suffix, bool* inUse) {
    *inUse = false;
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr) display = std::getenv("WAYLAND_DISPLAY");
    if (display == nullptr) display = "";
    sockaddr_un addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    // Abstract name: a leading zero byte; the kernel drops it when the last holder exits.
    int n = std::snprintf(addr.sun_path + 1, sizeof addr.sun_path - 1, "Kelvorine%s@%s", suffix,
                          display);
    if (n < 0) return -1;
    if (n > static_cast<int>(sizeof addr.sun_path) - 2) n = static_cast<int>(sizeof addr.sun_path) - 2;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    socklen_t len = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0) {
        *inUse = errno == EADDRINUSE;
        close(fd);
        return -1;
    }
    return fd;
}

bool SdlServices::AcquireInstanceMutex(bool* alreadyExisted) {
    bool inUse = false;
    instanceSocket = SdlBindAbstract("", &inUse);
    *alreadyExisted = inUse;
    return instanceSocket >= 0;
}

void SdlServices::ReleaseInstanceMutex() {
    if (instanceSocket >= 0) close(instanceSocket);
    instanceSocket = -1;
}

bool SdlServices::LockFilesFolder(const char16_t* folder, bool* heldElsewhere) {
    *heldElsewhere = false;
    UnlockFilesFolder();
    char host[kHostPathBytes];
    if (!U16ToHostBytes(folder, host, sizeof host)) return false;
    const int fd = open(host, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;  // the reading that follows says what is wrong with the folder
    int result;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        *heldElsewhere = errno == EWOULDBLOCK;
        close(fd);
        return false;
    }
    folderLock = fd;
    return true;
}

void SdlServices::UnlockFilesFolder() {
    if (folderLock >= 0) close(folderLock);  // closing the last descriptor drops the lock
    folderLock = -1;
}

bool SdlServices::FilesFolderNow(char16_t* out, size_t capacity) {
    if (folderLock < 0) return false;
    char link[64];
    char host[kHostPathBytes];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", folderLock);
    const ssize_t n = readlink(link, host, sizeof host - 2);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof host - 2 || host[0] != '/') return false;
    host[n] = 0;
    // A folder that was removed reads "<path> (deleted)": there is nothing left to write into.
    static const char kDeleted[] = " (deleted)";
    const size_t suffix = sizeof kDeleted - 1;
    if (static_cast<size_t>(n) > suffix && std::strcmp(host + n - suffix, kDeleted) == 0) return false;
    if (host[n - 1] != '/') {
        host[n] = '/';
        host[n + 1] = 0;
    }
    char16_t wide[kPathChars];
    return HostBytesToU16(host, wide, kPathChars) && U16Copy(out, capacity, wide);
}

void SdlServices::MessageBox(const char16_t* text, const char16_t* caption) {
    char t[4 * kPathChars + 64];
    char c[128];
    if (!U16ToUtf8(text, t, sizeof t)) std::snprintf(t, sizeof t, "?");
    if (!U16ToUtf8(caption, c, sizeof c)) std::snprintf(c, sizeof c, "?");
    // Blocks until the player closes it. Without a display it fails; stderr already has the text.
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, c, t, nullptr);
}

void SdlServices::SetScreenSaverActive(bool active) {
    // SDL keeps the screen saver off while its video subsystem runs unless told otherwise; the
    // window applies the wish again once the video subsystem is up.
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, active ? "1" : "0");
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) return;
    if (active) {
        SDL_EnableScreenSaver();
    } else {
        SDL_DisableScreenSaver();
    }
}

bool SdlServices::AddFont(const char16_t* path) { return FileExistsU16(path); }

bool SdlServices::ExecutablePath(char16_t* out, size_t capacity) {
    static GameFolders folders;  // start-up only; kept off the stack
    char exe[kHostPathBytes];
    char named[kHostPathBytes + 16];
    folderProblem[0] = 0;
    if (!SelfExecutablePath(exe, sizeof exe)) return false;
    if (ResolveGameFolders(exe, CurrentGameFolderEnv(), &folders)) {
        if (!folders.installed) return HostBytesToU16(exe, out, capacity);
        std::snprintf(named, sizeof named, "%skelvorine", folders.files);
        if (HostBytesToU16(named, out, capacity)) return true;
        std::snprintf(folders.problem, sizeof folders.problem, "the folder %s has too long a name",
                      folders.files);
    }
    // Only the player's folder of an installed game has a story to tell.
    if (!folders.installed ||
        !Utf8ToU16(folders.problem, folderProblem, sizeof folderProblem / sizeof folderProblem[0])) {
        folderProblem[0] = 0;
    }
    return false;
}

bool SdlFindShader(const char* name, char* out, size_t capacity) {
    char exe[kHostPathBytes];
    return FindProgramFile(name, SelfExecutablePath(exe, sizeof exe) ? exe : nullptr, out, capacity);
}

bool SdlServices::CanonicalizePath(char16_t* out, size_t capacity, const char16_t* path) {
    // The executable's path from the kernel is already absolute and free of "." and "..".
    return U16Copy(out, capacity, path);
}

bool SdlServices::StartThread(void (*fn)(void*), void* arg) {
    if (thread.joinable()) return false;
    try {
        thread = std::thread(fn, arg);
    } catch (const std::system_error&) {
        return false;  // no thread resources: the caller reports it
    }
    return true;
}

void SdlServices::JoinThread() {
    if (thread.joinable()) thread.join();
}
