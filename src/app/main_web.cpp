// The game in a browser page: the web platform, the page's files, and the main loop driven by the
// browser. No command line is read.
//
// The browser owns the loop, and the display's frames pace it. At each animation frame the turns
// that are due run: due by the timer mode's own deadlines, laid on a fixed grid (each deadline one
// frame length after the previous one, not after the moment the turn ran), so the game keeps its
// speed whatever the display's rate or a late frame. At most four turns run at one display frame,
// and only the last of them is drawn; a stall is made up over the following frames, and a page
// more than 250 ms behind (after being hidden) starts the grid again from now. No Wait with vertical sync on runs one turn per display frame; without it the
// turns run as fast as the browser calls back. The page never asks for a timer.
//
// Files: IndexedDB is mounted as the program's folder and read into memory before the start-up;
// "Game.ini" and "dir.txt" are written at the quit path (then the folder is written back to
// IndexedDB) and also whenever the page is hidden (a tab can be closed at any moment after that;
// the two files then go to IndexedDB at once). A first visit (neither file stored) is given the
// packaged "Game.ini" of audible defaults and a "dir.txt" naming the packaged data.
//
// The page may read Module._kelvorine_web_stats() (a JSON text) to follow the run: turns, the
// first presented frame, the time between display frames that ran turns and what they cost, the
// draw path, the scene, the falling piece and the board, the ranking and the audio output.
// Measuring aid (never set in normal play): index.html?hold=N stops after N turns and keeps that
// picture.
#include <emscripten.h>
#include <emscripten/html5.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "audio/CXa2.h"
#include "game/PlayState.h"
#include "core/MapSceneEntity.h"
#include "platform/common/mixer.h"
#include "platform/file.h"
#include "platform/sdl/sdl_render_gl.h"
#include "platform/web/web_platform.h"
#include "shell/App.h"
#include "shell/Game.h"
#include "core/System.h"

namespace {

constexpr int kIntervalRing = 4096;
// At most this many turns run at one display frame; a turn due up to kEarlyMs ahead runs at this
// frame rather than the next (so a grid in step with the display keeps one turn a frame despite
// the jitter of frame times).
constexpr int kMaxTurnsPerFrame = 4;
constexpr double kEarlyMs = 4.0;
constexpr double kMaxBacklogMs = 250.0;

struct WebRun {
    WebPlatform* platform = nullptr;
    bool running = false;
    bool ended = false;
    int exitCode = 0;
    uint32_t turns = 0;
    uint32_t holdAfter = 0;          // measuring aid: 0 = never
    double firstPresentMs = -1;      // page clock (performance.now) after the first turn
    double lastTurnStart = -1;
    float intervals[kIntervalRing] = {};   // milliseconds between display frames that ran turns
    float costs[kIntervalRing] = {};       // milliseconds those frames spent in the game
    uint32_t intervalCount = 0;
    uint32_t costCount = 0;
    double nextDue = -1;                   // the grid's next deadline, page clock; -1 none yet
    bool immediate = false;                // the loop is timed as fast as the browser calls back
    uint32_t writesOnHide = 0;
    bool seededSettings = false;
    char stats[3072] = {};
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

// One turn; false when the run has ended.
bool RunTurn(bool present) {
    int code = 0;
    if (!KelvorineTurn(&code, present)) {
        RunEnded(code);
        return false;
    }
    if (++gRun.turns == 1) gRun.firstPresentMs = emscripten_get_now();
    return true;
}

void SetTiming(bool immediate) {
    if (immediate == gRun.immediate) return;
    gRun.immediate = immediate;
    emscripten_set_main_loop_timing(immediate ? EM_TIMING_SETIMMEDIATE : EM_TIMING_RAF, immediate ? 0 : 1);
}

// The turns due now, the last one drawn. Returns how many ran (0 also when the run ended).
int RunDueTurns(double now) {
    const bool unpaced = KelvorineNoWaitUnpaced();
    SetTiming(unpaced);
    if (unpaced || KelvorinePacedByDisplay()) {
        gRun.nextDue = -1;
        return RunTurn(true) ? 1 : 0;
    }
    if (gRun.nextDue < 0) gRun.nextDue = now;
    int ran = 0;
    while (ran < kMaxTurnsPerFrame && now + kEarlyMs >= gRun.nextDue) {
        if (gRun.holdAfter != 0 && gRun.turns >= gRun.holdAfter) break;
        if (!RunTurn(false)) return 0;
        ++ran;
        const double step = KelvorineTurnMs();
        if (step <= 0) {  // the mode changed to No Wait: one turn now, the rest as it says
            gRun.nextDue = -1;
            break;
        }
        gRun.nextDue += step;
    }
    // A short stall is made up over the next display frames, four turns at a time; further
    // behind (the page was hidden, or the machine cannot keep up) the backlog is let go.
    if (gRun.nextDue >= 0 && now - gRun.nextDue > kMaxBacklogMs) gRun.nextDue = now + kEarlyMs;
    if (ran > 0) KelvorinePresent();
    return ran;
}

void Tick() {
    if (!gRun.running) return;
    const double start = emscripten_get_now();
    if (gRun.holdAfter != 0 && gRun.turns >= gRun.holdAfter) return;
    if (RunDueTurns(start) == 0) return;
    const double end = emscripten_get_now();
    if (gRun.lastTurnStart >= 0) {
        gRun.intervals[gRun.intervalCount % kIntervalRing] = static_cast<float>(start - gRun.lastTurnStart);
        ++gRun.intervalCount;
    }
    gRun.costs[gRun.costCount % kIntervalRing] = static_cast<float>(end - start);
    ++gRun.costCount;
    gRun.lastTurnStart = start;
}

// The page is being hidden (another tab, a minimised window, the tab closing): the quit files now,
// straight into IndexedDB.
EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent* e, void*) {
    if (e->hidden && gRun.running && KelvorineWriteQuitFiles() && StoreQuitFilesNow(kWebBaseFolder)) {
        ++gRun.writesOnHide;
    }
    return EM_FALSE;
}

// A first visit (neither "Game.ini" nor "dir.txt" stored): the packaged settings of audible
// defaults, so the first game is heard (without a settings file both volumes would be 0). A stored
// "Game.ini" is never replaced. Returns whether it was seeded.
bool SeedSettingsFile() {
    char ini[64], dir[64], packaged[64];
    std::snprintf(ini, sizeof ini, "%s/Game.ini", kWebBaseFolder);
    std::snprintf(dir, sizeof dir, "%s/dir.txt", kWebBaseFolder);
    std::snprintf(packaged, sizeof packaged, "%s/Game.ini", kWebGameFolder);
    if (access(ini, F_OK) == 0 || access(dir, F_OK) == 0) return false;
    FILE* in = std::fopen(packaged, "rb");
    if (in == nullptr) return false;
    uint8_t image[1024];
    const size_t n = std::fread(image, 1, sizeof image, in);
    std::fclose(in);
    FILE* out = std::fopen(ini, "wb");
    if (out == nullptr) return false;
    const bool ok = n > 0 && std::fwrite(image, 1, n, out) == n;
    if (std::fclose(out) != 0 || !ok) {
        std::remove(ini);  // a settings file cut short is worse than none
        return false;
    }
    return true;
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
    gRun.seededSettings = SeedSettingsFile();
    SeedDataFolderFile();
    int code = 0;
    if (!KelvorineStart(1, &code)) {
        RunEnded(code);
        return;
    }
    gRun.running = true;
    emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, OnVisibility);
    emscripten_set_main_loop(Tick, 0, 0);  // at the display's frames
}

