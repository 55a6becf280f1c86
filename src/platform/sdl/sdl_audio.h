// SDL2 audio backend: the sound engine's platform layer on SDL's audio device and the portable
// mixer. Pairs with the SDL window/input/OpenGL backend; install an SdlAudio as Platform::audio.
//
// Implemented features:
//   [X] engine = the SDL audio subsystem (failure: the game runs silently)
//   [X] mastering voice = one output device, 16-bit stereo 44,100 Hz (SDL converts if needed)
//   [X] source voices of any PCM format the mixer takes, mixed on SDL's audio thread
//   [ ] device change while running (a lost device plays nothing until restart)
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/common/mixer.h"
#include "platform/platform.h"

class SdlAudio final : public PlatAudio {
public:
    ~SdlAudio() override;
    bool CreateEngine() override;
    bool CreateMasteringVoice() override;
    PlatVoice* CreateSourceVoice(const WaveFormat& format) override;
    void DestroyMasteringVoice() override;
    void ReleaseEngine() override;

    Mixer mixer;
    // Device frames handed to the output so far (the device's thread writes, anyone reads).
    std::atomic<uint64_t> framesPlayed{0};

private:
    uint32_t device_ = 0;       // SDL_AudioDeviceID, 0 when closed
    bool subsystem_ = false;    // SDL_INIT_AUDIO is held
};
