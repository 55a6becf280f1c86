#include "audio/CXa2.h"

#include <cstring>

#include "shell/System.h"

CXa2::CXa2()
    : settings(nullptr),
      engine(false),
      masterVoice(false),
      bgmVoice(nullptr),
      streamThread(false),
      chunkBytes(32768) {
    for (int i = 0; i < kEffectVoices; ++i) {
        seVoice[i] = nullptr;
        seData[i] = nullptr;
    }
    std::memset(seBuffer, 0, sizeof seBuffer);
    for (int i = 0; i < 64; ++i) musicData[i] = nullptr;
    std::memset(musicBuffer, 0, sizeof musicBuffer);
}

CXa2::~CXa2() = default;

bool CXa2::Guard() const {
    return settings != nullptr && (settings->soundMode == 1 || settings->soundMode == 2) &&
           settings->soundOff == 0;
}

// Each effect owns one voice: playing it again cuts the running instance and starts it over.
void CXa2::PlaySe(int id) {
    if (!Guard() || id < 0 || id >= kEffectVoices || seVoice[id] == nullptr) return;
    PlatVoice* v = seVoice[id];
    v->Stop();
    v->Flush();
    v->Submit(seBuffer[id]);
    v->Start();
}

// A finished effect is queued again, stopped at its start, so that a bare Start replays it.
void CXa2::RearmIdleSe() {
    if (!Guard()) return;
    for (int n = 0; n < kEffectVoices; ++n) {
        PlatVoice* v = seVoice[n];
        if (v == nullptr || v->BuffersQueued() != 0) continue;
        v->Stop();
        v->Flush();
        v->Submit(seBuffer[n]);
    }
}

void CXa2::ApplyBgmVolume() {
    if (!Guard() || bgmVoice == nullptr) return;
    bgmVoice->SetVolume(static_cast<float>(settings->bgmVolume * 0.0001));
}

void CXa2::ApplySeVolume() {
    if (!Guard()) return;
    for (int n = 0; n < kEffectVoices; ++n) {
        if (seVoice[n] != nullptr) seVoice[n]->SetVolume(static_cast<float>(settings->seVolume * 0.0001));
    }
}
