// File access for the core. Paths are UTF-16 as the game's files hold them; a backslash is the
// folder separator in every stored name ("grp\grp_0003.txt", "data\") and is converted to the host
// separator here, when a file is opened. Implemented once for POSIX and once for Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// fopen with a UTF-16 path. Returns null when the file cannot be opened, or when the path cannot be
// converted (never truncated).
FILE* OpenFileU16(const char16_t* path, const char* mode);

// True when a regular file exists at path.
bool FileExistsU16(const char16_t* path);

// True when nothing is at path: no such file, or a folder on the way is missing (also when the
// path cannot be converted). A file that exists but cannot be opened is not absent.
bool FileAbsentU16(const char16_t* path);

// Replaces the file at path by `size` bytes: written to a temporary file in the same folder,
// flushed to disk, then renamed over the old file. On any failure the old file is left intact
// and false is returned. A file that this process may not both read and write (made read-only,
// or unreadable) is never replaced: the call fails before anything is written.
bool WriteFileAtomicU16(const char16_t* path, const void* data, size_t size);
