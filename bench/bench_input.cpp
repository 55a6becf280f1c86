// The window's message step against a burst of input: 10,000 key presses queued at once (keys
// with no meaning for the game, as a fast key repeat or a stuck key gives), then the turns of
// the main loop's message step until the queue is empty. Reported: the time of the whole drain
// and the number of turns it took (1 when nothing in the burst does anything).
//
//   kelvorine_bench --benchmark_filter=InputDrain
#include <benchmark/benchmark.h>

#if KELVORINE_BENCH_SDL
#include <SDL.h>

#include "platform/sdl/sdl_window.h"

namespace {

constexpr int kBurst = 10000;

class NoEvents final : public PlatWindowEvents {
public:
    void OnActivate(bool) override {}
    void OnCommand(int) override { ++commands; }
    void OnClose() override {}
    void OnSizing(int, PlatRect*) override {}
    int commands = 0;
};

void QueueBurst() {
    SDL_Event e{};
    e.type = SDL_KEYDOWN;
    e.key.state = SDL_PRESSED;
    for (int i = 0; i < kBurst; ++i) {
        e.key.keysym.scancode = (i & 1) != 0 ? SDL_SCANCODE_Q : SDL_SCANCODE_W;
        SDL_PushEvent(&e);
    }
}

void BM_InputDrain(benchmark::State& state) {
    if (SDL_InitSubSystem(SDL_INIT_EVENTS) != 0) {
        state.SkipWithError("no SDL event queue");
        return;
    }
    SdlWindow window;
    NoEvents events;
    int turns = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QueueBurst();
        state.ResumeTiming();
        turns = 0;
        int code = 0;
        while (window.PumpOne(&events, &code) != PlatPump::NoMessage) ++turns;
        ++turns;  // the turn that found the queue empty
    }
    state.counters["turns"] = turns;
    state.counters["events"] = kBurst;
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
}
BENCHMARK(BM_InputDrain)->Unit(benchmark::kMillisecond);

}  // namespace
#endif
