// Where the game keeps its files on Linux: the portable folder or the per-user folder of an
// installed game (see game_folder.h).
#include "platform/common/game_folder.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/common/text.h"

namespace {

constexpr const char kSharedSuffix[] = "share/games/kelvorine/";
constexpr const char kUserFolder[] = "kelvorine/";
// "dir.txt" is read back as at most this many UTF-16 units after its byte order mark.
constexpr size_t kDirTextUnits = kDataFolderFileUnits;

// out = a + b (+ c); false when it does not fit.
bool Join(char* out, size_t capacity, const char* a, const char* b, const char* c = "") {
    const int n = std::snprintf(out, capacity, "%s%s%s", a, b, c);
    if (n < 0 || static_cast<size_t>(n) >= capacity) {
        if (capacity > 0) out[0] = 0;
        return false;
    }
    return true;
}

bool IsFolder(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// Something (even a broken link or an unreadable file) is at path.
bool Present(const char* path) {
    struct stat st;
    return lstat(path, &st) == 0 || errno != ENOENT;
}

// The folder part of path, with its trailing '/'.
bool FolderOf(const char* path, char* out, size_t capacity) {
    const char* slash = std::strrchr(path, '/');
    if (slash == nullptr) return false;
    const size_t n = static_cast<size_t>(slash - path) + 1;
    if (n >= capacity) return false;
    std::memcpy(out, path, n);
    out[n] = 0;
    return true;
}

// The parent of a folder given with its trailing '/' ("/usr/games/" -> "/usr/"; "/" stays "/").
bool ParentOf(const char* folder, char* out, size_t capacity) {
    size_t n = std::strlen(folder);
    if (n == 0 || n >= capacity) return false;
    std::memcpy(out, folder, n + 1);
    if (n > 1 && out[n - 1] == '/') out[--n] = 0;
    char* slash = std::strrchr(out, '/');
    if (slash == nullptr) return false;
    slash[1] = 0;
    return true;
}

// Creates every missing folder of path (with its trailing '/'), private to the player. *made is
// the length of the shortest part that this call created (0: none), for RemoveMadeFolders.
bool MakeFolders(const char* path, size_t* made, GameFolders* out) {
    char part[kHostPathBytes];
    const size_t n = std::strlen(path);
    *made = 0;
    if (n >= sizeof part) return false;
    for (size_t i = 1; i <= n; ++i) {
        if (path[i] != '/' && path[i] != 0) continue;
        std::memcpy(part, path, i);
        part[i] = 0;
        if (mkdir(part, 0700) == 0) {
            if (*made == 0) *made = i;
            continue;
        }
        const int err = errno;  // the mkdir's own reason, before IsFolder asks again
        if (IsFolder(part)) continue;
        std::snprintf(out->problem, sizeof out->problem, "cannot create the folder %s (%s)", part,
                      std::strerror(err == EEXIST ? ENOTDIR : err));
        return false;
    }
    return true;
}

// Removes again the empty folders that MakeFolders created (deepest first), after a failed start
// that would otherwise leave an empty per-user folder behind.
void RemoveMadeFolders(const char* path, size_t made) {
    if (made == 0) return;
    char part[kHostPathBytes];
    size_t n = std::strlen(path);
    if (n >= sizeof part) return;
    std::memcpy(part, path, n + 1);
    while (n >= made) {
        part[n] = 0;
        if (n > 0 && part[n - 1] == '/') part[--n] = 0;
        if (rmdir(part) != 0) return;  // not empty (or not ours to remove): stop here
        char* slash = std::strrchr(part, '/');
        if (slash == nullptr) return;
        n = static_cast<size_t>(slash - part);
    }
}

// The folder that holds the per-user folder: $XDG_DATA_HOME, or <home>/.local/share.
bool UserDataHome(const GameFolderEnv& env, char* out, size_t capacity, GameFolders* folders) {
    if (env.xdgDataHome != nullptr && env.xdgDataHome[0] == '/') {
        return Join(out, capacity, env.xdgDataHome, "/");
    }
    const char* home = env.home;
    char buffer[4096];
    passwd entry;
    passwd* found = nullptr;
    if (home == nullptr || home[0] != '/') {
        home = nullptr;
        if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr && found->pw_dir[0] == '/') {
            home = found->pw_dir;
        }
    }
    if (home == nullptr) {
        std::snprintf(folders->problem, sizeof folders->problem,
                      "no home folder to keep the settings in (set HOME or XDG_DATA_HOME)");
        return false;
    }
    return Join(out, capacity, home, "/.local/share/");
}

// Tells out->problem why path was not written (errno of the failed write).
bool WriteFailed(const char* path, GameFolders* out) {
    const int err = errno;
    std::snprintf(out->problem, sizeof out->problem, "cannot write %s (%s)", path,
                  std::strerror(err != 0 ? err : EIO));
    return false;
}

// Path as UTF-16; false with out->problem when it does not fit.
bool WidePath(const char* path, char16_t* wide, GameFolders* out) {
    if (HostBytesToU16(path, wide, kPathChars)) return true;
    std::snprintf(out->problem, sizeof out->problem, "cannot write %s (the name is too long)", path);
    return false;
}

// Writes path atomically; false with out->problem naming the file and the reason.
bool WriteWhole(const char* path, const void* data, size_t size, GameFolders* out) {
    char16_t wide[kPathChars];
    if (!WidePath(path, wide, out)) return false;
    return WriteFileAtomicU16(wide, data, size) || WriteFailed(path, out);
}

// The shared data folder's name as "dir.txt" holds it (at most 80 units); false with the reason.
bool DataFolderName(GameFolders* out, char* data, char16_t* name) {
    if (!Join(data, kHostPathBytes, out->shared, "data/") || !HostBytesToU16(data, name, kDirTextUnits + 1)) {
        std::snprintf(out->problem, sizeof out->problem,
                      "the data folder %sdata/ has a name longer than %zu characters", out->shared,
                      kDirTextUnits);
        return false;
    }
    return true;
}

// "Game.ini" from the shared folder's template, unless the player already has one.
bool PlaceSettings(GameFolders* out) {
    char target[kHostPathBytes];
    char source[kHostPathBytes];
    if (!Join(target, sizeof target, out->files, kSettingsFileName) ||
        !Join(source, sizeof source, out->shared, kSettingsFileName)) {
        return false;
    }
    if (Present(target)) return true;
    unsigned char image[1024];
    size_t got = 0;
    FILE* f = IsFile(source) ? std::fopen(source, "rb") : nullptr;
    if (f != nullptr) {
        got = std::fread(image, 1, sizeof image, f);
        std::fclose(f);
    }
    if (got == 0 || got == sizeof image) {
        std::snprintf(out->problem, sizeof out->problem,
                      "the installed game lacks its settings template %s", source);
        return false;
    }
    return WriteWhole(target, image, got, out);
}

// "dir.txt" naming the shared data folder, unless the player already has one.
bool PlaceDataFolderFile(GameFolders* out) {
    char target[kHostPathBytes];
    char data[kHostPathBytes];
    if (!Join(target, sizeof target, out->files, kDataFolderFileName)) return false;
    if (Present(target)) return true;
    char16_t name[kDirTextUnits + 1];
    char16_t wide[kPathChars];
    if (!DataFolderName(out, data, name) || !WidePath(target, wide, out)) return false;
    return WriteDataFolderFileU16(wide, name) || WriteFailed(target, out);
}

}  // namespace

