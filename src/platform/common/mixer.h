// A portable software mixer in place of a hardware voice engine: a fixed pool of source voices,
// each with its own PCM format, mixed into the device format (16-bit signed stereo, 44,100 Hz).
//
// Implemented features:
//   [X] PCM 8-bit unsigned, 16/24/32-bit signed, 32-bit float (also as WAVE_FORMAT_EXTENSIBLE)
//   [X] mono (to both sides) and stereo; more channels play their first two
//   [X] any rate, by linear interpolation inside each buffer
//   [X] a fixed queue of 64 buffers per voice, the queued count, immediate stop and flush
//   [X] linear gain per voice; the sum is clipped to 16 bits
//   [X] a starvation counter per voice (ran dry while started after a buffer that did not end
//       the stream); the music voice's count is the stream's underrun count
//   [ ] loop regions inside a buffer (the game never queues one)
//
// Thread safety: one lock per mixer. Voice calls come from the main thread and the music thread,
// Mix from the device's thread; all of them may run at once. Buffers are not copied: their
// memory must stay untouched while queued. Nothing is allocated after construction.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/platform.h"

class Mixer;

class MixerVoice final : public PlatVoice {
public:
    KELVORINE_PLAT_VOICE_OVERRIDES

    uint32_t Underruns();
    float Volume();
    bool Running();

    static constexpr uint32_t kQueue = 64;

private:
    friend class Mixer;
    // Adds this voice into accum (frames stereo float pairs); the mixer's lock is held.
    void MixInto(float* accum, uint32_t frames);
    float Sample(const uint8_t* frame, int channel) const;
    uint32_t BufferFrames(const AudioBuffer& b) const;

    Mixer* mixer_ = nullptr;
    bool inUse_ = false;
    WaveFormat format_{};
    int kind_ = 0;               // sample decoder: 0 u8, 1 s16, 2 s24, 3 s32, 4 f32
    uint64_t step_ = 0;          // source frames per device frame, 32.32 fixed point
    AudioBuffer queue_[kQueue] = {};
    uint32_t head_ = 0, count_ = 0;
    uint64_t pos_ = 0;           // position in the head buffer, frames in 32.32 fixed point
    bool running_ = false;
    bool dry_ = false;           // ran dry while started; counted once per episode
    bool lastEnded_ = true;      // the buffer played last ended the stream (or none was played)
    float gain_ = 1.0f;
    uint32_t underruns_ = 0;
};

class Mixer {
public:
    static constexpr uint32_t kRate = 44100;
    static constexpr int kVoices = 48;          // 32 effects + music, with room to spare
    static constexpr uint32_t kBlockFrames = 512;

    Mixer();
    // Null when the format is not supported or the pool is full. An extensible format
    // (tag 0xFFFE, cbSize >= 22) must be followed in memory by its extension.
    MixerVoice* CreateVoice(const WaveFormat& format);
    // Mixes `frames` device frames (interleaved left, right) into out.
    void Mix(int16_t* out, uint32_t frames);
    // True when a voice can play the format.
    static bool Supported(const WaveFormat& format);
    void DestroyAll();
    int VoicesInUse();

private:
    friend class MixerVoice;
    std::mutex mutex_;
    MixerVoice voices_[kVoices];
    float accum_[2 * kBlockFrames];
};

// A PlatAudio on a mixer with no device behind it: whoever owns it pulls the sound with
// mixer.Mix (tests, benchmarks and tools; the SDL backend pulls from its audio callback).
class MixerAudio final : public PlatAudio {
public:
    bool CreateEngine() override { return !failEngine; }
    bool CreateMasteringVoice() override { return !failMaster; }
    PlatVoice* CreateSourceVoice(const WaveFormat& format) override { return mixer.CreateVoice(format); }
    void DestroyMasteringVoice() override {}
    void ReleaseEngine() override {}

    Mixer mixer;
    bool failEngine = false, failMaster = false;
};
