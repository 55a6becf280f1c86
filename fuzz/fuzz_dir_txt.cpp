// "dir.txt": any file reads into a terminated data-folder name that fits its buffers; the data
// folder built from it never overflows; the name written back reads back unchanged.
#include "fuzz_support.h"
#include "core/CLoadFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Game* g = fuzz::TheGame();
    System* s = g->system;
    CLoadFile files(s, g->mapSceneEntity);
    fuzz::U16Path path(fuzz::WriteScratch("dir.txt", data, size));
    if (!files.ReadDataFolder(path.text)) std::abort();  // the file exists: the read succeeds
    if (U16Len(s->dataFolderRead) >= kPathChars || U16Len(s->dataFolderName) >= kDataFolderNameChars) {
        std::abort();
    }
    s->dataFolderRelative = size & 1;
    U16Copy(s->baseFolder, kPathChars, u"/kelvorine/");
    files.BuildDataFolder();

    char16_t before[kDataFolderNameChars];
    U16Copy(before, kDataFolderNameChars, s->dataFolderName);
    fuzz::U16Path out(fuzz::HostPath("dir-out.txt"));
    if (!files.WriteDataFolder(out.text)) std::abort();
    if (!files.ReadDataFolder(out.text)) std::abort();
    if (U16Cmp(before, s->dataFolderName) != 0) std::abort();  // lost or changed on the way
    fuzz::ForgetRecords();
    return 0;
}
