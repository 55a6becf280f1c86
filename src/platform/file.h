// File access for the core. Paths are UTF-16 as the game's files hold them; a backslash is the
// folder separator in every stored name ("grp\grp_0003.txt", "data\") and is converted to the host
// separator here, when a file is opened. Implemented once for POSIX and once for Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// fopen with a UTF-16 path. Returns null when the file cannot be opened, or when the path cannot be
// converted (never truncated). For reading only regular files open; a failure leaves errno saying
// why (0 for something that is there but is no regular file; DescribeOpenFailureU16 tells more).
FILE* OpenFileU16(const char16_t* path, const char* mode);

// One line of English saying why path could not be opened for reading, from the errno that
// OpenFileU16 left (a FIFO, a link to nothing, "Too many open files", ...).
void DescribeOpenFailureU16(const char16_t* path, int err, char16_t* out, size_t capacity);

// True when a regular file exists at path.
bool FileExistsU16(const char16_t* path);

// True when nothing is at path: no such file, or a folder on the way is missing (also when the
// path cannot be converted). A file that exists but cannot be opened is not absent.
bool FileAbsentU16(const char16_t* path);

// True when not even a name is at path: absent, and no symbolic link there either (a link to
// nothing is something the player put there).
bool NothingAtU16(const char16_t* path);

// Replaces the file at path by `size` bytes: written to a temporary file created fresh in the same
// folder (never opened through a name that was already there), flushed to disk, then renamed over
// the old file. A path that is a symbolic link keeps its link: the file it points to is replaced,
// in that file's own folder. On any failure the old file is left intact and false is returned
// (errno says why). A file that this process may not both read and write (made read-only,
// or unreadable) is never replaced: the call fails before anything is written.
bool WriteFileAtomicU16(const char16_t* path, const void* data, size_t size);

// Replaces the data-folder file ("dir.txt") at path with one naming `name`: a byte order mark,
// then the name in UTF-16 little-endian without a terminator or line break, at most
// kDataFolderFileUnits units (a longer name is refused before anything is written). Written as
// WriteFileAtomicU16 writes; false (errno says why) when it was not.
constexpr size_t kDataFolderFileUnits = 80;
bool WriteDataFolderFileU16(const char16_t* path, const char16_t* name);

// The names of the two files of the player's folder, spelled here only: the settings (512
// bytes) and the data folder's name. The macros let other string kinds be made from the one
// spelling (u"" KELVORINE_SETTINGS_FILE, "%s/" KELVORINE_DATA_FOLDER_FILE).
#define KELVORINE_SETTINGS_FILE "Game.ini"
#define KELVORINE_DATA_FOLDER_FILE "dir.txt"
constexpr char kSettingsFileName[] = KELVORINE_SETTINGS_FILE;
constexpr char kDataFolderFileName[] = KELVORINE_DATA_FOLDER_FILE;
constexpr char16_t kSettingsFileNameU16[] = u"" KELVORINE_SETTINGS_FILE;
constexpr char16_t kDataFolderFileNameU16[] = u"" KELVORINE_DATA_FOLDER_FILE;
