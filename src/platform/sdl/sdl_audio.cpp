#include "platform/sdl/sdl_audio.h"

#include <cstdio>
#include <cstdlib>

#include <SDL.h>

namespace {

// SDL's audio thread asks for `len` bytes of device-format sound.
void AudioCallback(void* user, Uint8* stream, int len) {
    SdlAudio* audio = static_cast<SdlAudio*>(user);
    const uint32_t frames = static_cast<uint32_t>(len) / 4;
    audio->mixer.Mix(reinterpret_cast<int16_t*>(stream), frames);
    audio->framesPlayed.fetch_add(frames, std::memory_order_relaxed);
}

}  // namespace

SdlAudio::~SdlAudio() {
    DestroyMasteringVoice();
    ReleaseEngine();
}

bool SdlAudio::CreateEngine() {
    if (subsystem_) return true;
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        std::fprintf(stderr, "sound: no sound driver starts (%s); the game runs without sound\n", SDL_GetError());
        return false;
    }
    subsystem_ = true;
    return true;
}

bool SdlAudio::CreateMasteringVoice() {
    if (!subsystem_) return false;
    if (device_ != 0) return true;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(Mixer::kRate);
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = 1024;  // about 23 ms per callback
    want.callback = AudioCallback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts to whatever the device really takes.
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) {
        // The shell's message that follows names only the engine; this line says which device.
        const char* driver = SDL_GetCurrentAudioDriver();
        const char* device = std::getenv("AUDIODEV");
        std::fprintf(stderr,
                     "sound: the sound device \"%s\" of the %s driver cannot be opened (%s). Start a sound "
                     "server such as PipeWire or PulseAudio, or set SDL_AUDIODRIVER=dummy to play "
                     "without sound.\n",
                     device != nullptr && device[0] != 0 ? device : "default", driver != nullptr ? driver : "SDL",
                     SDL_GetError());
        return false;
    }
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

PlatVoice* SdlAudio::CreateSourceVoice(const WaveFormat& format) { return mixer.CreateVoice(format); }

void SdlAudio::DestroyMasteringVoice() {
    if (device_ == 0) return;
    SDL_CloseAudioDevice(device_);  // waits for a running callback
    device_ = 0;
    mixer.DestroyAll();
}

void SdlAudio::ReleaseEngine() {
    if (!subsystem_) return;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    subsystem_ = false;
}
