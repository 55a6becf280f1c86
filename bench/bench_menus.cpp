// Cost of the menus.
//   BM_TitleFrameOptionsOpen   a whole title frame with the options panel fully open on the
//                              SE VOLUME row (backdrop, menu, panel, every options sprite,
//                              the effect preview, overlay, borders and status line)
//   BM_TitleFrameRankingOpen   the same with the ranking panel
//   BM_TitleFrameIdle          a title frame with only the title menu
#include <benchmark/benchmark.h>

#include "audio/CXa2.h"
#include "graphics/CDx_Gr.h"
#include "graphics/MapSceneEntity.h"
#include "menus/CTitleIcDX.h"
#include "menus/Menu.h"
#include "menus/TitleFrame.h"
#include "platform/headless/headless.h"
#include "shell/CXi.h"
#include "shell/Game.h"
#include "shell/System.h"

namespace {

// A headless game of its own; the platform and container of whoever ran before are put back.
class MenuBench {
public:
    MenuBench() : savedPlatform_(Plat()), savedGame_(gGame) {
        platform_.services.echoMessages = false;
        platform_.Install();
        game_ = new Game();
        gGame = game_;
        System* s = game_->system;
        MapSceneEntity* m = game_->mapSceneEntity;
        game_->dxGr->system = s;
        game_->dxGr->scene = m;
        game_->xi->system = s;
        game_->xi->scene = m;
        game_->xa2->settings = s;
        m->FillAngleTables();
        m->textureReloadFlag = 0;
        s->soundMode = 2;
        WaveFormat f{1, 2, 44100, 176400, 4, 16, 0};
        for (int i = 0; i < kEffectVoices; ++i) game_->xa2->seVoice[i] = platform_.audio.CreateSourceVoice(f);
        ResetMenuProcessState();
    }
    ~MenuBench() {
        for (int i = 0; i < kEffectVoices; ++i) game_->xa2->seVoice[i] = nullptr;
        delete game_;
        gGame = savedGame_;
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
    Game* savedGame_;
    HeadlessPlatform platform_;
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
