// Save slots ("save0001.dat" .. "save0016.dat"): any file, short or long, reads into a slot.
#include "fuzz_support.h"
#include "core/CLoadFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Game* g = fuzz::TheGame();
    CLoadFile files(g->system, g->mapSceneEntity);
    fuzz::U16Path path(fuzz::WriteScratch("save0001.dat", data, size));
    const int slot = size == 0 ? 0 : data[0] % kSaveSlots;
    if (!files.ReadSaveSlot(path.text, slot)) std::abort();
    fuzz::ForgetRecords();
    return 0;
}
