// File access on POSIX systems: UTF-16 paths become UTF-8, backslashes become slashes.
#include "platform/file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/common/text.h"

namespace {

// Host path of a game path; false when it does not fit (the caller then fails, never truncates).
bool HostPath(const char16_t* path, char* out, size_t capacity) {
    if (!U16ToUtf8(path, out, capacity)) return false;
    for (char* p = out; *p != 0; ++p) {
        if (*p == '\\') *p = '/';
    }
    return out[0] != 0;
}

constexpr size_t kHostPath = 4 * 520 + 16;

}  // namespace

FILE* OpenFileU16(const char16_t* path, const char* mode) {
    char host[kHostPath];
    if (!HostPath(path, host, sizeof host)) return nullptr;
    struct stat st;
    // Only regular files: a folder opened for reading would "succeed" on Linux.
    if (mode[0] == 'r' && (stat(host, &st) != 0 || !S_ISREG(st.st_mode))) return nullptr;
    return std::fopen(host, mode);
}

bool FileExistsU16(const char16_t* path) {
    char host[kHostPath];
    struct stat st;
    return HostPath(path, host, sizeof host) && stat(host, &st) == 0 && S_ISREG(st.st_mode);
}

bool FileAbsentU16(const char16_t* path) {
    char host[kHostPath];
    struct stat st;
    if (!HostPath(path, host, sizeof host)) return true;
    return stat(host, &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool WriteFileAtomicU16(const char16_t* path, const void* data, size_t size) {
    char host[kHostPath];
    char temp[kHostPath + 16];
    if (!HostPath(path, host, sizeof host)) return false;
    // The renaming would go through the folder's rights alone; the file's own rights decide.
    // Opening it for reading and writing asks exactly that, with the process's own credentials,
    // and changes nothing (no truncation, no write).
    const int probe = open(host, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (probe >= 0) {
        struct stat st;
        const bool regular = fstat(probe, &st) == 0 && S_ISREG(st.st_mode);
        close(probe);
        if (!regular) return false;
    } else if (errno != ENOENT) {
        return false;
    }
    size_t n = std::strlen(host);
    if (n + 5 >= sizeof temp) return false;
    std::memcpy(temp, host, n);
    std::memcpy(temp + n, ".tmp", 5);

    int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const char* p = static_cast<const char*>(data);
    size_t left = size;
    bool ok = true;
    while (left > 0) {
        ssize_t w = write(fd, p, left);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            ok = false;
            break;
        }
        p += w;
        left -= static_cast<size_t>(w);
    }
    if (ok && fsync(fd) != 0) ok = false;
    if (close(fd) != 0) ok = false;
    if (ok && rename(temp, host) != 0) ok = false;
    if (!ok) {
        unlink(temp);
        return false;
    }
    // Make the rename itself durable: sync the folder that holds the file.
    char folder[kHostPath];
    std::memcpy(folder, host, n + 1);
    char* slash = std::strrchr(folder, '/');
    if (slash == folder) {
        slash[1] = 0;
    } else if (slash != nullptr) {
        *slash = 0;
    } else {
        std::strcpy(folder, ".");
    }
    int dfd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return true;
}