// A touch control of the page pressed or released: virtual key vk held or not.
EMSCRIPTEN_KEEPALIVE void kelvorine_web_key(int vk, int down) {
    if (gRun.platform != nullptr) gRun.platform->input.PageKey(vk, down != 0);
}

// The page went into full screen or left it (the browser's own key, a refused request, the first
// tap on a touch screen): where the game's window mode says otherwise, the game's own toggle sets
// it to match, as if the player had asked.
EMSCRIPTEN_KEEPALIVE void kelvorine_web_fullscreen_changed(int on) {
    if (gGame == nullptr || !gRun.running) return;
    System* s = gGame->system;
    if ((on != 0) != (s->fullScreen != 0)) s->toggleRequest = 1;
}

// The run as the page can see it, in one JSON text (valid until the next call).
EMSCRIPTEN_KEEPALIVE const char* kelvorine_web_stats() {
    static float sorted[kIntervalRing];
    static float costSorted[kIntervalRing];
    const uint32_t n = std::min<uint32_t>(gRun.intervalCount, kIntervalRing);
    std::copy(gRun.intervals, gRun.intervals + n, sorted);
    std::sort(sorted, sorted + n);
    const uint32_t nc = std::min<uint32_t>(gRun.costCount, kIntervalRing);
    std::copy(gRun.costs, gRun.costs + nc, costSorted);
    std::sort(costSorted, costSorted + nc);
    char renderer[128];
    std::snprintf(renderer, sizeof renderer, "%s", WebGlRendererName());
    for (char* c = renderer; *c != 0; ++c) {
        if (*c == '"' || *c == '\\' || static_cast<unsigned char>(*c) < 0x20) *c = '?';
    }
    const GlFrameCounters& gl = SdlGlLastFrame();
    char* out = gRun.stats;
    const size_t cap = sizeof gRun.stats;
    int len = std::snprintf(out, cap,
                            "{\"running\":%d,\"ended\":%d,\"exitCode\":%d,\"turns\":%u,"
                            "\"firstPresentMs\":%.1f,\"frameMs\":{\"count\":%u,\"p50\":%.2f,\"p99\":%.2f,"
                            "\"max\":%.2f},\"costMs\":{\"count\":%u,\"p50\":%.2f,\"p99\":%.2f},"
                            "\"writesOnHide\":%u,\"seededSettings\":%d,\"path\":\"%s\",\"renderer\":\"%s\","
                            "\"gl\":{\"draws\":%u,\"uploadBytes\":%u}",
                            gRun.running, gRun.ended, gRun.exitCode, gRun.turns, gRun.firstPresentMs, n,
                            Percentile(sorted, n, 0.5), Percentile(sorted, n, 0.99),
                            n > 0 ? sorted[n - 1] : 0.0, nc, Percentile(costSorted, nc, 0.5),
                            Percentile(costSorted, nc, 0.99), gRun.writesOnHide, gRun.seededSettings,
                            gRun.platform->drawPath == WebDrawPath::WebGl ? "webgl" : "canvas", renderer,
                            gl.draws, gl.uploadBytes);
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
                "\"musicRunning\":%d,\"musicUnderruns\":%u,\"musicFromLoop\":%d,\"bgmVolume\":%d,\"seVolume\":%d}",
                xa->masterVoice && s->soundOff == 0,
                static_cast<unsigned long long>(gRun.platform->audio.framesPlayed.load()),
                s->currentMusicTrack.load(std::memory_order_relaxed),
                bgm != nullptr ? bgm->BuffersQueued() : 0u, bgm != nullptr && bgm->Running(),
                bgm != nullptr ? bgm->Underruns() : 0u, xa->streamFromLoop, s->bgmVolume, s->seVolume);
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
