// Ogg Vorbis effects: the whole stream decoded into the fixed three-second array of a voice.
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Game* g = fuzz::TheGame();
    System* s = g->system;
    s->soundMode = 2;
    s->soundOff = 0;
    g->xa2->engine = true;
    g->xa2->masterVoice = true;
    fuzz::U16Path path(fuzz::WriteScratch("effect.ogg", data, size));
    const int id = size == 0 ? 0 : data[size - 1] % kEffectVoices;
    if (g->xa2->LoadSe(path.text, id)) {
        const AudioBuffer& b = g->xa2->seBuffer[id];
        if (b.audioBytes == 0 || b.audioBytes > 3u * 176400u) std::abort();
    }
    fuzz::DropVoices(g->xa2);
    fuzz::ForgetRecords();
    return 0;
}
