#include "audio/CXa2.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include <vorbis/vorbisfile.h>

#include "audio/MusicStream.h"
#include "audio/WaveReader.h"
#include "platform/file.h"
#include "core/Messages.h"
#include "core/System.h"
#include "platform/common/text.h"

namespace {

// The music voice's format (and the decoded Ogg effects' sample layout): PCM, 16-bit stereo,
// 44,100 Hz.
constexpr WaveFormat kMusicFormat{1, 2, 44100, 176400, 4, 16, 18};

// An Ogg effect is decoded into a fixed array of three seconds of 44,100 Hz stereo 16-bit PCM;
// a longer effect is cut at the array's end.
constexpr uint32_t kOggEffectSecond = 176400;
constexpr uint32_t kOggEffectBytes = 3 * kOggEffectSecond;

// A WAV effect's one-second cut is nAvgBytesPerSec; a header claiming more than this is refused
// rather than trusted with an allocation.
constexpr uint32_t kMaxEffectBytesPerSec = 8u << 20;

// A stored volume (0..10000 from the options) as the linear gain of a voice: 10000 is 1.0.
constexpr double kGainPerVolumeUnit = 0.0001;
float Gain(int32_t volume) { return static_cast<float>(volume * kGainPerVolumeUnit); }

void PrintEffectFailure(const char* what, const char16_t* path) {
    char host[4 * kPathChars + 4];
    if (!U16ToUtf8(path, host, sizeof host)) std::strcpy(host, "?");
    std::fprintf(stderr, "%s: %s\n", what, host);
}

// Describes the bytes loaded into seData[id] in its buffer record (end of stream when shorter than
// one second), queues it on the effect's voice, left stopped, and applies the effect volume.
bool QueueEffect(CXa2& a, int id, uint32_t bytes, uint32_t secondBytes, uint16_t blockAlign) {
    AudioBuffer& b = a.seBuffer[id];
    std::memset(&b, 0, sizeof b);
    b.flags = bytes < secondBytes ? kAudioEndOfStream : 0;
    b.audioBytes = bytes;
    b.audioData = a.seData[id];
    b.playLength = bytes / blockAlign;
    if (!a.seVoice[id]->Submit(b)) return false;
    a.seVoice[id]->SetVolume(Gain(a.settings->seVolume));
    return true;
}

// A WAV effect: at most one second (nAvgBytesPerSec) of the data chunk, played in its own format.
bool LoadWaveEffect(CXa2& a, const char16_t* path, int id) {
    WaveReader reader;
    if (!reader.Open(path)) {
        Tell(MessageId::kWaveOpenFailed);
        return false;
    }
    const WaveFormat& format = reader.Format();  // with its extension, if any
    a.seVoice[id] = Plat().audio->CreateSourceVoice(format);
    if (a.seVoice[id] == nullptr || format.blockAlign == 0) {
        PrintEffectFailure("Unsupported effect format", path);
        return false;
    }
    uint32_t second = format.avgBytesPerSec & ~3u;
    if (second == 0 || second > kMaxEffectBytesPerSec) {
        PrintEffectFailure("Unsupported effect format", path);
        return false;
    }
    // Left uninitialised: only the bytes read are ever played (audioBytes = got).
    a.seData[id] = new uint8_t[3 * second];
    // One read from the start of the data, never past the data chunk's end.
    uint32_t got = reader.Read(a.seData[id], std::min(second, reader.data.size));
    if (got < 1) return false;
    return QueueEffect(a, id, got, second, format.blockAlign);
}

// An Ogg effect: the whole stream, up to three seconds' worth of bytes, played in the file's own
// channel count and rate.
bool LoadOggEffect(CXa2& a, const char16_t* path, int id) {
    FILE* file = OpenFileU16(path, "rb");
    if (file == nullptr) return false;
    OggVorbis_File vf;
    if (ov_open_callbacks(file, &vf, nullptr, 0, OV_CALLBACKS_DEFAULT) < 0) {
        std::fputs("Input does not appear to be an Ogg bitstream.\n", stderr);
        std::fclose(file);
        return false;
    }
    vorbis_info* info = ov_info(&vf, -1);
    if (info == nullptr) {
        std::fputs("Get Info Error\n", stderr);
        ov_clear(&vf);
        return false;
    }
    WaveFormat format = kMusicFormat;
    if (info->channels >= 1 && info->channels <= 8 && info->rate > 0 && info->rate <= 384000) {
        format.channels = static_cast<uint16_t>(info->channels);
        format.samplesPerSec = static_cast<uint32_t>(info->rate);
        format.blockAlign = static_cast<uint16_t>(2 * info->channels);
        format.avgBytesPerSec = format.samplesPerSec * format.blockAlign;
    }
    // Left uninitialised: only the decoded bytes are ever played (audioBytes = sum), so the
    // untouched rest of the three seconds never becomes resident.
    a.seData[id] = new uint8_t[kOggEffectBytes];
    ogg_int64_t frames = ov_pcm_total(&vf, -1);
    uint64_t total = frames > 0 ? uint64_t(frames) * format.blockAlign : kOggEffectBytes;
    // Whole frames only: the cut never splits a sample frame.
    uint32_t limit = static_cast<uint32_t>(std::min<uint64_t>(total, kOggEffectBytes));
    limit -= limit % format.blockAlign;
    uint32_t sum = 0;
    int section = 0;
    int holes = 0;
    while (sum < limit) {
        long r = ov_read(&vf, reinterpret_cast<char*>(a.seData[id] + sum), static_cast<int>(limit - sum),
                         0, 2, 1, &section);
        if (r == OV_HOLE && ++holes < 8) continue;
        if (r <= 0) break;
        sum += static_cast<uint32_t>(r);
    }
    ov_clear(&vf);  // also closes the file
    if (sum == 0) return false;
    a.seVoice[id] = Plat().audio->CreateSourceVoice(format);
    if (a.seVoice[id] == nullptr) {
        PrintEffectFailure("Unsupported effect format", path);
        return false;
    }
    return QueueEffect(a, id, sum, kOggEffectSecond, format.blockAlign);
}

}  // namespace

