// Cost of the menus.
//   BM_TitleFrameOptionsOpen   a whole title frame with the options panel fully open on the
//                              SE VOLUME row (backdrop, menu, panel, every options sprite,
//                              the effect preview, overlay, borders and status line)
//   BM_TitleFrameRankingOpen   the same with the ranking panel
//   BM_TitleFrameIdle          a title frame with only the title menu
//   BM_TitleScreenRaster/N     the same three screens (0 title, 1 ranking, 2 options) with the
//                              shipped textures, drawn by the software render device as the
//                              window's software path sets it up (window channel order, alpha
//                              unused, bands of rows): what a title frame costs a machine without
//                              a GPU, short of putting it into the window. The
//                              textures come from KELVORINE_BENCH_DATA or the build's staging
//                              folder. rows_copied: pixel rows a frame copied from the row above.
//   BM_TitleScreenRasterCold/N the same with 32 MB of other memory read and written before each
//                              frame (not timed), as between two frames of the window, where the
//                              display server copies the picture and other programs run: the
//                              textures and the frame's own data then come from memory.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "audio/CXa2.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "menus/CTitleIcDX.h"
#include "menus/Menu.h"
#include "menus/TitleFrame.h"
#include "platform/common/raster.h"
#include "platform/headless/headless.h"
#include "shell/BootedGame.h"
#include "core/CXi.h"
#include "shell/Game.h"
#include "core/System.h"
#include "support/fixtures.h"

namespace {

// A headless game of its own; the platform and container of whoever ran before are put back.
class MenuBench {
public:
    // With `raster` the frames are drawn by a software render device of the window's kind.
    explicit MenuBench(bool raster = false) : savedPlatform_(Plat()) {
        platform_.services.echoMessages = false;
        if (raster) {
            platform_.render.reset(raster_ = new RasterRender());
            raster_->SetBgrOrder(true);
            raster_->SetAlphaUnused(true);
            raster_->SetBanded(true);
        }
        platform_.Install();
        booted_ = std::make_unique<BootedGame>();
        game_ = booted_->game;
        game_->system->soundMode = 2;
        booted_->CreateEffectVoices();
    }
    ~MenuBench() {
        booted_.reset();
        SetPlatform(savedPlatform_);
    }
    // Opens sub-screen `item` (0: none) and leaves the options cursor on `row`.
    void Open(int32_t item, int32_t row) {
        fixtures::OpenMenu(*game_->mapSceneEntity, item, row);
    }

    // Creates the device and loads the shipped textures; false (with the reason) when they are missing.
    bool LoadTextures(const char** why) {
        const char* data = std::getenv("KELVORINE_BENCH_DATA");
        if (data == nullptr) data = KELVORINE_BENCH_STAGE "/data";
        if (game_->dxGr->Create() < 0) {
            *why = "the render device could not be created";
            return false;
        }
        if (!booted_->LoadTextures(data)) {
            *why = "no game data (set KELVORINE_BENCH_DATA to a data folder)";
            return false;
        }
        return true;
    }
    RasterRender* raster() const { return raster_; }

private:
    Platform savedPlatform_;
    RasterRender* raster_ = nullptr;
    HeadlessPlatform platform_;
    std::unique_ptr<BootedGame> booted_;
    Game* game_ = nullptr;
};

void RunTitleFrames(benchmark::State& state, int32_t item, int32_t row) {
    MenuBench bench;
    bench.Open(item, row);
    for (auto _ : state) {
        TitleFrame(gGame->system, gGame->mapSceneEntity, gGame->xi, gGame->xa2, gGame->dxGr);
        benchmark::DoNotOptimize(gGame->dxGr->queueCount);
    }
    state.counters["sprites"] = gGame->dxGr->queueCount;
}

void BM_TitleFrameOptionsOpen(benchmark::State& state) { RunTitleFrames(state, kItemOptions, kRowSeVolume); }
void BM_TitleFrameRankingOpen(benchmark::State& state) { RunTitleFrames(state, kItemRanking, 0); }
void BM_TitleFrameIdle(benchmark::State& state) { RunTitleFrames(state, kItemStart, 0); }

void RunTitleScreenRaster(benchmark::State& state, bool cold) {
    const int32_t items[3] = {kItemStart, kItemRanking, kItemOptions};
    MenuBench bench(true);
    const char* why = nullptr;
    if (!bench.LoadTextures(&why)) {
        state.SkipWithError(why);
        return;
    }
    bench.Open(items[state.range(0)], kRowSeVolume);
    std::vector<uint32_t> other(cold ? (32u << 20) / sizeof(uint32_t) : 0);
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            for (size_t i = 0; i < other.size(); i += 16) other[i] += 1;  // one word a cache line
            state.ResumeTiming();
        }
        TitleFrame(gGame->system, gGame->mapSceneEntity, gGame->xi, gGame->xa2, gGame->dxGr);
        gGame->dxGr->EndFrame();
        benchmark::DoNotOptimize(bench.raster()->Pixels()[640 * 360]);
    }
    state.counters["sprites"] = gGame->dxGr->queueCount;
    state.counters["rows_copied"] =
        benchmark::Counter(static_cast<double>(bench.raster()->rowsCopied), benchmark::Counter::kAvgIterations);
}

void BM_TitleScreenRaster(benchmark::State& state) { RunTitleScreenRaster(state, false); }
void BM_TitleScreenRasterCold(benchmark::State& state) { RunTitleScreenRaster(state, true); }

}  // namespace

BENCHMARK(BM_TitleScreenRaster)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TitleScreenRasterCold)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TitleFrameOptionsOpen);
BENCHMARK(BM_TitleFrameRankingOpen);
BENCHMARK(BM_TitleFrameIdle);
