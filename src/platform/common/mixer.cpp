#include "platform/common/mixer.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr uint16_t kTagExtensible = 0xFFFE;

// The decoder for a format, or -1. An extensible format's sub-format GUID starts with the plain
// format tag (its first two bytes, 8 bytes into the extension).
int DecoderKind(const WaveFormat& f, uint16_t subTag) {
    uint16_t tag = f.formatTag == kTagExtensible ? subTag : f.formatTag;
    if (tag == kTagPcm) {
        switch (f.bitsPerSample) {
            case 8: return 0;
            case 16: return 1;
            case 24: return 2;
            case 32: return 3;
            default: return -1;
        }
    }
    if (tag == kTagFloat && f.bitsPerSample == 32) return 4;
    return -1;
}

bool ValidLayout(const WaveFormat& f) {
    return f.channels >= 1 && f.channels <= 8 && f.samplesPerSec >= 1000 && f.samplesPerSec <= 384000 &&
           f.blockAlign == f.channels * (f.bitsPerSample / 8);
}

}  // namespace

// ------------------------------------------------------------------------------------------ voice
bool MixerVoice::Submit(const AudioBuffer& buffer) {
    std::lock_guard<std::mutex> lock(mixer_->mutex_);
    if (!inUse_ || count_ == kQueue || buffer.audioData == nullptr || BufferFrames(buffer) == 0) return false;
    queue_[(head_ + count_) % kQueue] = buffer;
    ++count_;
    dry_ = false;
    return true;
}

void MixerVoice::Start() {
    std::lock_guard<std::mutex> lock(mixer_->mutex_);
    running_ = inUse_;
}

void MixerVoice::Stop() {
    std::lock_guard<std::mutex> lock(mixer_->mutex_);
    running_ = false;
}

void MixerVoice::Flush() {
    std::lock_guard<std::mutex> lock(mixer_->mutex_);
    head_ = 0;
    count_ = 0;
    pos_ = 0;
    dry_ = false;
    lastEnded_ = true;
}

uint32_t MixerVoice::BuffersQueued() {
    std::lock_guard<std::mutex> lock(mixer_->mutex_);
    return count_;
}

void MixerVoice::SetVolume(float gain) {
    std::lock_guard<std::mutex> lock(mixer_->mutex_);
    gain_ = gain;
}

void MixerVoice::Destroy() {
    std::lock_guard<std::mutex> lock(mixer_->mutex_);
    inUse_ = false;
    running_ = false;
    head_ = count_ = 0;
    pos_ = 0;
}

uint32_t MixerVoice::Underruns() {
    std::lock_guard<std::mutex> lock(mixer_->mutex_);
    return underruns_;
}

float MixerVoice::Volume() {
    std::lock_guard<std::mutex> lock(mixer_->mutex_);
    return gain_;
}

bool MixerVoice::Running() {
    std::lock_guard<std::mutex> lock(mixer_->mutex_);
    return running_;
}

// Frames a buffer plays: playLength from playBegin, or the whole buffer when playLength is 0.
uint32_t MixerVoice::BufferFrames(const AudioBuffer& b) const {
    uint32_t whole = b.audioBytes / format_.blockAlign;
    if (b.playBegin >= whole) return 0;
    uint32_t avail = whole - b.playBegin;
    return b.playLength == 0 ? avail : std::min(b.playLength, avail);
}

float MixerVoice::Sample(const uint8_t* frame, int channel) const {
    switch (kind_) {
        case 0: return (static_cast<int>(frame[channel]) - 128) * (1.0f / 128.0f);
        case 1: {
            const uint8_t* p = frame + 2 * channel;
            return static_cast<int16_t>(p[0] | p[1] << 8) * (1.0f / 32768.0f);
        }
        case 2: {
            const uint8_t* p = frame + 3 * channel;
            int32_t v = static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                                             static_cast<uint32_t>(p[2]) << 24);
            return static_cast<float>(v) * (1.0f / 2147483648.0f);
        }
        case 3: {
            int32_t v;
            std::memcpy(&v, frame + 4 * channel, 4);
            return static_cast<float>(v) * (1.0f / 2147483648.0f);
        }
        default: {
            float v;
            std::memcpy(&v, frame + 4 * channel, 4);
            return v;
        }
    }
}

