// The texture list ("grp\grp_0003.txt"): 64 records of 36 bytes; every slot stays terminated,
// whatever the file holds, and the texture loading that follows only ever names files inside
// the data folder's buffer.
#include "fuzz_support.h"
#include "graphics/CReSur.h"
#include "core/CLoadFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Game* g = fuzz::TheGame();
    MapSceneEntity* m = g->mapSceneEntity;
    for (auto& slot : m->textureNames) std::memset(slot, 0, sizeof slot);
    CLoadFile files(g->system, m);
    fuzz::U16Path path(fuzz::WriteScratch("grp_0003.txt", data, size));
    if (!files.ReadTextureList(path.text)) std::abort();
    for (const auto& slot : m->textureNames) {
        bool terminated = false;
        for (int u = 0; u < kNameSlotUnits && !terminated; ++u) terminated = slot[u] == 0;
        if (!terminated) std::abort();
    }
    // The loads use the names as they are (none of them exists under this folder).
    U16Copy(g->system->dataFolder, kPathChars, u"/nonexistent-kelvorine-data/");
    CReSur reSur(g->dxGr, g->system, m);
    reSur.ReloadTextures();
    fuzz::ForgetRecords();
    return 0;
}
