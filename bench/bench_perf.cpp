// Costs around the frame that the other benchmark files leave out:
//   BM_SettingsWriteRead     "Game.ini" written and read back (the quit path and the start-up)
//   BM_OggEffectDecode       one Ogg effect of the default data decoded into its voice buffer
//   BM_GlEndFrame            EndFrame of a play frame on the OpenGL device, on a real window
//   BM_SoftEndFrame          the same frame on the software presentation path; /changed moves
//                            one sprite each frame, /unchanged repeats the queue
//   BM_SoftVsyncNoWait       timer No Wait + VSYNC ON on the software path: frames per second
//                            against the display's refresh rate
// The last two need a display ($DISPLAY, e.g. Xvfb) and the shader files in the current folder:
// run them from the staging folder (cd build/<name>/stage && ../bench/kelvorine_bench).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "audio/CXa2.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "platform/headless/headless.h"
#include "core/CLoadFile.h"
#include "shell/BootedGame.h"
#include "shell/Game.h"
#include "core/System.h"
#include "support/fixtures.h"
#include "platform/common/text.h"

#ifdef KELVORINE_BENCH_SDL
#include "platform/sdl/sdl_platform.h"
#include "platform/sdl/sdl_render_soft.h"
#endif

namespace {

// The staging folder of this build tree (build/<name>/stage), or empty.
std::string StageFolder() {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return {};
    exe[n] = 0;
    std::string dir(exe);
    dir.resize(dir.rfind('/'));               // build/<name>/bench
    std::string stage = dir.substr(0, dir.rfind('/')) + "/stage/";
    return access((stage + "dir.txt").c_str(), R_OK) == 0 ? stage : std::string();
}

void BM_SettingsWriteRead(benchmark::State& state) {
    HeadlessPlatform platform;
    platform.services.echoMessages = false;
    platform.Install();
    auto sys = std::make_unique<System>();
    auto scene = std::make_unique<MapSceneEntity>();
    char folder[] = "/tmp/kelvorine-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string file = std::string(folder) + "/Game.ini";
    char16_t path[kPathChars];
    Utf8ToU16(file.c_str(), path, kPathChars);
    CLoadFile loader(sys.get(), scene.get());
    for (auto _ : state) {
        if (!loader.WriteSettings(path) || !loader.ReadSettings(path)) {
            state.SkipWithError("settings file round trip failed");
            break;
        }
    }
    unlink(file.c_str());
    rmdir(folder);
}
BENCHMARK(BM_SettingsWriteRead)->Unit(benchmark::kMicrosecond);

void BM_OggEffectDecode(benchmark::State& state) {
    const std::string stage = StageFolder();
    if (stage.empty()) {
        state.SkipWithError("no staging folder (ninja stage)");
        return;
    }
    HeadlessPlatform platform;
    platform.services.echoMessages = false;
    platform.Install();
    auto booted = std::make_unique<BootedGame>();
    Game* game = booted->game;
    game->system->soundMode = 2;
    game->system->seVolume = 10000;
    char16_t path[kPathChars];
    Utf8ToU16((stage + "data/ogg/sfx_0000.ogg").c_str(), path, kPathChars);
    if (!game->xa2->CreateEngine()) {
        state.SkipWithError("no audio engine");
    } else {
        for (auto _ : state) {
            if (!game->xa2->LoadSe(path, 0)) {
                state.SkipWithError("the effect did not load");
                break;
            }
        }
        game->xa2->ShutdownAudio();
    }
    booted.reset();
}
BENCHMARK(BM_OggEffectDecode)->Unit(benchmark::kMicrosecond);

#ifdef KELVORINE_BENCH_SDL

// A real SDL window with the device of the chosen path, the game's renderer in front of it, and
// a play-like queue: a backdrop, a 12 x 28 well of cells, panels of text and the closing overlay.
struct WindowRig {
    explicit WindowRig(const char* path) {
        setenv("KELVORINE_RENDER", path, 1);
        platform = std::make_unique<SdlPlatform>();
        platform->Install();
        ok = platform->window.RegisterClass() && platform->window.Create();
        if (!ok) return;
        platform->window.Show();
        scene->FillAngleTables();
        gr->system = sys.get();
        gr->scene = scene.get();
        ok = gr->Create() == 1;
        if (!ok) return;
        static uint32_t pixels[512 * 512];
        for (int i = 0; i < 512 * 512; ++i) pixels[i] = (i % 7 == 0) ? 0u : 0xFF000000u | (i * 2654435761u >> 8);
        for (int id = 0; id < 8; ++id) Plat().render->CreateTexture(id, PlatTextureFormat::R8G8B8A8, pixels);
        for (int id = 0; id < 8; ++id) gr->textureLoaded[id] = 1;
    }
    ~WindowRig() {
        if (platform) gr->Release();
        gr.reset();
        platform.reset();
        unsetenv("KELVORINE_RENDER");
    }
    void Sprite(int x, int y, int w, int h, int sx, int sy, int tex, uint32_t colour = 0xFFFFFFFFu) {
        gr->DrawSprite(fixtures::Sprite(x, y, w, h, sx, sy, w, h, tex, colour));
    }
    void PlayQueue(int pieceY) {
        gr->BeginFrame();
        Sprite(0, 0, 1280, 720, 0, 0, 3);
        for (int i = 0; i < 336; ++i) Sprite(496 + 24 * (i % 12), 24 * (i / 12), 24, 24, 24 * (i % 8), 288, 1);
        for (int i = 0; i < 200; ++i) Sprite(808 + 16 * (i % 20), 40 + 32 * (i / 20), 16, 32, 16 * (i % 16), 96, 6);
        for (int k = 0; k < 4; ++k) Sprite(600 + 24 * k, pieceY, 24, 24, 24, 288, 1);
        Sprite(0, 0, 1280, 720, 0, 0, kFadeTexture, 0x00FFFFFFu);
    }

