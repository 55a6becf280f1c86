// Sound and music costs, on the default data folder made by kelvorine-mkdata (found through
// $KELVORINE_DATA, else the staging folders of the build trees).
//   BM_AudioStartupLoad     the sound-list step: 32 Ogg effects decoded, 64 Ogg tracks opened
//                           with their loop files, the music voice and the music thread
//   BM_FillMusicChunkOgg    one 32,768-byte chunk of Ogg music, loops included
//   BM_MusicThreadCpu       the music thread's CPU time per second of play (counter cpu_percent)
//   BM_MusicSoak            music played against a device that takes sound at the real rate for
//                           $KELVORINE_SOAK_SECONDS (default 20); counter underruns. Run it while
//                           other processes keep the cores busy.
#include <benchmark/benchmark.h>

#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "audio/CXa2.h"
#include "audio/MusicStream.h"
#include "audio/OggTrack.h"
#include "audio/SoundLists.h"
#include "core/MapSceneEntity.h"
#include "platform/common/mixer.h"
#include "platform/headless/headless.h"
#include "shell/BootedGame.h"
#include "shell/Game.h"
#include "core/System.h"
#include "platform/common/text.h"

namespace {

using WallClock = HeadlessWallClock;

// The data folder with its trailing separator, or empty.
std::string DataFolder() {
    if (const char* env = std::getenv("KELVORINE_DATA")) {
        std::string d = env;
        if (!d.empty() && d.back() != '/') d += '/';
        return d;
    }
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return {};
    exe[n] = 0;
    std::string dir(exe);
    dir.resize(dir.rfind('/'));                  // build/<name>/bench
    std::string tree = dir.substr(0, dir.rfind('/'));       // build/<name>
    std::string builds = tree.substr(0, tree.rfind('/'));   // build
    for (const std::string& c : {tree + "/stage/data/", builds + "/default/stage/data/",
                                 builds + "/sdlapp/stage/data/"}) {
        if (access((c + "ogg/ogg_0000.txt").c_str(), R_OK) == 0) return c;
    }
    return {};
}

// A game with the audio parts only, on a mixer device and the wall clock. Restores the platform
// and the process-wide game it replaced.
struct AudioRig {
    AudioRig() : saved(Plat()) {
        headless.services.echoMessages = false;
        headless.Install();
        Platform p = Plat();
        p.clock = &clock;
        p.audio = &device;
        SetPlatform(p);
        booted = std::make_unique<BootedGame>();
        game = booted->game;
        System* s = game->system;
        s->soundMode = 2;
        s->bgmVolume = 10000;
        s->seVolume = 10000;
        BindMusicSettings(nullptr);
        folder = DataFolder();
        Utf8ToU16(folder.c_str(), s->dataFolder, kPathChars);
    }
    ~AudioRig() {
        game->xa2->ShutdownAudio();
        CloseMusicTracks();
        booted.reset();
        SetPlatform(saved);
    }
    bool Load() { return !folder.empty() && game->xa2->CreateEngine() &&
                                 LoadResourceLists(game->system, game->mapSceneEntity, game->xa2); }

    // Takes sound from the mixer at the real rate for `seconds`, as a device would.
    void Play(double seconds) {
        int16_t buf[2 * 4096];
        auto t0 = std::chrono::steady_clock::now();
        uint64_t taken = 0;
        for (;;) {
            double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            if (elapsed >= seconds) break;
            uint64_t owed = uint64_t(elapsed * Mixer::kRate) - taken;
            while (owed > 0) {
                uint32_t n = uint32_t(std::min<uint64_t>(owed, 4096));
                device.mixer.Mix(buf, n);
                owed -= n;
                taken += n;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    Platform saved;
    HeadlessPlatform headless;
    WallClock clock;
    MixerAudio device;
    std::unique_ptr<BootedGame> booted;
    Game* game = nullptr;
    std::string folder;
};

void BM_AudioStartupLoad(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        {
            AudioRig rig;
            if (rig.folder.empty()) {
                state.SkipWithError("no default data folder (run kelvorine-mkdata or set KELVORINE_DATA)");
                break;
            }
            state.ResumeTiming();
            bool ok = rig.Load();
            state.PauseTiming();
            if (!ok) {
                state.SkipWithError("the sound list did not load");
                break;
            }
        }
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AudioStartupLoad)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_FillMusicChunkOgg(benchmark::State& state) {
    AudioRig rig;
    if (!rig.Load()) {
        state.SkipWithError("the sound list did not load");
        return;
    }
    // The music thread idles on track 0; this thread fills a track of its own.
    const int track = 7;
    static uint8_t chunk[32768];
    for (auto _ : state) {
        FillMusicChunk(track, chunk, sizeof chunk);
        benchmark::DoNotOptimize(chunk[100]);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sizeof chunk));
}
BENCHMARK(BM_FillMusicChunkOgg)->Unit(benchmark::kMicrosecond);

double ThreadCpuSeconds(std::thread& t) {
    clockid_t id;
    timespec ts;
    if (pthread_getcpuclockid(t.native_handle(), &id) != 0 || clock_gettime(id, &ts) != 0) return -1;
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

void BM_MusicThreadCpu(benchmark::State& state) {
    for (auto _ : state) {
        AudioRig rig;
        if (!rig.Load()) {
            state.SkipWithError("the sound list did not load");
            break;
        }
        rig.game->system->currentMusicTrack = 7;
        rig.Play(0.5);
        double c0 = ThreadCpuSeconds(rig.headless.services.thread);
        const double seconds = 5.0;
        rig.Play(seconds);
        double c1 = ThreadCpuSeconds(rig.headless.services.thread);
        state.counters["cpu_percent"] = 100.0 * (c1 - c0) / seconds;
        state.counters["underruns"] = static_cast<MixerVoice*>(rig.game->xa2->bgmVoice)->Underruns();
    }
}
BENCHMARK(BM_MusicThreadCpu)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_MusicSoak(benchmark::State& state) {
    double seconds = 20;
    if (const char* env = std::getenv("KELVORINE_SOAK_SECONDS")) seconds = std::atof(env);
    for (auto _ : state) {
        AudioRig rig;
        if (!rig.Load()) {
            state.SkipWithError("the sound list did not load");
            break;
        }
        // Switch between two tracks now and then, as the game does between scenes.
        rig.game->system->currentMusicTrack = 7;
        double played = 0;
        int round = 0;
        while (played < seconds) {
            double step = std::min(10.0, seconds - played);
            rig.Play(step);
            played += step;
            rig.game->system->currentMusicTrack = (++round % 2 == 0) ? 7 : 1;
        }
        state.counters["seconds"] = seconds;
        state.counters["underruns"] = static_cast<MixerVoice*>(rig.game->xa2->bgmVoice)->Underruns();
    }
}
BENCHMARK(BM_MusicSoak)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace
