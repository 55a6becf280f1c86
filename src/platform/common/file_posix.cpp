// File access on POSIX systems: UTF-16 paths become host bytes (game_folder.h), backslashes become
// slashes.
#include "platform/file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/common/text.h"

namespace {

constexpr size_t kHostPath = 4 * 520 + 16;
// Symbolic links followed before a name counts as a loop, as the kernel counts them.
constexpr int kMaxLinkHops = 40;

// Host path of a game path; false when it does not fit (the caller then fails, never truncates).
bool HostPath(const char16_t* path, char* out, size_t capacity) {
    if (!U16ToHostBytes(path, out, capacity)) return false;
    for (char* p = out; *p != 0; ++p) {
        if (*p == '\\') *p = '/';
    }
    return out[0] != 0;
}

// The folder part of path without its last '/' ("/a/b" -> "/a", "/b" -> "/", "b" -> ".").
void FolderPart(const char* path, char* out, size_t capacity) {
    const char* slash = std::strrchr(path, '/');
    size_t n = slash == nullptr ? 0 : static_cast<size_t>(slash - path);
    if (slash == path) n = 1;
    if (slash == nullptr || n >= capacity) {
        std::snprintf(out, capacity, ".");
        return;
    }
    std::memcpy(out, path, n);
    out[n] = 0;
}

// The file that path finally names: path itself, or the end of its chain of symbolic links (a link
// written relatively counts from its own folder). The end need not exist: a link to a file not yet
// written names where it is to be. False (errno set) on a loop or an over-long name.
bool FinalName(const char* path, char* out, size_t capacity) {
    if (std::snprintf(out, capacity, "%s", path) >= static_cast<int>(capacity)) {
        errno = ENAMETOOLONG;
        return false;
    }
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat st;
        if (lstat(out, &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        char target[kHostPath];
        const ssize_t n = readlink(out, target, sizeof target - 1);
        if (n < 0) return false;
        if (static_cast<size_t>(n) >= sizeof target - 1) {
            errno = ENAMETOOLONG;
            return false;
        }
        target[n] = 0;
        char next[kHostPath];
        int made;
        if (target[0] == '/') {
            made = std::snprintf(next, sizeof next, "%s", target);
        } else {
            char folder[kHostPath];
            FolderPart(out, folder, sizeof folder);
            made = std::snprintf(next, sizeof next, "%s/%s", folder, target);
        }
        if (made < 0 || static_cast<size_t>(made) >= sizeof next || static_cast<size_t>(made) >= capacity) {
            errno = ENAMETOOLONG;
            return false;
        }
        std::memcpy(out, next, static_cast<size_t>(made) + 1);
    }
    errno = ELOOP;
    return false;
}

// Creates "<path>.tmp" fresh: never through a name that is already there (a planted link, a
// FIFO, someone else's file), which would write wherever it leads or wait for a reader. What
// stands under the name (a file left by a run that was killed, a link, a FIFO) is removed once;
// unlink never follows a link and a folder stays, making the write fail. Returns the descriptor,
// or -1 with errno.
int CreateTemporary(const char* path, char* temp, size_t capacity) {
    const int made = std::snprintf(temp, capacity, "%s.tmp", path);
    if (made < 0 || static_cast<size_t>(made) >= capacity) {
        errno = ENAMETOOLONG;
        return -1;
    }
    constexpr int kFresh = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC;
    const int fd = open(temp, kFresh, 0644);
    if (fd >= 0 || errno != EEXIST) return fd;
    if (unlink(temp) != 0 && errno != ENOENT) {
        errno = EEXIST;
        return -1;
    }
    return open(temp, kFresh, 0644);
}

}  // namespace

FILE* OpenFileU16(const char16_t* path, const char* mode) {
    char host[kHostPath];
    if (!HostPath(path, host, sizeof host)) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    if (mode[0] != 'r' || std::strchr(mode, '+') != nullptr) return std::fopen(host, mode);
    // Only regular files: a folder opened for reading would "succeed" on Linux, and a FIFO would
    // block until someone writes. Opened without blocking, then checked on the descriptor itself.
    const int fd = open(host, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        const int err = errno;
        close(fd);
        errno = err;
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        errno = S_ISDIR(st.st_mode) ? EISDIR : 0;  // 0: there, but no file (described below)
        return nullptr;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    FILE* f = fdopen(fd, "rb");
    if (f == nullptr) {
        const int err = errno;
        close(fd);
        errno = err;
    }
    return f;
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

bool NothingAtU16(const char16_t* path) {
    char host[kHostPath];
    struct stat st;
    if (!HostPath(path, host, sizeof host)) return true;
    return lstat(host, &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

void DescribeOpenFailureU16(const char16_t* path, int err, char16_t* out, size_t capacity) {
    char host[kHostPath];
    char text[160];
    struct stat st;
    struct stat link;
    const bool named = HostPath(path, host, sizeof host);
    if (named && stat(host, &st) == 0 && !S_ISREG(st.st_mode)) {
        const char* kind = S_ISFIFO(st.st_mode)   ? "a FIFO"
                           : S_ISCHR(st.st_mode)  ? "a character device"
                           : S_ISBLK(st.st_mode)  ? "a block device"
                           : S_ISSOCK(st.st_mode) ? "a socket"
                           : S_ISDIR(st.st_mode)  ? "a folder"
                                                  : "not a regular file";
        std::snprintf(text, sizeof text, "not a regular file: %s", kind);
    } else if (err == ENOENT && named && lstat(host, &link) == 0 && S_ISLNK(link.st_mode)) {
        std::snprintf(text, sizeof text, "a symbolic link to a file that does not exist");
    } else {
        std::snprintf(text, sizeof text, "%s", std::strerror(err != 0 ? err : EINVAL));
    }
    if (!Utf8ToU16(text, out, capacity) && capacity > 0) out[0] = 0;
}

bool WriteFileAtomicU16(const char16_t* path, const void* data, size_t size) {
    char named[kHostPath];
    char host[kHostPath];
    char temp[kHostPath + 32];
    if (!HostPath(path, named, sizeof named)) {
        errno = ENAMETOOLONG;
        return false;
    }
    // A name that is a symbolic link (a settings file kept in a synced folder) stays a link: the
    // file it points to is the one replaced, beside itself.
    if (!FinalName(named, host, sizeof host)) return false;
    // The renaming would go through the folder's rights alone; the file's own rights decide.
    // Opening it for reading and writing asks exactly that, with the process's own credentials,
    // and changes nothing (no truncation, no write; no waiting on a FIFO).
    const int probe = open(host, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW);
    if (probe >= 0) {
        struct stat st;
        const bool regular = fstat(probe, &st) == 0 && S_ISREG(st.st_mode);
        close(probe);
        if (!regular) {
            errno = EINVAL;
            return false;
        }
    } else if (errno != ENOENT) {
        return false;
    }
    const int fd = CreateTemporary(host, temp, sizeof temp);
    if (fd < 0) return false;
    const char* p = static_cast<const char*>(data);
    size_t left = size;
    int err = 0;
    while (left > 0) {
        const ssize_t w = write(fd, p, left);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            err = w < 0 ? errno : ENOSPC;
            break;
        }
        p += w;
        left -= static_cast<size_t>(w);
    }
    if (err == 0 && fsync(fd) != 0) err = errno;
    if (close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && rename(temp, host) != 0) err = errno;
    if (err != 0) {
        unlink(temp);
        errno = err;
        return false;
    }
    // Make the rename itself durable: sync the folder that holds the file.
    char folder[kHostPath];
    FolderPart(host, folder, sizeof folder);
    const int dfd = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return true;
}
