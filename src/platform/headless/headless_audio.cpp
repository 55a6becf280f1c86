#include "platform/headless/headless.h"

bool HeadlessVoice::Submit(const AudioBuffer& buffer) {
    if (destroyed || count == kQueue) return false;
    queue[(head + count) % kQueue] = buffer;
    ++count;
    ++submits;
    return true;
}

void HeadlessVoice::Start() {
    running = true;
    ++starts;
}

void HeadlessVoice::Stop() {
    running = false;
    ++stops;
}

void HeadlessVoice::Flush() {
    head = 0;
    count = 0;
    ++flushes;
}

uint32_t HeadlessVoice::BuffersQueued() { return count; }

void HeadlessVoice::SetVolume(float gain) { volume = gain; }

void HeadlessVoice::Destroy() {
    destroyed = true;
    count = 0;
}

void HeadlessVoice::FinishHead() {
    if (count == 0) return;
    head = (head + 1) % kQueue;
    --count;
}

bool HeadlessAudio::CreateEngine() {
    if (failEngine) return false;
    engine = true;
    return true;
}

bool HeadlessAudio::CreateMasteringVoice() {
    if (failMaster) return false;
    masterVoice = true;
    return true;
}

PlatVoice* HeadlessAudio::CreateSourceVoice(const WaveFormat& format) {
    if (failVoices) return nullptr;
    voices.push_back(std::make_unique<HeadlessVoice>(format));
    return voices.back().get();
}
