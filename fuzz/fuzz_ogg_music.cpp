// Ogg Vorbis music: a track opened with its loop file, filled chunk by chunk across the loop end,
// rewound and filled again. The first 8 input bytes choose the loop points; the rest is the file.
#include <cinttypes>

#include "audio/MusicStream.h"
#include "audio/OggTrack.h"
#include "fuzz_support.h"
#include "platform/common/le_bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    Game* g = fuzz::TheGame();
    System* s = g->system;
    BindMusicSettings(s);
    s->soundMode = 2;
    const uint32_t a = Le32(data), b = Le32(data + 4);
    const uint32_t start = (a & 0x80000000u) ? a : a % 16384;
    const uint32_t length = (b & 0x80000000u) ? b : b % 16384;
    const std::string host = fuzz::WriteScratch("music.ogg", data + 8, size - 8);
    FILE* f = std::fopen((host + ".sli").c_str(), "wb");
    if (f == nullptr) std::abort();
    std::fprintf(f, "LoopStart=%" PRIu32 "\r\n\r\nLoopLength=%" PRIu32 "\r\n", start, length);
    std::fclose(f);

    fuzz::U16Path path(host);
    if (OpenMusicTrack(2, path.text)) {
        static uint8_t chunk[16384];
        for (int i = 0; i < 4; ++i) FillMusicChunk(2, chunk, sizeof chunk);
        RewindMusicTrack(2);
        FillMusicChunk(2, chunk, sizeof chunk);
    }
    CloseMusicTracks();
    fuzz::ForgetRecords();
    return 0;
}