void MixerVoice::MixInto(float* accum, uint32_t frames) {
    if (!inUse_ || !running_) return;
    const int right = format_.channels >= 2 ? 1 : 0;
    const bool unity = step_ == (uint64_t{1} << 32);
    const uint16_t align = format_.blockAlign;
    uint32_t f = 0;
    while (f < frames) {
        if (count_ == 0) {
            if (!dry_) {
                dry_ = true;
                if (!lastEnded_) ++underruns_;
            }
            return;
        }
        const AudioBuffer& b = queue_[head_];
        const uint32_t length = BufferFrames(b);
        uint32_t index = static_cast<uint32_t>(pos_ >> 32);
        const uint8_t* base = b.audioData + static_cast<size_t>(b.playBegin) * align;
        if (index < length && unity) {
            const uint32_t n = std::min(frames - f, length - index);
            const uint8_t* p = base + static_cast<size_t>(index) * align;
            if (kind_ == 1 && format_.channels == 2) {
                const float scale = gain_ / 32768.0f;
                for (uint32_t i = 0; i < n; ++i, p += 4) {
                    accum[2 * (f + i)] += static_cast<int16_t>(p[0] | p[1] << 8) * scale;
                    accum[2 * (f + i) + 1] += static_cast<int16_t>(p[2] | p[3] << 8) * scale;
                }
            } else {
                for (uint32_t i = 0; i < n; ++i, p += align) {
                    accum[2 * (f + i)] += Sample(p, 0) * gain_;
                    accum[2 * (f + i) + 1] += Sample(p, right) * gain_;
                }
            }
            f += n;
            pos_ += uint64_t{n} << 32;
        }
        // Resampling: linear interpolation between neighbouring frames of the same buffer.
        while (!unity && f < frames && index < length) {
            const uint8_t* p0 = base + static_cast<size_t>(index) * align;
            const uint8_t* p1 = index + 1 < length ? p0 + align : p0;
            const float t = static_cast<float>(static_cast<uint32_t>(pos_)) * (1.0f / 4294967296.0f);
            const float l0 = Sample(p0, 0), r0 = Sample(p0, right);
            const float l1 = Sample(p1, 0), r1 = Sample(p1, right);
            accum[2 * f] += (l0 + (l1 - l0) * t) * gain_;
            accum[2 * f + 1] += (r0 + (r1 - r0) * t) * gain_;
            ++f;
            pos_ += step_;
            index = static_cast<uint32_t>(pos_ >> 32);
        }
        // Played out: the buffer leaves the queue as soon as its last frame is taken.
        if ((pos_ >> 32) >= length) {
            pos_ -= uint64_t{length} << 32;
            lastEnded_ = (b.flags & kAudioEndOfStream) != 0;
            head_ = (head_ + 1) % kQueue;
            --count_;
        }
    }
}

// ------------------------------------------------------------------------------------------ mixer
Mixer::Mixer() {
    for (MixerVoice& v : voices_) v.mixer_ = this;
    std::memset(accum_, 0, sizeof accum_);
}

bool Mixer::Supported(const WaveFormat& format) {
    // The sub-format tag of an extensible format is not part of the 18-byte record; a bare
    // extensible record is taken as integer PCM.
    return ValidLayout(format) && DecoderKind(format, kTagPcm) >= 0;
}

MixerVoice* Mixer::CreateVoice(const WaveFormat& format) {
    uint16_t subTag = kTagPcm;
    if (format.formatTag == kTagExtensible && format.cbSize >= 22) {
        // WAVEFORMATEXTENSIBLE follows the 18-byte record in memory: samples, channel mask, GUID.
        const uint8_t* ext = reinterpret_cast<const uint8_t*>(&format) + sizeof(WaveFormat);
        subTag = static_cast<uint16_t>(ext[6] | ext[7] << 8);
    }
    if (!ValidLayout(format)) return nullptr;
    const int kind = DecoderKind(format, subTag);
    if (kind < 0) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    for (MixerVoice& v : voices_) {
        if (v.inUse_) continue;
        v.inUse_ = true;
        v.format_ = format;
        v.kind_ = kind;
        v.step_ = (uint64_t{format.samplesPerSec} << 32) / kRate;
        v.head_ = v.count_ = 0;
        v.pos_ = 0;
        v.running_ = false;
        v.dry_ = false;
        v.lastEnded_ = true;
        v.gain_ = 1.0f;
        v.underruns_ = 0;
        return &v;
    }
    return nullptr;
}

void Mixer::Mix(int16_t* out, uint32_t frames) {
    std::lock_guard<std::mutex> lock(mutex_);
    while (frames > 0) {
        const uint32_t n = std::min(frames, kBlockFrames);
        std::memset(accum_, 0, sizeof(float) * 2 * n);
        for (MixerVoice& v : voices_) v.MixInto(accum_, n);
        // Saturate: gains go up to 12.75 (a stored volume step of 255) and voices add up, so
        // the sum clips at full scale and never wraps. A sample that is not a number (a float
        // file holding NaN, or infinity at gain 0) plays as silence.
        for (uint32_t i = 0; i < 2 * n; ++i) {
            const float s = accum_[i] * 32768.0f;
            out[i] = s >= 32767.0f ? int16_t{32767} : s <= -32768.0f ? int16_t{-32768}
                     : s == s      ? static_cast<int16_t>(s)
                                   : int16_t{0};
        }
        out += 2 * n;
        frames -= n;
    }
}

void Mixer::DestroyAll() {
    std::lock_guard<std::mutex> lock(mutex_);
    for (MixerVoice& v : voices_) {
        v.inUse_ = false;
        v.running_ = false;
        v.head_ = v.count_ = 0;
    }
}

int Mixer::VoicesInUse() {
    std::lock_guard<std::mutex> lock(mutex_);
    int n = 0;
    for (MixerVoice& v : voices_) n += v.inUse_ ? 1 : 0;
    return n;
}
