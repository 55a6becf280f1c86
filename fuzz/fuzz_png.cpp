// PNG textures: libpng with the loader's error handling, into the headless render device, as
// 16-bit and 32-bit textures. Damaged files end in a message, never in the decoder.
#include "fuzz_support.h"
#include "graphics/CLoadTex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Game* g = fuzz::TheGame();
    static bool created = g->dxGr->Create() == 1;
    if (!created) std::abort();
    fuzz::U16Path path(fuzz::WriteScratch("grp_0000.png", data, size));
    const int32_t depth = (size & 1) != 0 ? 32 : 16;
    CLoadTex loader(g->dxGr, depth);
    const bool ok = loader.LoadPng(3, path.text);
    if (!ok && fuzz::Platform().services.messages.empty()) std::abort();  // a silent failure
    g->dxGr->ReleaseTexture(3);
    fuzz::ForgetRecords();
    return 0;
}