    std::unique_ptr<SdlPlatform> platform;
    std::unique_ptr<System> sys = std::make_unique<System>();
    std::unique_ptr<MapSceneEntity> scene = std::make_unique<MapSceneEntity>();
    std::unique_ptr<CDx_Gr> gr = std::make_unique<CDx_Gr>();
    bool ok = false;
};

void RunEndFrames(benchmark::State& state, const char* path, bool moving) {
    if (std::getenv("DISPLAY") == nullptr) {
        state.SkipWithError("no display (run under Xvfb)");
        return;
    }
    WindowRig rig(path);
    if (!rig.ok) {
        state.SkipWithError("no window or device");
        return;
    }
    int frame = 0;
    for (auto _ : state) {
        rig.PlayQueue(moving ? 24 * (frame++ % 20) : 200);
        rig.gr->EndFrame();
        SDL_PumpEvents();
    }
    state.counters["sprites"] = rig.gr->queueCount;
}

void BM_GlEndFrame(benchmark::State& state) { RunEndFrames(state, "gl", true); }
BENCHMARK(BM_GlEndFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SoftEndFrameChanged(benchmark::State& state) { RunEndFrames(state, "soft", true); }
BENCHMARK(BM_SoftEndFrameChanged)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SoftEndFrameUnchanged(benchmark::State& state) { RunEndFrames(state, "soft", false); }
BENCHMARK(BM_SoftEndFrameUnchanged)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Timer "No Wait" with VSYNC ON on the software path: nothing but the present paces the frames,
// which must come at the display's refresh rate ("fps" against "refresh", "off_pct" the gap).
// /0 repeats one picture (the pacing alone), /1 moves a piece each frame (pacing and drawing).
// A fixed count of 600 frames (10 s) keeps it to one window per case.
void BM_SoftVsyncNoWait(benchmark::State& state) {
    if (std::getenv("DISPLAY") == nullptr) {
        state.SkipWithError("no display (run under Xvfb)");
        return;
    }
    WindowRig rig("soft");
    if (!rig.ok) {
        state.SkipWithError("no window or device");
        return;
    }
    rig.sys->vsync = 1;
    rig.sys->timerMode = 3;  // No Wait: the loop itself never waits
    SDL_DisplayMode mode;
    const int hz = SDL_GetCurrentDisplayMode(0, &mode) == 0 && mode.refresh_rate > 0 ? mode.refresh_rate : 60;
    int frame = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        rig.PlayQueue(state.range(0) != 0 ? 24 * (frame++ % 20) : 200);
        rig.gr->EndFrame();
        SDL_PumpEvents();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double fps = static_cast<double>(state.iterations()) / seconds;
    state.counters["fps"] = fps;
    state.counters["refresh"] = hz;
    state.counters["off_pct"] = 100.0 * (fps - hz) / hz;
}
BENCHMARK(BM_SoftVsyncNoWait)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(600);

#endif  // KELVORINE_BENCH_SDL

}  // namespace
