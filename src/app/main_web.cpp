// The game in a browser page: the web platform, the page's files, and the main loop driven by the
// browser. No command line is read.
//
// The browser owns the loop. After the start-up, emscripten_set_main_loop calls Tick; each call
// runs at most one turn of the game's main loop, which ends with its wait recorded instead of
// slept. Before the next turn the browser is told when to call again, so the deadlines of the
// timer modes are kept as on the desktop: the millisecond and counter modes by a timer set to the
// deadline (the last 2 ms polled), No Wait as fast as the browser calls back, or at the display's
// refresh with vertical sync on.
//
// Files: IndexedDB is mounted as the program's folder and read into memory before the start-up;
// "Game.ini" and "dir.txt" are written at the quit path (then the folder is written back to
// IndexedDB) and also whenever the page is hidden (a tab can be closed at any moment after that;
// the two files then go to IndexedDB at once).
//
// The page may read Module._kelvorine_web_stats() (a JSON text) to follow the run: turns, the
// first presented frame, frame times, the scene, the falling piece and the board, the ranking and
// the audio output. Measuring aid (never set in normal play): index.html?hold=N stops after N
// turns and keeps that picture.
#include <emscripten.h>
#include <emscripten/html5.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/CXa2.h"
#include "game/PlayState.h"
#include "graphics/MapSceneEntity.h"
#include "platform/common/mixer.h"
#include "platform/file.h"
#include "platform/web/web_platform.h"
#include "shell/App.h"
#include "shell/Game.h"
#include "shell/System.h"

namespace {

constexpr int kIntervalRing = 4096;

struct WebRun {
    WebPlatform* platform = nullptr;
    bool running = false;
    bool ended = false;
    int exitCode = 0;
    uint32_t turns = 0;
    uint32_t holdAfter = 0;          // measuring aid: 0 = never
    double firstPresentMs = -1;      // page clock (performance.now) after the first turn
    double lastTurnStart = -1;
    float intervals[kIntervalRing] = {};   // milliseconds between turn starts
    uint32_t intervalCount = 0;
    uint32_t writesOnHide = 0;
    char stats[2048] = {};
};

WebRun gRun;

// Writes the program's folder back to IndexedDB (asynchronous; the browser finishes it even while
// the page is going away, once started).
void SyncFilesOut() {
    EM_ASM({
        FS.syncfs(false, function(err) {
            if (err) console.warn('Kelvorine: saving to the browser storage failed: ' + err);
        });
    });
}

// Puts "Game.ini" and "dir.txt" into IndexedDB in one transaction started here and now. A page
// being closed fires its last "hidden" and is gone soon after: a full write-back, which first
// reads what IndexedDB holds, would not get as far as writing. Returns false when the database is
// not open (the start-up could not read it).
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
        if (tx.commit) tx.commit();
        return 1;
    } catch (e) {
        console.warn('Kelvorine: saving to the browser storage failed: ' + e);
        return 0;
    }
});

void RunEnded(int code) {
    gRun.running = false;
    gRun.ended = true;
    gRun.exitCode = code;
    emscripten_cancel_main_loop();
    SyncFilesOut();
    EM_ASM({
        if (typeof Module.kelvorineEnded === 'function') Module.kelvorineEnded($0);
    }, code);
}

// How the browser calls the next turn: at the display's refresh, as soon as it can, or by a timer
// at the recorded deadline (the scheduler counts from the start of this call-back).
void ScheduleNext(double tickStart) {
    if (KelvorinePacedByDisplay()) {
        emscripten_set_main_loop_timing(EM_TIMING_RAF, 1);
        return;
    }
    const uint32_t away = KelvorineWaitMs();
    if (away == 0) {
        emscripten_set_main_loop_timing(EM_TIMING_SETIMMEDIATE, 0);
        return;
    }
    const double spent = emscripten_get_now() - tickStart;
    emscripten_set_main_loop_timing(EM_TIMING_SETTIMEOUT, static_cast<int>(spent + away));
}

void Tick() {
    if (!gRun.running) return;
    const double tickStart = emscripten_get_now();
    if (gRun.holdAfter != 0 && gRun.turns >= gRun.holdAfter) {
        emscripten_set_main_loop_timing(EM_TIMING_SETTIMEOUT, 100);
        return;
    }
    if (KelvorineWaitMs() != 0) {  // still the previous turn's wait
        ScheduleNext(tickStart);
        return;
    }
    if (gRun.lastTurnStart >= 0) {
        gRun.intervals[gRun.intervalCount % kIntervalRing] =
            static_cast<float>(tickStart - gRun.lastTurnStart);
        ++gRun.intervalCount;
    }
    gRun.lastTurnStart = tickStart;
    int code = 0;
    if (!KelvorineTurn(&code)) {
        RunEnded(code);
        return;
    }
    if (++gRun.turns == 1) gRun.firstPresentMs = emscripten_get_now();
    ScheduleNext(tickStart);
}

// The page is being hidden (another tab, a minimised window, the tab closing): the quit files now,
// straight into IndexedDB.
EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent* e, void*) {
    if (e->hidden && gRun.running && KelvorineWriteQuitFiles() && StoreQuitFilesNow(kWebBaseFolder)) {
        ++gRun.writesOnHide;
    }
    return EM_FALSE;
}