GameFolderEnv CurrentGameFolderEnv() { return {std::getenv("XDG_DATA_HOME"), std::getenv("HOME")}; }

bool ResolveGameFolders(const char* exePath, const GameFolderEnv& env, GameFolders* out) {
    std::memset(out, 0, sizeof *out);
    char path[kHostPathBytes];
    char parent[kHostPathBytes];
    if (exePath == nullptr || exePath[0] != '/' || !FolderOf(exePath, out->program, sizeof out->program)) {
        std::snprintf(out->problem, sizeof out->problem, "the program's own path is unknown");
        return false;
    }
    std::memcpy(out->files, out->program, sizeof out->files);
    if (ParentOf(out->program, parent, sizeof parent) &&
        Join(out->shared, sizeof out->shared, parent, kSharedSuffix) &&
        !(Join(path, sizeof path, out->shared, "data") && IsFolder(path))) {
        out->shared[0] = 0;
    }

    // A "dir.txt" beside the program makes its folder the folder of the files.
    if (!Join(path, sizeof path, out->program, kDataFolderFileName) || Present(path)) return true;
    if (out->shared[0] == 0) return true;  // not installed either: the start ends as it always has

    out->installed = true;
    char base[kHostPathBytes];
    if (!UserDataHome(env, base, sizeof base, out)) return false;
    if (!Join(out->files, sizeof out->files, base, kUserFolder)) {
        std::snprintf(out->problem, sizeof out->problem, "the folder %s%s has too long a name", base,
                      kUserFolder);
        return false;
    }
    // A data folder that "dir.txt" cannot name is refused before anything is made or written.
    char data[kHostPathBytes];
    char16_t name[kDirTextUnits + 1];
    if (!DataFolderName(out, data, name)) return false;
    size_t made = 0;
    if (!MakeFolders(out->files, &made, out)) {
        RemoveMadeFolders(out->files, made);
        return false;
    }
    if (access(out->files, W_OK | X_OK) != 0) {
        const int err = errno;
        std::snprintf(out->problem, sizeof out->problem, "the folder %s is not writable (%s)",
                      out->files, std::strerror(err));
        RemoveMadeFolders(out->files, made);
        return false;
    }
    // The settings first: a "dir.txt" in the folder means that the first start went through.
    if (PlaceSettings(out) && PlaceDataFolderFile(out)) return true;
    RemoveMadeFolders(out->files, made);  // only folders still empty go
    return false;
}

bool SelfExecutablePath(char* out, size_t capacity) {
    if (capacity < 2) return false;
    const ssize_t n = readlink("/proc/self/exe", out, capacity - 1);
    if (n <= 0 || static_cast<size_t>(n) >= capacity - 1) return false;
    out[n] = 0;
    // A program replaced while it runs (a package upgrade) is reported with this suffix.
    static const char kDeleted[] = " (deleted)";
    const size_t suffix = sizeof kDeleted - 1;
    if (static_cast<size_t>(n) > suffix && std::strcmp(out + n - suffix, kDeleted) == 0 && !Present(out)) {
        out[n - suffix] = 0;
    }
    return out[0] == '/';
}

bool FindProgramFile(const char* name, const char* exePath, char* out, size_t capacity) {
    if (IsFile(name)) return Join(out, capacity, name, "");
    char program[kHostPathBytes];
    char parent[kHostPathBytes];
    if (exePath == nullptr || !FolderOf(exePath, program, sizeof program)) return false;
    if (Join(out, capacity, program, name) && IsFile(out)) return true;
    if (ParentOf(program, parent, sizeof parent) && Join(out, capacity, parent, kSharedSuffix, name) &&
        IsFile(out)) {
        return true;
    }
    if (capacity > 0) out[0] = 0;
    return false;
}
