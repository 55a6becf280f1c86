// Music files shared between tracks. A sound list names the same file for many tracks (a
// small data folder plays one piece for most of its 64 tracks); each such file is opened once
// and read by every track that names it, each track at its own position. Reads take the file's
// lock, so the music thread and the main thread (a rewind) may read one file at once.
#pragma once

#include <cstddef>
#include <cstdint>

// The id of the open file named by path (the same text gives the same file, which then has one
// more user); -1 when it cannot be opened or the table is full.
int AcquireSharedFile(const char16_t* path);

// One user fewer; the file is closed with its last user.
void ReleaseSharedFile(int id);

// Up to n bytes from byte `offset` of the file; the count read.
size_t ReadSharedFile(int id, uint64_t offset, void* dst, size_t n);

// The file's length in bytes; false when it cannot be told.
bool SharedFileSize(int id, uint64_t* bytes);

// Files open now (one per distinct file in use).
int OpenSharedFiles();
