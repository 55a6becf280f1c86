#include "audio/SharedFile.h"

#include <climits>
#include <cstdio>
#include <mutex>

#include "core/System.h"
#include "platform/common/text.h"
#include "platform/file.h"

namespace {

struct SharedFile {
    FILE* file = nullptr;
    int users = 0;
    std::mutex lock;  // held for a positioned read: the stream's own position is shared
    char16_t path[kPathChars] = {};
};

// One slot per track at most. Slots are taken and given back at start-up and shutdown, on the
// main thread; reads come from both threads, each under its file's lock.
SharedFile gFiles[kMusicTracks];
std::mutex gTableLock;

bool SamePath(const char16_t* a, const char16_t* b) {
    for (; *a != 0 && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

bool ValidId(int id) { return id >= 0 && id < kMusicTracks && gFiles[id].file != nullptr; }

}  // namespace

int AcquireSharedFile(const char16_t* path) {
    std::lock_guard<std::mutex> table(gTableLock);
    int freeSlot = -1;
    for (int i = 0; i < kMusicTracks; ++i) {
        if (gFiles[i].users > 0 && SamePath(gFiles[i].path, path)) {
            ++gFiles[i].users;
            return i;
        }
        if (gFiles[i].users == 0 && freeSlot < 0) freeSlot = i;
    }
    if (freeSlot < 0) return -1;
    SharedFile& f = gFiles[freeSlot];
    if (!U16Copy(f.path, kPathChars, path)) return -1;
    f.file = OpenFileU16(path, "rb");
    if (f.file == nullptr) return -1;
    f.users = 1;
    return freeSlot;
}

void ReleaseSharedFile(int id) {
    std::lock_guard<std::mutex> table(gTableLock);
    if (!ValidId(id)) return;
    SharedFile& f = gFiles[id];
    if (--f.users > 0) return;
    std::lock_guard<std::mutex> reading(f.lock);
    std::fclose(f.file);
    f.file = nullptr;
    f.users = 0;
    f.path[0] = 0;
}

size_t ReadSharedFile(int id, uint64_t offset, void* dst, size_t n) {
    if (!ValidId(id) || n == 0 || offset > LONG_MAX) return 0;
    SharedFile& f = gFiles[id];
    std::lock_guard<std::mutex> reading(f.lock);
    if (std::fseek(f.file, static_cast<long>(offset), SEEK_SET) != 0) return 0;
    return std::fread(dst, 1, n, f.file);
}

bool SharedFileSize(int id, uint64_t* bytes) {
    if (!ValidId(id)) return false;
    SharedFile& f = gFiles[id];
    std::lock_guard<std::mutex> reading(f.lock);
    if (std::fseek(f.file, 0, SEEK_END) != 0) return false;
    const long end = std::ftell(f.file);
    if (end < 0) return false;
    *bytes = static_cast<uint64_t>(end);
    return true;
}

int OpenSharedFiles() {
    std::lock_guard<std::mutex> table(gTableLock);
    int open = 0;
    for (const SharedFile& f : gFiles) open += f.users > 0 ? 1 : 0;
    return open;
}
