// Sprite throughput and the cost of the busiest play frame.
//   BM_DrawSprite / BM_DrawSpriteRotated   one DrawSprite call (items/s = sprites per second)
//   BM_BusiestPlayFrame                    rules and every sprite of a play frame with a full board,
//                                          about 300 game-over bars, the picture and all texts
//   BM_BeginFrame                          clearing the sprite queue
//   BM_GameSceneFrame                      the whole play-scene frame, queue clearing included
#include <benchmark/benchmark.h>

#include <memory>

#include "audio/CXa2.h"
#include "game/CObjectIcDX.h"
#include "game/GameScene.h"
#include "game/PlayState.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "platform/headless/headless.h"
#include "shell/BootedGame.h"
#include "shell/Game.h"
#include "core/System.h"
#include "support/fixtures.h"

namespace {

// One headless game for all cases.
struct BenchGame {
    BenchGame() {
        platform.services.echoMessages = false;
        platform.SetCalendarTime(1700000000);
        platform.Install();
        booted = std::make_unique<BootedGame>();
        game = booted->game;
        game->mapSceneEntity->sceneNumber = kScenePlay;
    }
    HeadlessPlatform platform;
    std::unique_ptr<BootedGame> booted;
    Game* game = nullptr;
};

BenchGame& Bench() {
    static BenchGame b;
    return b;
}

DrawParam Cell(int i) {
    DrawParam p = fixtures::Sprite(496 + 24 * (i % 12), 24 * (i / 12), 24, 24, 192 + 8 * (i % 10), 256, 8, 8, 3);
    p.pivotX = 12.0f;
    p.pivotY = 12.0f;
    return p;
}

void DrawSprites(benchmark::State& state, bool rotated) {
    CDx_Gr* gr = Bench().game->dxGr;
    DrawParam params[64];
    for (int i = 0; i < 64; ++i) {
        params[i] = Cell(i);
        if (rotated) params[i].angleZ = i * 4 + 1;
    }
    gr->BeginFrame();
    uint32_t n = 0;
    for (auto _ : state) {
        gr->DrawSprite(params[n & 63]);
        if (++n == 14000) {
            gr->queueCount = 0;
            n = 0;
        }
    }
    benchmark::DoNotOptimize(gr->vertices[0]);
    state.SetItemsProcessed(state.iterations());
}

void BM_DrawSprite(benchmark::State& state) { DrawSprites(state, false); }
void BM_DrawSpriteRotated(benchmark::State& state) { DrawSprites(state, true); }

// The busiest frame: every playing cell occupied (one gap per row, so nothing clears), the
// game-over sequence at about 300 bars with its picture, a ten-digit score.
void PrepareBusiestFrame() {
    ResetPlayStateToProgramStart();
    System* sys = Bench().game->system;
    MapSceneEntity* scene = Bench().game->mapSceneEntity;
    sys->dirBits = 0;
    sys->buttonBits = 0;
    CObjectIcDX(sys, scene, Bench().game->xa2, Bench().game->dxGr).PlayFrame();  // set-up
    for (int r = 3; r < 28; ++r) {
        for (int c = 1; c <= 10; ++c) gPlay.board[r * 12 + c] = c == 1 + r % 10 ? 0 : 1 + (r + c) % 8;
    }
    gPlay.pieceQueue[0] = 6;
    gPlay.score = 1234567890;
    gPlay.level = 9;
    scene->fadeAlpha = 0;
    scene->menu.paused = 0;
}

void BM_BusiestPlayFrame(benchmark::State& state) {
    PrepareBusiestFrame();
    Game* game = Bench().game;
    CDx_Gr* gr = game->dxGr;
    gr->BeginFrame();
    uint32_t sprites = 0;
    for (auto _ : state) {
        gPlay.gameOverCounter = 300;
        gPlay.stuckCount = 0;
        gr->queueCount = 0;
        CObjectIcDX object(game->system, game->mapSceneEntity, game->xa2, game->dxGr);
        CBGIcDX(game->system, game->mapSceneEntity).DrawBackground(game->dxGr);
        object.PlayFrame();
        object.DrawFadeOverlay();
        object.DrawBorders();
        object.DrawStatusLine();
        sprites = gr->queueCount;
    }
    state.counters["sprites"] = sprites;
}

void BM_BeginFrame(benchmark::State& state) {
    CDx_Gr* gr = Bench().game->dxGr;
    for (auto _ : state) {
        gr->BeginFrame();
        benchmark::ClobberMemory();
    }
}

void BM_GameSceneFrame(benchmark::State& state) {
    PrepareBusiestFrame();
    Game* game = Bench().game;
    MapSceneEntity* scene = game->mapSceneEntity;
    for (auto _ : state) {
        gPlay.gameOverCounter = 300;
        gPlay.stuckCount = 0;
        scene->fadeAlpha = 0;   // keeps the game from ending
        GameSceneFrame(game->system, game->mapSceneEntity, game->xa2, game->dxGr);
    }
    state.counters["sprites"] = Bench().game->dxGr->queueCount;
}

BENCHMARK(BM_DrawSprite);
BENCHMARK(BM_DrawSpriteRotated);
BENCHMARK(BM_BusiestPlayFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BeginFrame)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GameSceneFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