CXa2::CXa2()
    : settings(nullptr),
      engine(false),
      masterVoice(false),
      bgmVoice(nullptr),
      streamThread(false),
      streamFromLoop(false),
      loopFeedDue(false),
      loopFeedLast(0),
      chunkBytes(32768) {
    for (int i = 0; i < kEffectVoices; ++i) {
        seVoice[i] = nullptr;
        seData[i] = nullptr;
    }
    std::memset(seBuffer, 0, sizeof seBuffer);
    for (int i = 0; i < 64; ++i) musicData[i] = nullptr;
    std::memset(musicBuffer, 0, sizeof musicBuffer);
}

// The voices belong to the platform and are destroyed by ShutdownAudio; only the sample arrays
// are freed here, for a run that ended before the shutdown released them.
CXa2::~CXa2() {
    for (int i = 0; i < kEffectVoices; ++i) delete[] seData[i];
    for (int i = 0; i < 64; ++i) delete[] musicData[i];
}

bool CXa2::Guard() const {
    return settings != nullptr && (settings->soundMode == 1 || settings->soundMode == 2) &&
           settings->soundOff == 0;
}

// A missing audio subsystem gives a silent game; only an output device that cannot be opened
// ends the start-up.
bool CXa2::CreateEngine() {
    if (!Guard()) return true;
    if (!Plat().audio->CreateEngine()) {
        settings->soundOff = 1;
        return true;
    }
    engine = true;
    if (!Plat().audio->CreateMasteringVoice()) {
        Tell(MessageId::kAudioFailed);
        return false;
    }
    masterVoice = true;
    return true;
}

// Loads effect `id` whole into memory (WAV or Ogg, as the sound mode says) and queues it on its
// voice, which is left stopped.
bool CXa2::LoadSe(const char16_t* path, int id) {
    if (!Guard() || id < 0 || id >= kEffectVoices) return false;
    if (seVoice[id] != nullptr) {
        seVoice[id]->Destroy();
        seVoice[id] = nullptr;
    }
    delete[] seData[id];
    seData[id] = nullptr;

    return settings->soundMode == 1 ? LoadWaveEffect(*this, path, id) : LoadOggEffect(*this, path, id);
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
    bgmVoice->SetVolume(Gain(settings->bgmVolume));
}

void CXa2::ApplySeVolume() {
    if (!Guard()) return;
    for (int n = 0; n < kEffectVoices; ++n) {
        if (seVoice[n] != nullptr) seVoice[n]->SetVolume(Gain(settings->seVolume));
    }
}

// The music voice and the 64 stream buffers (three chunks each; the thread fills the first two
// alternately). The voice is started by the music thread on its first submission.
bool CXa2::CreateBgmVoice() {
    if (!Guard()) return false;
    bgmVoice = Plat().audio->CreateSourceVoice(kMusicFormat);
    if (bgmVoice == nullptr) return false;
    for (int i = 0; i < 64; ++i) {
        // Uninitialised: the thread fills each chunk whole before submitting it.
        if (musicData[i] == nullptr) musicData[i] = new uint8_t[3 * chunkBytes];
    }
    bgmVoice->SetVolume(Gain(settings->bgmVolume));
    return true;
}

