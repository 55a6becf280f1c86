// The sound list ("ogg\ogg_0000.txt" / "wav\wav_0000.txt"): 960 records of 36 bytes. Any file
// fills the name table without overrunning a slot; the effect and track loads that follow join
// each name to the data folder within the path buffer and fail cleanly on what is not there.
#include <sys/stat.h>

#include "audio/MusicStream.h"
#include "audio/SoundLists.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Game* g = fuzz::TheGame();
    System* s = g->system;
    static bool once = [] {
        mkdir(fuzz::HostPath("ogg").c_str(), 0755);
        mkdir(fuzz::HostPath("wav").c_str(), 0755);
        return true;
    }();
    (void)once;
    const bool wave = size != 0 && (data[size - 1] & 1) != 0;
    s->soundMode = wave ? 1 : 2;
    s->soundOff = 0;
    g->xa2->engine = true;
    g->xa2->masterVoice = true;
    fuzz::U16Path folder(fuzz::ScratchDir() + "/");
    U16Copy(s->dataFolder, kPathChars, folder.text);
    fuzz::WriteScratch(wave ? "wav/wav_0000.txt" : "ogg/ogg_0000.txt", data, size);

    for (auto& slot : g->mapSceneEntity->soundNames) std::memset(slot, 0, sizeof slot);
    if (LoadResourceLists(g->system, g->mapSceneEntity, g->xa2)) g->xa2->ShutdownAudio();  // every file present: not expected here
    for (const auto& slot : g->mapSceneEntity->soundNames) {
        if (slot[kNameSlotUnits - 1] != 0) std::abort();  // only 18 units of a slot are filled
    }
    CloseMusicTracks();
    fuzz::DropVoices(g->xa2);
    fuzz::ForgetRecords();
    return 0;
}