// "dir.txt" on a first visit: the packaged data folder (the start-up ends silently without it).
void SeedDataFolderFile() {
    char path[64];
    std::snprintf(path, sizeof path, "%s/dir.txt", kWebBaseFolder);
    if (access(path, F_OK) == 0) return;
    FILE* f = std::fopen(path, "wb");
    if (f == nullptr) return;
    const uint8_t bom[2] = {0xFF, 0xFE};
    std::fwrite(bom, 1, 2, f);
    for (const char16_t* c = kWebDataFolderName; *c != 0; ++c) {
        const uint8_t unit[2] = {static_cast<uint8_t>(*c & 0xFF), static_cast<uint8_t>(*c >> 8)};
        std::fwrite(unit, 1, 2, f);
    }
    std::fclose(f);
}

double Percentile(float* sorted, uint32_t n, double p) {
    if (n == 0) return 0;
    uint32_t i = static_cast<uint32_t>(p * (n - 1) + 0.5);
    return sorted[std::min(i, n - 1)];
}

}  // namespace

extern "C" {

// Called by the page once IndexedDB has been read into the program's folder.
EMSCRIPTEN_KEEPALIVE void kelvorine_web_begin(int holdAfter) {
    gRun.holdAfter = holdAfter > 0 ? static_cast<uint32_t>(holdAfter) : 0;
    SeedDataFolderFile();
    int code = 0;
    if (!KelvorineStart(1, &code)) {
        RunEnded(code);
        return;
    }
    gRun.running = true;
    emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, OnVisibility);
    emscripten_set_main_loop(Tick, 0, 0);
}

// The run as the page can see it, in one JSON text (valid until the next call).
EMSCRIPTEN_KEEPALIVE const char* kelvorine_web_stats() {
    static float sorted[kIntervalRing];
    const uint32_t n = std::min<uint32_t>(gRun.intervalCount, kIntervalRing);
    std::copy(gRun.intervals, gRun.intervals + n, sorted);
    std::sort(sorted, sorted + n);
    char* out = gRun.stats;
    const size_t cap = sizeof gRun.stats;
    int len = std::snprintf(out, cap,
                            "{\"running\":%d,\"ended\":%d,\"exitCode\":%d,\"turns\":%u,"
                            "\"firstPresentMs\":%.1f,\"frameMs\":{\"count\":%u,\"p50\":%.2f,\"p99\":%.2f,"
                            "\"max\":%.2f},\"writesOnHide\":%u",
                            gRun.running, gRun.ended, gRun.exitCode, gRun.turns, gRun.firstPresentMs, n,
                            Percentile(sorted, n, 0.5), Percentile(sorted, n, 0.99),
                            n > 0 ? sorted[n - 1] : 0.0, gRun.writesOnHide);
    if (gGame != nullptr && len > 0 && static_cast<size_t>(len) < cap) {
        const System* s = gGame->system;
        const MapSceneEntity* scene = gGame->mapSceneEntity;
        int cells = 0;
        for (int row = 0; row < kPlayRows; ++row) {
            for (int col = 1; col < kBoardCols - 1; ++col) cells += gPlay.board[row * kBoardCols + col] != 0;
        }
        len += std::snprintf(out + len, cap - len,
                             ",\"scene\":%d,\"active\":%d,\"timerMode\":%d,\"vsync\":%d,\"fullScreen\":%d,"
                             "\"piece\":{\"x\":%d,\"y\":%d,\"rotation\":%d},\"boardCells\":%d,\"score\":%d,"
                             "\"ranking\":[",
                             scene->sceneNumber, s->windowActive.load(std::memory_order_relaxed), s->timerMode,
                             s->vsync, s->fullScreen, gPlay.pieceX, gPlay.pieceY, gPlay.rotation, cells,
                             gPlay.score);
        for (int i = 0; i < kRankingEntries && len > 0 && static_cast<size_t>(len) < cap; ++i) {
            len += std::snprintf(out + len, cap - len, "%s%d", i == 0 ? "" : ",", scene->rankScores[i]);
        }
        const CXa2* xa = gGame->xa2;
        MixerVoice* bgm = static_cast<MixerVoice*>(xa->bgmVoice);
        if (len > 0 && static_cast<size_t>(len) < cap) {
            len += std::snprintf(
                out + len, cap - len,
                "],\"audio\":{\"on\":%d,\"framesPlayed\":%llu,\"musicTrack\":%d,\"musicQueued\":%u,"
                "\"musicRunning\":%d,\"musicUnderruns\":%u,\"musicFromLoop\":%d}",
                xa->masterVoice && s->soundOff == 0,
                static_cast<unsigned long long>(gRun.platform->audio.framesPlayed.load()),
                s->currentMusicTrack.load(std::memory_order_relaxed),
                bgm != nullptr ? bgm->BuffersQueued() : 0u, bgm != nullptr && bgm->Running(),
                bgm != nullptr ? bgm->Underruns() : 0u, xa->streamFromLoop);
        }
    }
    if (len > 0 && static_cast<size_t>(len) + 2 < cap) std::strcpy(out + len, "}");
    return out;
}

}  // extern "C"

int main() {
    // The platform outlives main: the browser keeps calling the loop after main has returned.
    gRun.platform = new WebPlatform();
    gRun.platform->Install();
    // Shaders and data are read relative to the packaged game folder.
    if (chdir(kWebGameFolder) != 0) std::perror(kWebGameFolder);
    EM_ASM({
        var base = UTF8ToString($0);
        FS.mkdir(base);
        FS.mount(IDBFS, {}, base);
        FS.syncfs(true, function(err) {
            if (err) console.warn('Kelvorine: the browser storage cannot be read: ' + err);
            var hold = Number(new URLSearchParams(location.search).get('hold')) || 0;
            _kelvorine_web_begin(hold);
        });
    }, kWebBaseFolder);
    return 0;
}
