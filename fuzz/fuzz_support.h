// Shared set-up of the fuzz targets: one headless platform for the whole process (message boxes
// recorded silently and dropped after each input), one long-lived Game container, and a scratch
// file in /dev/shm for the readers that take a path.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "audio/CXa2.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "platform/headless/headless.h"
#include "shell/BootedGame.h"
#include "core/CXi.h"
#include "shell/Game.h"
#include "core/System.h"
#include "platform/common/text.h"

namespace fuzz {

inline HeadlessPlatform& Platform() {
    static HeadlessPlatform* p = [] {
        auto* hp = new HeadlessPlatform();
        hp->services.echoMessages = false;
        hp->Install();
        return hp;
    }();
    return *p;
}

// The container, wired the way the start-up wires it; sound mode and the like are set per target.
inline Game* TheGame() {
    Platform();
    static BootedGame* booted = new BootedGame();  // lives as long as the process
    return booted->game;
}

// A per-process scratch folder in /dev/shm (falls back to /tmp), created on first use and removed
// when the process exits normally. The name is a plain array: it must outlive the exit handler.
inline char gScratch[64];

inline void RemoveScratch() {
    char cmd[96];
    std::snprintf(cmd, sizeof cmd, "rm -rf '%s'", gScratch);
    if (std::system(cmd) != 0) {
    }
}

inline const char* ScratchFolder() {
    if (gScratch[0] == 0) {
        const char* root = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::snprintf(gScratch, sizeof gScratch, "%s/kelvorine-fuzz-%d", root, static_cast<int>(getpid()));
        char cmd[96];
        std::snprintf(cmd, sizeof cmd, "mkdir -p '%s'", gScratch);
        if (std::system(cmd) != 0) std::abort();
        std::atexit(RemoveScratch);
    }
    return gScratch;
}

inline std::string ScratchDir() { return ScratchFolder(); }

inline std::string HostPath(const char* name) { return ScratchDir() + "/" + name; }

// Writes bytes to a scratch file; aborts if the scratch folder is unusable (a broken harness,
// not a finding).
inline std::string WriteScratch(const char* name, const uint8_t* data, size_t size) {
    std::string host = HostPath(name);
    FILE* f = std::fopen(host.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    return host;
}

// The game's form of a host path.
struct U16Path {
    char16_t text[kPathChars];
    explicit U16Path(const std::string& host) {
        if (!Utf8ToU16(host.c_str(), text, kPathChars)) std::abort();
    }
};

// Drops what the previous input left in the recording lists, so memory stays flat.
inline void ForgetRecords() {
    HeadlessPlatform& p = Platform();
    p.services.messages.clear();
    p.render->calls.clear();
}

// Destroys every effect voice of the engine and empties the platform's voice list.
inline void DropVoices(CXa2* xa2) {
    for (int i = 0; i < kEffectVoices; ++i) {
        if (xa2->seVoice[i] != nullptr) xa2->seVoice[i]->Destroy();
        xa2->seVoice[i] = nullptr;
        delete[] xa2->seData[i];
        xa2->seData[i] = nullptr;
    }
    Platform().audio.voices.clear();
}

// Splits an input at the first occurrence of a separator line: the part before goes to one
// file, the rest to another. Lets one input describe a loop file and a sound file together.
inline size_t SplitAt(const uint8_t* data, size_t size, const char* separator) {
    const size_t n = std::strlen(separator);
    if (size < n) return size;
    for (size_t i = 0; i + n <= size; ++i) {
        if (std::memcmp(data + i, separator, n) == 0) return i;
    }
    return size;
}

}  // namespace fuzz
