// Loop files ("*.sli"): UTF-16 or UTF-8 text with LoopStart= and LoopLength= lines. Any file
// gives two numbers and never reads past its line buffer.
#include "audio/MusicStream.h"
#include "audio/OggTrack.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Platform();
    static System* system = new System();
    BindMusicSettings(system);
    fuzz::U16Path path(fuzz::WriteScratch("track.ogg.sli", data, size));
    const int track = size == 0 ? 0 : data[0] % kMusicTracks;
    if (!LoadLoopFile(path.text, track)) std::abort();
    fuzz::ForgetRecords();
    return 0;
}
