// The page's file store on Emscripten's IndexedDB file system (see web_files.h).
#include "platform/web/web_files.h"

#include <emscripten.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "platform/common/text.h"
#include "platform/file.h"

namespace {

// "dir.txt" of a first visit: the packaged data, relative to the program's folder.
constexpr char16_t kWebDataFolderName[] = u"..\\game\\data\\";

void (*gReady)() = nullptr;

EM_JS(int, StoreQuitFilesNow, (const char* base), {
    var root = UTF8ToString(base);
    var db = IDBFS.dbs[root];
    if (!db) return 0;
    try {
        var tx = db.transaction([IDBFS.DB_STORE_NAME], 'readwrite');
        var store = tx.objectStore(IDBFS.DB_STORE_NAME);
        ['Game.ini', 'dir.txt'].forEach(function(name) {
            var path = root + '/' + name;
            IDBFS.loadLocalEntry(path, function(err, entry) {
                if (!err) store.put(entry, path);
            });
        });
        // Counted when it has reached the disk (the page's test waits for it).
        tx.oncomplete = function() { Module.kelvorineStoresDone = (Module.kelvorineStoresDone || 0) + 1; };
        if (tx.commit) tx.commit();
        return 1;
    } catch (e) {
        console.warn('Kelvorine: saving to the browser storage failed: ' + e);
        return 0;
    }
});

// The packaged "Game.ini" copied to `ini`; a copy cut short is removed (worse than none).
bool CopyPackagedSettings(const char* ini) {
    char packaged[64];
    std::snprintf(packaged, sizeof packaged, "%s/" KELVORINE_SETTINGS_FILE, kWebGameFolder);
    FILE* in = std::fopen(packaged, "rb");
    if (in == nullptr) return false;
    uint8_t image[1024];
    const size_t n = std::fread(image, 1, sizeof image, in);
    std::fclose(in);
    FILE* out = std::fopen(ini, "wb");
    if (out == nullptr) return false;
    const bool ok = n > 0 && std::fwrite(image, 1, n, out) == n;
    if (std::fclose(out) != 0 || !ok) {
        std::remove(ini);
        return false;
    }
    return true;
}

}  // namespace

// The browser's call-back of the read-in (a name the JavaScript side can call).
extern "C" EMSCRIPTEN_KEEPALIVE void kelvorine_web_files_ready() {
    if (gReady != nullptr) gReady();
}

void WebMountFileStore(void (*ready)()) {
    gReady = ready;
    if (chdir(kWebGameFolder) != 0) std::perror(kWebGameFolder);
    EM_ASM({
        var base = UTF8ToString($0);
        FS.mkdir(base);
        FS.mount(IDBFS, {}, base);
        FS.syncfs(true, function(err) {
            if (err) console.warn('Kelvorine: the browser storage cannot be read: ' + err);
            _kelvorine_web_files_ready();
        });
    }, kWebBaseFolder);
}

bool WebSeedFirstVisit() {
    char ini[64], dir[64];
    std::snprintf(ini, sizeof ini, "%s/" KELVORINE_SETTINGS_FILE, kWebBaseFolder);
    std::snprintf(dir, sizeof dir, "%s/" KELVORINE_DATA_FOLDER_FILE, kWebBaseFolder);
    const bool hasIni = access(ini, F_OK) == 0, hasDir = access(dir, F_OK) == 0;
    const bool seeded = !hasIni && !hasDir && CopyPackagedSettings(ini);
    // Without "dir.txt" the start-up ends silently.
    char16_t wide[64];
    if (!hasDir && !(Utf8ToU16(dir, wide, 64) && WriteDataFolderFileU16(wide, kWebDataFolderName))) {
        std::perror(dir);
    }
    return seeded;
}

void WebSyncFilesOut() {
    EM_ASM({
        FS.syncfs(false, function(err) {
            if (err) console.warn('Kelvorine: saving to the browser storage failed: ' + err);
        });
    });
}

bool WebStoreQuitFilesNow() { return StoreQuitFilesNow(kWebBaseFolder) != 0; }
