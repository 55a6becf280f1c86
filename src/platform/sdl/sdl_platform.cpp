#include "platform/sdl/sdl_platform.h"
#include "platform/sdl/sdl_render_choice.h"
#include "platform/sdl/sdl_x11.h"

#if __has_include("platform/sdl/sdl_audio.h")
#include "platform/sdl/sdl_audio.h"
#define KELVORINE_SDL_AUDIO 1
#endif

namespace {

#ifndef KELVORINE_SDL_AUDIO
// Stands in while the build has no audio backend: the engine never starts, so the game runs
// silently, exactly as on a machine without a sound system.
class NoAudio final : public PlatAudio {
public:
    bool CreateEngine() override { return false; }
    bool CreateMasteringVoice() override { return false; }
    PlatVoice* CreateSourceVoice(const WaveFormat&) override { return nullptr; }
    void DestroyMasteringVoice() override {}
    void ReleaseEngine() override {}
};
#endif

}  // namespace

PlatAudio* SdlCreateAudio() {
#ifdef KELVORINE_SDL_AUDIO
    return new SdlAudio();
#else
    return new NoAudio();
#endif
}

SdlPlatform::SdlPlatform() : render(SdlCreateAutoRender(&window)), audio(SdlCreateAudio()) {
    window.openGlDrawable = SdlRenderWantsOpenGl();
    window.clock = &clock;
    clock.awayWait = SdlX11WaitEvent;
}

SdlPlatform::~SdlPlatform() {
    services.JoinThread();
    if (Plat().clock == &clock) SetPlatform(Platform{});
    delete audio;
    delete render;
    input.Stop();
    window.UnregisterClass();
    if (!SdlX11ConnectionLost()) SDL_Quit();  // see UnregisterClass
}

void SdlPlatform::Install() {
    Platform p;
    p.clock = &clock;
    p.input = &input;
    p.window = &window;
    p.render = render;
    p.audio = audio;
    p.services = &services;
    SetPlatform(p);
}