// ------------------------------------------------------------------------------------ music thread
//
// The music thread keeps the music voice supplied. Every 100 ms it reads the requested track once
// and, while fewer than two chunks are queued, fills the track's next half-buffer and submits it.
// It shares with the main thread only the atomics of System (currentMusicTrack, windowActive,
// streamQuit, the loop points) and the voice, whose calls are thread-safe. Its own state
// (which half each track filled last, whether the voice was started, the track submitted last)
// lives on its stack. On a host without threads the main loop runs the same cycles.
// One cycle: read the requested track once and, while fewer than two chunks are queued, fill the
// track's next half-buffer and submit it.
void CXa2::FeedMusicOnce(MusicFeed* feed) {
    System* s = settings;
    PlatVoice* voice = bgmVoice;
    const uint32_t chunk = chunkBytes;
    int32_t track = s->currentMusicTrack.load(std::memory_order_relaxed);
    if (track < 0 || track >= 64) track = 0;

    uint32_t queued = voice->BuffersQueued();
    // A voice that ran dry while started (a stall longer than the two queued chunks) is fed
    // again below; the next submission resumes it.
    if (queued >= 2) return;
    if (track == 0) {
        feed->musicStarted = false;
        return;
    }
    while (queued < 2) {
        if (s->windowActive.load(std::memory_order_relaxed) == 0) {
            // Inactive window: the voice plays out what it holds and falls silent.
            feed->musicStarted = false;
            break;
        }
        const uint32_t half = (feed->streamHalf[track] + 1) % 2;
        feed->streamHalf[track] = half;
        uint8_t* dest = musicData[track] + half * chunk;
        FillMusicChunk(track, dest, chunk);
        AudioBuffer& b = musicBuffer[track];
        std::memset(&b, 0, sizeof b);
        b.audioBytes = chunk;
        b.audioData = dest;
        b.playLength = chunk / 4;
        voice->Submit(b);
        ++queued;
        if (track != feed->lastTrack) {
            // A switch cuts the old track at once instead of letting it play out.
            voice->Stop();
            voice->Flush();
            voice->Submit(b);
            voice->Start();
        }
        if (!feed->musicStarted) {
            voice->Start();
            feed->musicStarted = true;
        }
        feed->lastTrack = track;
    }
}

namespace {

void StreamThreadMain(void* arg) {
    CXa2* xa = static_cast<CXa2*>(arg);
    System* s = xa->settings;
    PlatClock* clock = Plat().clock;
    MusicFeed feed;

    for (;;) {
        const uint32_t t0 = clock->Milliseconds();
        xa->FeedMusicOnce(&feed);

        // Sleep out the rest of the 100 ms cycle; unsigned differences keep this right across
        // the clock's wrap.
        for (;;) {
            const uint32_t elapsed = clock->Milliseconds() - t0;
            if (elapsed >= 100) break;
            clock->Sleep(100 - elapsed);
        }
        clock->Sleep(0);
        if (s->streamQuit.load(std::memory_order_relaxed) != 0) break;
    }
}

}  // namespace

// Without threads the main loop feeds the music: a cycle once 100 ms have passed since the last.
void CXa2::FeedMusicFromLoop() {
    if (!streamFromLoop || !Guard() || bgmVoice == nullptr) return;
    const uint32_t now = Plat().clock->Milliseconds();
    if (loopFeedDue && now - loopFeedLast < 100) return;
    loopFeedDue = true;
    loopFeedLast = now;
    FeedMusicOnce(&loopFeed);
}

bool CXa2::StartStreamThread() {
    if (!Guard() || bgmVoice == nullptr) return false;
    settings->streamQuit.store(0, std::memory_order_relaxed);
    if (!Plat().services->ThreadsAvailable()) {
        streamFromLoop = true;
        loopFeed = MusicFeed{};
        loopFeedDue = false;
        return true;
    }
    if (!Plat().services->StartThread(StreamThreadMain, this)) {
        Tell(MessageId::kThreadFailed);
        return false;
    }
    streamThread = true;
    return true;
}

// Stops the music thread (it sees the flag within one cycle) and releases voices, buffers and
// the engine in reverse order. Each step is skipped where its object does not exist.
void CXa2::ShutdownAudio() {
    if (settings == nullptr || (settings->soundMode != 1 && settings->soundMode != 2)) return;
    settings->streamQuit.store(1, std::memory_order_relaxed);
    streamFromLoop = false;
    if (streamThread) {
        Plat().services->JoinThread();
        streamThread = false;
    }
    for (int n = kEffectVoices - 1; n >= 0; --n) {
        if (seVoice[n] != nullptr) seVoice[n]->Destroy();
        seVoice[n] = nullptr;
        delete[] seData[n];
        seData[n] = nullptr;
    }
    if (bgmVoice != nullptr) bgmVoice->Destroy();
    bgmVoice = nullptr;
    for (int i = 63; i >= 0; --i) {
        delete[] musicData[i];
        musicData[i] = nullptr;
    }
    if (masterVoice) Plat().audio->DestroyMasteringVoice();
    masterVoice = false;
    if (engine) Plat().audio->ReleaseEngine();
    engine = false;
}
