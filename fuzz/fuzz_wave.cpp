// WAV files: the reader (open, reset, reads), WAV effects (one second cut into a voice) and WAV
// music (chunk fills across loop ends, rewinds). The first 8 input bytes choose the loop points;
// the rest is the file.
#include <cinttypes>

#include "audio/MusicStream.h"
#include "audio/OggTrack.h"
#include "audio/WaveReader.h"
#include "fuzz_support.h"
#include "platform/common/le_bytes.h"

namespace {

void WriteLoop(const std::string& host, uint32_t start, uint32_t length) {
    FILE* f = std::fopen(host.c_str(), "wb");
    if (f == nullptr) std::abort();
    std::fprintf(f, "LoopStart=%" PRIu32 "\r\n\r\nLoopLength=%" PRIu32 "\r\n", start, length);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    Game* g = fuzz::TheGame();
    System* s = g->system;
    BindMusicSettings(s);
    // Mostly small loops, so fills cross the loop end; a set top bit passes the value through.
    const uint32_t a = Le32(data), b = Le32(data + 4);
    const uint32_t start = (a & 0x80000000u) ? a : a % 65536;
    const uint32_t length = (b & 0x80000000u) ? b : b % 65536;
    data += 8;
    size -= 8;
    const std::string host = fuzz::WriteScratch("music.wav", data, size);
    fuzz::U16Path path(host);

    // The reader on its own.
    {
        WaveReader r;
        if (r.Open(path.text)) {
            uint8_t buf[4096];
            r.Read(buf, sizeof buf);
            if (r.ResetToData()) r.Read(buf, std::min<uint32_t>(r.data.size, sizeof buf));
            if (r.FormatBytes() < 18) std::abort();
        }
    }

    // An effect.
    s->soundMode = 1;
    s->soundOff = 0;
    g->xa2->engine = true;
    g->xa2->masterVoice = true;
    g->xa2->LoadSe(path.text, 0);

    // Music: a few chunks, a rewind, a few more.
    WriteLoop(host + ".sli", start, length);
    if (OpenMusicTrack(1, path.text)) {
        static uint8_t chunk[8192];
        for (int i = 0; i < 3; ++i) FillMusicChunk(1, chunk, sizeof chunk);
        RewindMusicTrack(1);
        FillMusicChunk(1, chunk, sizeof chunk - 4);
    }
    CloseMusicTracks();
    fuzz::DropVoices(g->xa2);
    fuzz::ForgetRecords();
    return 0;
}
