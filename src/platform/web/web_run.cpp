// The page's loop and its figures (see web_run.h).
#include "platform/web/web_run.h"

#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/sdl/sdl_render_gl.h"
#include "platform/web/web_files.h"
#include "platform/web/web_platform.h"

namespace {

constexpr int kIntervalRing = 4096;
// At most this many turns run at one display frame; a turn due up to kEarlyMs ahead runs at this
// frame rather than the next (so a grid in step with the display keeps one turn a frame despite
// the jitter of frame times).
constexpr int kMaxTurnsPerFrame = 4;
constexpr double kEarlyMs = 4.0;
constexpr double kMaxBacklogMs = 250.0;

struct WebRunState {
    WebPlatform* platform = nullptr;
    WebGame game = {};
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
    uint32_t writesOnRanking = 0;
    bool seededSettings = false;
    char stats[3072] = {};
};

WebRunState gRun;

void RunEnded(int code) {
    gRun.running = false;
    gRun.ended = true;
    gRun.exitCode = code;
    emscripten_cancel_main_loop();
    WebSyncFilesOut();
    EM_ASM({
        if (typeof Module.kelvorineEnded === 'function') Module.kelvorineEnded($0);
    }, code);
}

// One turn; false when the run has ended.
bool RunTurn(bool present) {
    int code = 0;
    if (!gRun.game.turn(&code, present)) {
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
    const bool unpaced = gRun.game.noWaitUnpaced();
    SetTiming(unpaced);
    if (unpaced || gRun.game.pacedByDisplay()) {
        gRun.nextDue = -1;
        return RunTurn(true) ? 1 : 0;
    }
    if (gRun.nextDue < 0) gRun.nextDue = now;
    int ran = 0;
    while (ran < kMaxTurnsPerFrame && now + kEarlyMs >= gRun.nextDue) {
        if (gRun.holdAfter != 0 && gRun.turns >= gRun.holdAfter) break;
        if (!RunTurn(false)) return 0;
        ++ran;
        const double step = gRun.game.turnMs();
        if (step <= 0) {  // the mode changed to No Wait: one turn now, the rest as it says
            gRun.nextDue = -1;
            break;
        }
        gRun.nextDue += step;
    }
    // A short stall is made up over the next display frames, four turns at a time; further
    // behind (the page was hidden, or the machine cannot keep up) the backlog is let go.
    if (gRun.nextDue >= 0 && now - gRun.nextDue > kMaxBacklogMs) gRun.nextDue = now + kEarlyMs;
    if (ran > 0) gRun.game.present();
    return ran;
}

void Tick() {
    if (!gRun.running) return;
    const double start = emscripten_get_now();
    if (gRun.holdAfter != 0 && gRun.turns >= gRun.holdAfter) return;
    if (RunDueTurns(start) == 0) return;
    if (gRun.game.rankingChanged() && gRun.game.writeQuitFiles() && WebStoreQuitFilesNow()) {
        ++gRun.writesOnRanking;
    }
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
    if (e->hidden && gRun.running && gRun.game.writeQuitFiles() && WebStoreQuitFilesNow()) {
        ++gRun.writesOnHide;
    }
    return EM_FALSE;
}

// The program's folder has been read in: the game starts.
void Begin() {
    gRun.holdAfter = static_cast<uint32_t>(std::max(0, EM_ASM_INT({
        return Number(new URLSearchParams(location.search).get('hold')) || 0;
    })));
    gRun.seededSettings = WebSeedFirstVisit();
    int code = 0;
    if (!gRun.game.start(&code)) {
        RunEnded(code);
        return;
    }
    gRun.running = true;
    emscripten_set_visibilitychange_callback(nullptr, EM_FALSE, OnVisibility);
    emscripten_set_main_loop(Tick, 0, 0);  // at the display's frames
}

double Percentile(const float* sorted, uint32_t n, double p) {
    if (n == 0) return 0;
    const uint32_t i = static_cast<uint32_t>(p * (n - 1) + 0.5);
    return sorted[std::min(i, n - 1)];
}

// The ring's figures, sorted into `sorted`; returns how many.
uint32_t Sorted(const float* ring, uint32_t count, float* sorted) {
    const uint32_t n = std::min<uint32_t>(count, kIntervalRing);
    std::copy(ring, ring + n, sorted);
    std::sort(sorted, sorted + n);
    return n;
}

// The run's own figures as JSON members (the opening brace included); returns the length.
int RunFigures(char* out, size_t cap) {
    static float sorted[kIntervalRing];
    static float costSorted[kIntervalRing];
    const uint32_t n = Sorted(gRun.intervals, gRun.intervalCount, sorted);
    const uint32_t nc = Sorted(gRun.costs, gRun.costCount, costSorted);
    char renderer[128];
    std::snprintf(renderer, sizeof renderer, "%s", WebGlRendererName());
    for (char* c = renderer; *c != 0; ++c) {
        if (*c == '"' || *c == '\\' || static_cast<unsigned char>(*c) < 0x20) *c = '?';
    }
    const GlFrameCounters& gl = SdlGlLastFrame();
    return std::snprintf(out, cap,
                         "{\"running\":%d,\"ended\":%d,\"exitCode\":%d,\"turns\":%u,"
                         "\"firstPresentMs\":%.1f,\"frameMs\":{\"count\":%u,\"p50\":%.2f,\"p99\":%.2f,"
                         "\"max\":%.2f},\"costMs\":{\"count\":%u,\"p50\":%.2f,\"p99\":%.2f},"
                         "\"writesOnHide\":%u,\"writesOnRanking\":%u,\"seededSettings\":%d,"
                         "\"path\":\"%s\",\"renderer\":\"%s\","
                         "\"gl\":{\"draws\":%u,\"uploadBytes\":%u}",
                         gRun.running, gRun.ended, gRun.exitCode, gRun.turns, gRun.firstPresentMs, n,
                         Percentile(sorted, n, 0.5), Percentile(sorted, n, 0.99), n > 0 ? sorted[n - 1] : 0.0,
                         nc, Percentile(costSorted, nc, 0.5), Percentile(costSorted, nc, 0.99),
                         gRun.writesOnHide, gRun.writesOnRanking, gRun.seededSettings,
                         gRun.platform->drawPath == WebDrawPath::WebGl ? "webgl" : "canvas", renderer,
                         gl.draws, gl.uploadBytes);
}

}  // namespace

// The run as the page can see it, in one JSON text (valid until the next call).
extern "C" EMSCRIPTEN_KEEPALIVE const char* kelvorine_web_stats() {
    char* out = gRun.stats;
    const size_t cap = sizeof gRun.stats;
    int len = RunFigures(out, cap);
    if (len > 0 && static_cast<size_t>(len) < cap && gRun.game.figures != nullptr) {
        const int more = gRun.game.figures(out + len, cap - len);
        len = more < 0 ? -1 : len + more;
    }
    if (len > 0 && static_cast<size_t>(len) + 2 < cap) std::strcpy(out + len, "}");
    return out;
}

// A touch control of the page pressed or released: virtual key vk held or not.
extern "C" EMSCRIPTEN_KEEPALIVE void kelvorine_web_key(int vk, int down) {
    if (gRun.platform != nullptr) gRun.platform->input.PageKey(vk, down != 0);
}

void WebRunGame(WebPlatform* platform, const WebGame& game) {
    gRun.platform = platform;
    gRun.game = game;
    WebMountFileStore(Begin);
}

bool WebRunning() { return gRun.running; }
