// File access on Windows: UTF-16 paths go straight to the wide-character calls (Windows takes the
// backslash as its own separator). Replacing a file writes a temporary file beside it, flushes it
// to disk and moves it over the old one in one step.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file.h"
#include "platform/common/text.h"

namespace {

const wchar_t* Wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }

}  // namespace

FILE* OpenFileU16(const char16_t* path, const char* mode) {
    if (path == nullptr || path[0] == 0 || mode == nullptr) return nullptr;
    wchar_t wmode[16];
    size_t i = 0;
    for (; mode[i] != 0; ++i) {
        if (i + 1 >= sizeof wmode / sizeof wmode[0]) return nullptr;
        wmode[i] = static_cast<unsigned char>(mode[i]);
    }
    wmode[i] = 0;
    // Only regular files, as on every other platform.
    if (mode[0] == 'r' && !FileExistsU16(path)) return nullptr;
    return _wfopen(Wide(path), wmode);
}

bool FileExistsU16(const char16_t* path) {
    if (path == nullptr || path[0] == 0) return false;
    DWORD attributes = GetFileAttributesW(Wide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool FileAbsentU16(const char16_t* path) {
    if (path == nullptr || path[0] == 0) return true;
    if (GetFileAttributesW(Wide(path)) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool NothingAtU16(const char16_t* path) { return FileAbsentU16(path); }

void DescribeOpenFailureU16(const char16_t* path, int err, char16_t* out, size_t capacity) {
    char text[160];
    const DWORD attributes = path != nullptr ? GetFileAttributesW(Wide(path)) : INVALID_FILE_ATTRIBUTES;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        std::snprintf(text, sizeof text, "not a regular file: a folder");
    } else {
        std::snprintf(text, sizeof text, "%s", std::strerror(err != 0 ? err : EINVAL));
    }
    if (!Utf8ToU16(text, out, capacity) && capacity > 0) out[0] = 0;
}

bool WriteFileAtomicU16(const char16_t* path, const void* data, size_t size) {
    if (path == nullptr || path[0] == 0) return false;
    // A file that may not be read and written (read-only, or denied to this user) is never
    // replaced: the move would need only the folder's rights. Opening it asks the file's own.
    HANDLE probe = CreateFileW(Wide(path), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        const bool regular = GetFileType(probe) == FILE_TYPE_DISK;
        CloseHandle(probe);
        if (!regular) return false;
    } else {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) return false;
    }
    char16_t temp[kPathChars + 8];
    if (!U16Copy(temp, kPathChars + 8, path) || !U16Cat(temp, kPathChars + 8, u".tmp")) return false;
    // The temporary file is made fresh: whatever stands under its name (a file left by a run that
    // was killed, a planted link) is removed first, and the creation fails rather than open it.
    DeleteFileW(Wide(temp));
    HANDLE file = CreateFileW(Wide(temp), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const char* p = static_cast<const char*>(data);
    size_t left = size;
    bool ok = true;
    while (ok && left > 0) {
        DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD written = 0;
        ok = WriteFile(file, p, chunk, &written, nullptr) && written > 0;
        p += written;
        left -= written;
    }
    if (ok && !FlushFileBuffers(file)) ok = false;
    if (!CloseHandle(file)) ok = false;
    if (ok && !MoveFileExW(Wide(temp), Wide(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) ok = false;
    if (!ok) DeleteFileW(Wide(temp));
    return ok;
}
