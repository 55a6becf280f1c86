// Cost of the menus.
//   BM_TitleFrameOptionsOpen   a whole title frame with the options panel fully open on the
//                              SE VOLUME row (backdrop, menu, panel, every options sprite,
//                              the effect preview, overlay, borders and status line)
//   BM_TitleFrameRankingOpen   the same with the ranking panel
//   BM_TitleFrameIdle          a title frame with only the title menu
#include <benchmark/benchmark.h>

#include <memory>

#include "audio/CXa2.h"
#include "graphics/CDx_Gr.h"
#include "graphics/MapSceneEntity.h"
#include "menus/CTitleIcDX.h"
#include "menus/Menu.h"
#include "menus/TitleFrame.h"
#include "platform/headless/headless.h"
#include "shell/BootedGame.h"
#include "shell/CXi.h"
#include "shell/Game.h"
#include "shell/System.h"

namespace {

// A headless game of its own; the platform and container of whoever ran before are put back.
class MenuBench {
public:
    MenuBench() : savedPlatform_(Plat()) {
        platform_.services.echoMessages = false;
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
        MenuBlock& m = game_->mapSceneEntity->menu;
        m.titlePhase = kPhaseIdle;
        m.titleOpen = kOpenSteps;
        m.titleCursor = item;
        m.titleRepeat = kRepeatReady;
        m.optionRepeat = kRepeatReady;
        m.valueRepeat = kRepeatReady;
        if (item != 0) {
            m.subPhase = kPhaseIdle;
            m.subOpen = kOpenSteps;
        }
        m.optionCursor = row;
        game_->mapSceneEntity->menuChoice = item;
    }

private:
    Platform savedPlatform_;
    HeadlessPlatform platform_;
    std::unique_ptr<BootedGame> booted_;
    Game* game_ = nullptr;
};

void RunTitleFrames(benchmark::State& state, int32_t item, int32_t row) {
    MenuBench bench;
    bench.Open(item, row);
    for (auto _ : state) {
        TitleFrame();
        benchmark::DoNotOptimize(gGame->dxGr->queueCount);
    }
    state.counters["sprites"] = gGame->dxGr->queueCount;
}

void BM_TitleFrameOptionsOpen(benchmark::State& state) { RunTitleFrames(state, kItemOptions, kRowSeVolume); }
void BM_TitleFrameRankingOpen(benchmark::State& state) { RunTitleFrames(state, kItemRanking, 0); }
void BM_TitleFrameIdle(benchmark::State& state) { RunTitleFrames(state, kItemStart, 0); }

}  // namespace

BENCHMARK(BM_TitleFrameOptionsOpen);
BENCHMARK(BM_TitleFrameRankingOpen);
BENCHMARK(BM_TitleFrameIdle);
