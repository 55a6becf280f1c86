// The settings image ("Game.ini"): any 512 bytes decode and encode back to themselves (up to the
// zeroed tail), load without harm, and the image written back loads to the same settings (writing
// it again gives the same bytes).
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Platform();
    static System* system = new System();
    static MapSceneEntity* scene = new MapSceneEntity();

    // A short file reads as zeros past its end; bytes past 512 are never looked at.
    uint8_t image[kSettingsFileBytes] = {};
    std::memcpy(image, data, size < sizeof image ? size : sizeof image);
    Settings settings;
    Ranking ranking;
    DecodeSettings(image, &settings, &ranking);
    uint8_t encoded[kSettingsFileBytes];
    EncodeSettings(settings, ranking, encoded);
    if (std::memcmp(encoded, image, 346) != 0) std::abort();  // the codec lost or moved a byte
    for (size_t i = 346; i < sizeof encoded; ++i) {
        if (encoded[i] != 0) std::abort();
    }
    system->LoadSettingsImage(image, scene);

    uint8_t first[kSettingsFileBytes];
    system->BuildSettingsImage(first, scene);
    System again;
    static MapSceneEntity* sceneAgain = new MapSceneEntity();
    again.LoadSettingsImage(first, sceneAgain);
    uint8_t second[kSettingsFileBytes];
    again.BuildSettingsImage(second, sceneAgain);
    if (std::memcmp(first, second, sizeof first) != 0) std::abort();  // unstable round trip

    // The same bytes through the file reader, including a file shorter than the image.
    if ((size & 7) == 0) {
        fuzz::U16Path path(fuzz::WriteScratch("Game.ini", data, size));
        system->ReadSettings(path.text, scene);
    }
    fuzz::ForgetRecords();
    return 0;
}
