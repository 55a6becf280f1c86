// Audio of the Win32 backend: XAudio2 2.9 from xaudio2_9.dll, loaded at run time from the system
// folder. A machine without it (or without its exports) gets no engine, and the game runs silently.
#include <xaudio2.h>

#include "platform/win32/win32_platform.h"

static_assert(sizeof(WaveFormat) == sizeof(WAVEFORMATEX), "WAVEFORMATEX layout");

namespace {

// The two creation exports of xaudio2_9.dll. The SDK's inline XAudio2Create calls the first when
// present, with the NTDDI version the program was built for.
using CreateWithVersionInfoFn = HRESULT(WINAPI*)(IXAudio2**, UINT32, UINT32, DWORD);
using CreateFn = HRESULT(WINAPI*)(IXAudio2**, UINT32, UINT32);
constexpr DWORD kNtddiVersion = 0x0A000010;
constexpr UINT32 kDefaultProcessor = 0x00000001;  // Processor1, the default processor
constexpr int kVoices = 64;  // 32 effects + music, with room to spare

class Voice final : public PlatVoice {
public:
    bool Submit(const AudioBuffer& b) override {
        XAUDIO2_BUFFER x = {};
        x.Flags = b.flags;
        x.AudioBytes = b.audioBytes;
        x.pAudioData = b.audioData;
        x.PlayBegin = b.playBegin;
        x.PlayLength = b.playLength;
        x.LoopBegin = b.loopBegin;
        x.LoopLength = b.loopLength;
        x.LoopCount = b.loopCount;
        x.pContext = b.context;
        return SUCCEEDED(voice->SubmitSourceBuffer(&x, nullptr));
    }
    void Start() override { voice->Start(0, XAUDIO2_COMMIT_NOW); }
    void Stop() override { voice->Stop(0, XAUDIO2_COMMIT_NOW); }
    void Flush() override { voice->FlushSourceBuffers(); }
    uint32_t BuffersQueued() override {
        XAUDIO2_VOICE_STATE state = {};
        voice->GetState(&state, 0);
        return state.BuffersQueued;
    }
    void SetVolume(float gain) override { voice->SetVolume(gain, XAUDIO2_COMMIT_NOW); }
    void Destroy() override {
        voice->DestroyVoice();
        voice = nullptr;
    }

    IXAudio2SourceVoice* voice = nullptr;  // null: the slot is free
};

class Audio final : public PlatAudio {
public:
    bool CreateEngine() override {
        if (library_ == nullptr) {
            library_ = LoadLibraryExW(L"xaudio2_9.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        }
        if (library_ == nullptr) return false;
        auto withVersion = reinterpret_cast<CreateWithVersionInfoFn>(
            reinterpret_cast<void*>(GetProcAddress(library_, "XAudio2CreateWithVersionInfo")));
        auto plain = reinterpret_cast<CreateFn>(reinterpret_cast<void*>(GetProcAddress(library_, "XAudio2Create")));
        HRESULT hr = E_FAIL;
        if (withVersion != nullptr) {
            hr = withVersion(&engine_, 0, kDefaultProcessor, kNtddiVersion);
        } else if (plain != nullptr) {
            hr = plain(&engine_, 0, kDefaultProcessor);
        }
        if (FAILED(hr)) engine_ = nullptr;
        return engine_ != nullptr;
    }

    bool CreateMasteringVoice() override {
        if (engine_ == nullptr) return false;
        HRESULT hr = engine_->CreateMasteringVoice(&master_, XAUDIO2_DEFAULT_CHANNELS, XAUDIO2_DEFAULT_SAMPLERATE, 0,
                                                   nullptr, nullptr, AudioCategory_GameEffects);
        if (FAILED(hr)) master_ = nullptr;
        return master_ != nullptr;
    }

    PlatVoice* CreateSourceVoice(const WaveFormat& format) override {
        if (engine_ == nullptr) return nullptr;
        for (Voice& v : voices_) {
            if (v.voice != nullptr) continue;
            HRESULT hr = engine_->CreateSourceVoice(&v.voice, reinterpret_cast<const WAVEFORMATEX*>(&format), 0,
                                                    2.0f, nullptr, nullptr, nullptr);
            if (FAILED(hr)) {
                v.voice = nullptr;
                return nullptr;
            }
            return &v;
        }
        return nullptr;
    }

    void DestroyMasteringVoice() override {
        if (master_ != nullptr) {
            master_->DestroyVoice();
            master_ = nullptr;
        }
    }

    void ReleaseEngine() override {
        if (engine_ != nullptr) {
            engine_->Release();
            engine_ = nullptr;
        }
    }

private:
    HMODULE library_ = nullptr;  // kept loaded for the whole run
    IXAudio2* engine_ = nullptr;
    IXAudio2MasteringVoice* master_ = nullptr;
    Voice voices_[kVoices];
};

Audio gAudio;

}  // namespace

PlatAudio* Win32Audio() { return &gAudio; }
