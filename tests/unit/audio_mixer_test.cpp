// The software mixer, and the music thread feeding it in real time: continuity, switches,
// rewinds racing fills, a stall, an inactive window, and silence on track 0.
#include "audio_support.h"

#include "platform/common/mixer.h"

using namespace audiotest;

namespace {

AudioBuffer Buffer(const std::vector<uint8_t>& data, uint32_t flags = 0) {
    AudioBuffer b{};
    b.flags = flags;
    b.audioData = data.data();
    b.audioBytes = uint32_t(data.size());
    return b;
}

std::vector<int16_t> MixOut(Mixer& m, uint32_t frames) {
    std::vector<int16_t> out(2 * frames);
    m.Mix(out.data(), frames);
    return out;
}

}  // namespace

TEST(Mixer, ConvertsFormatsToStereo16At44100) {
    Mixer m;
    // 16-bit stereo at the device rate passes through unchanged.
    std::vector<uint8_t> pcm = CounterPcm(600, 30000);
    MixerVoice* v = m.CreateVoice({1, 2, 44100, 176400, 4, 16, 0});
    ASSERT_NE(v, nullptr);
    v->Submit(Buffer(pcm));
    v->Start();
    auto out = MixOut(m, 600);
    EXPECT_EQ(0, std::memcmp(out.data(), pcm.data(), pcm.size()));
    EXPECT_EQ(v->BuffersQueued(), 0u);
    v->Destroy();

    // 8-bit mono at half the rate: each frame lasts two device frames, on both sides.
    std::vector<uint8_t> u8 = {0x80, 0xC0, 0x40, 0x80};
    MixerVoice* w = m.CreateVoice({1, 1, 22050, 22050, 1, 8, 0});
    ASSERT_NE(w, nullptr);
    w->Submit(Buffer(u8, kAudioEndOfStream));
    w->SetVolume(0.5f);
    w->Start();
    out = MixOut(m, 8);
    std::vector<int16_t> want = {0, 0, 4096, 4096, 8192, 8192, 0, 0, -8192, -8192, -4096, -4096, 0, 0, 0, 0};
    EXPECT_EQ(out, want);
    EXPECT_EQ(w->Underruns(), 0u);  // it ended its stream

    EXPECT_EQ(m.CreateVoice({1, 2, 44100, 176400, 4, 12, 0}), nullptr);
    EXPECT_EQ(m.CreateVoice({1, 2, 44100, 176400, 2, 16, 0}), nullptr);
    EXPECT_EQ(m.CreateVoice({2, 2, 44100, 176400, 4, 16, 0}), nullptr);
    EXPECT_NE(m.CreateVoice({3, 2, 48000, 384000, 8, 32, 0}), nullptr);
    EXPECT_NE(m.CreateVoice({1, 1, 96000, 288000, 3, 24, 0}), nullptr);
}

TEST(Mixer, StopFlushQueueGainAndUnderruns) {
    Mixer m;
    std::vector<uint8_t> a = CounterPcm(100, 1000), b = CounterPcm(100, 2000);
    MixerVoice* v = m.CreateVoice({1, 2, 44100, 176400, 4, 16, 0});
    v->Submit(Buffer(a));
    v->Submit(Buffer(b));
    EXPECT_EQ(v->BuffersQueued(), 2u);
    v->Start();
    MixOut(m, 60);
    v->Stop();  // keeps the position
    EXPECT_EQ(MixOut(m, 10), std::vector<int16_t>(20, 0));
    v->Start();
    auto out = MixOut(m, 60);
    EXPECT_EQ(out[0], 1060);
    EXPECT_EQ(out[2 * 40], int16_t(2000));  // the second buffer follows sample-exactly
    EXPECT_EQ(v->BuffersQueued(), 1u);
    MixOut(m, 200);
    EXPECT_EQ(v->Underruns(), 1u);  // ran dry after a buffer that did not end the stream
    MixOut(m, 200);
    EXPECT_EQ(v->Underruns(), 1u);  // one count per episode

    v->Submit(Buffer(a));
    v->Flush();
    EXPECT_EQ(v->BuffersQueued(), 0u);
    EXPECT_EQ(MixOut(m, 10), std::vector<int16_t>(20, 0));

    // Two loud voices clip instead of wrapping.
    std::vector<uint8_t> loud;
    for (int i = 0; i < 10; ++i) Put16(loud, 30000), Put16(loud, uint16_t(-30000));
    MixerVoice* x = m.CreateVoice({1, 2, 44100, 176400, 4, 16, 0});
    MixerVoice* y = m.CreateVoice({1, 2, 44100, 176400, 4, 16, 0});
    for (MixerVoice* z : {x, y}) z->Submit(Buffer(loud)), z->Start();
    out = MixOut(m, 1);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[1], -32768);
}

// A volume step of 255 in the settings file is a gain of 12.75: quiet samples are amplified
// exactly, loud ones saturate on the direct and on the resampling path, and a float sample that
// is no number plays as silence instead of an undefined conversion.
TEST(Mixer, GainAboveOneSaturates) {
    constexpr float kGain = 12.75f;
    Mixer m;
    std::vector<uint8_t> pcm;
    for (int v : {1000, -1000, 2571, -2571, 2570, -2570, 30000, -30000}) Put16(pcm, uint16_t(int16_t(v)));
    MixerVoice* direct = m.CreateVoice({1, 2, 44100, 176400, 4, 16, 0});
    direct->Submit(Buffer(pcm));
    direct->SetVolume(kGain);
    direct->Start();
    EXPECT_EQ(MixOut(m, 4), (std::vector<int16_t>{12750, -12750, 32767, -32768, 32767, -32767, 32767, -32768}));
    direct->Destroy();

    std::vector<uint8_t> u8 = {0xF0, 0x10};  // mono at half the rate: resampled
    MixerVoice* resampled = m.CreateVoice({1, 1, 22050, 22050, 1, 8, 0});
    resampled->Submit(Buffer(u8, kAudioEndOfStream));
    resampled->SetVolume(kGain);
    resampled->Start();
    // +0.875 and -0.875 times 12.75, with the interpolated 0 halfway between them.
    auto out = MixOut(m, 4);
    EXPECT_EQ(out, (std::vector<int16_t>{32767, 32767, 0, 0, -32768, -32768, -32768, -32768}));
    resampled->Destroy();

    const float samples[6] = {std::nanf(""), 0.5f, INFINITY, -INFINITY, 0.001f, -1.0f};
    std::vector<uint8_t> f32(sizeof samples);
    std::memcpy(f32.data(), samples, sizeof samples);
    MixerVoice* floats = m.CreateVoice({3, 2, 44100, 352800, 8, 32, 0});
    floats->Submit(Buffer(f32));
    floats->SetVolume(kGain);
    floats->Start();
    out = MixOut(m, 3);
    EXPECT_EQ(out, (std::vector<int16_t>{0, 32767, 32767, -32768, 417, -32768}));
    floats->Submit(Buffer(f32));
    floats->SetVolume(0.0f);  // infinity at gain 0 is no number either
    EXPECT_EQ(MixOut(m, 3), std::vector<int16_t>(6, 0));
}

namespace {

// The music thread on a mixer, in real time; the test plays the device and keeps what it heard.
class StreamTest : public AudioTest {
protected:
    void SetUp() override {
        AudioTest::SetUp();
        Platform p = Plat();
        p.clock = &wall;
        p.audio = &device;
        SetPlatform(p);
        sys.soundMode = 1;
        sys.currentMusicTrack = 0;
        sys.bgmVolume = 10000;
        xa.settings = &sys;
        WriteBytes("a.wav", Wave(CounterPcm(200000, 1)));
        WriteBytes("b.wav", Wave(CounterPcm(200000, 500000)));
        WriteLoop("a.wav", 0, 200000);
        WriteLoop("b.wav", 0, 200000);
        ASSERT_TRUE(OpenMusicTrack(2, Path("a.wav").c_str()));
        ASSERT_TRUE(OpenMusicTrack(3, Path("b.wav").c_str()));
        ASSERT_TRUE(xa.CreateEngine());
        ASSERT_TRUE(xa.CreateBgmVoice());
        ASSERT_TRUE(xa.StartStreamThread());
    }
    void TearDown() override {
        xa.ShutdownAudio();
        platform.Install();
        AudioTest::TearDown();
    }
    // Plays `ms` of sound in 10 ms pulls; returns the frame numbers heard (0 = silence).
    std::vector<uint32_t> Play(int ms) {
        std::vector<uint32_t> heard;
        int16_t buf[2 * 441];
        for (int t = 0; t < ms; t += 10) {
            device.mixer.Mix(buf, 441);
            for (int i = 0; i < 441; ++i) heard.push_back(FrameIndex(reinterpret_cast<uint8_t*>(buf + 2 * i)));
            wall.Sleep(10);
        }
        return heard;
    }
    static bool Contiguous(const std::vector<uint32_t>& v, size_t from, size_t to) {
        for (size_t i = from + 1; i < to; ++i) {
            if (v[i] != v[i - 1] + 1) return false;
        }
        return true;
    }
    static size_t FirstNonZero(const std::vector<uint32_t>& v) {
        return size_t(std::find_if(v.begin(), v.end(), [](uint32_t x) { return x != 0; }) - v.begin());
    }

    WallClock wall;
    MixerAudio device;
    CXa2 xa;
};

}  // namespace

TEST_F(StreamTest, PlaysSwitchesAndRewinds) {
    EXPECT_EQ(Play(150), std::vector<uint32_t>(15 * 441, 0));  // track 0: silence

    sys.currentMusicTrack = 2;
    auto heard = Play(600);
    size_t start = FirstNonZero(heard);
    ASSERT_LT(start, heard.size());
    EXPECT_EQ(heard[start], 1u);
    EXPECT_TRUE(Contiguous(heard, start, heard.size()));
    const uint32_t leftAt = heard.back();

    // Track 3 cuts in within a cycle and a fill; back on 2, the source goes on where it stood.
    sys.currentMusicTrack = 3;
    heard = Play(300);
    auto first3 = std::find_if(heard.begin(), heard.end(), [](uint32_t x) { return x >= 500000; });
    ASSERT_NE(first3, heard.end());
    EXPECT_LE(first3 - heard.begin(), 441 * 20);
    EXPECT_EQ(*first3, 500000u);
    sys.currentMusicTrack = 2;
    heard = Play(300);
    auto back = std::find_if(heard.begin(), heard.end(), [](uint32_t x) { return x < 500000; });
    ASSERT_NE(back, heard.end());
    EXPECT_GT(*back, leftAt);
    EXPECT_LE(*back, leftAt + 2 * 8192 + 1);

    // A rewind of the playing track, racing its fills, restarts it at frame 0 (value 1).
    for (int i = 0; i < 50; ++i) RewindMusicTrack(2);
    sys.currentMusicTrack = 3;
    Play(200);
    RewindMusicTrack(2);
    sys.currentMusicTrack = 2;
    heard = Play(300);
    EXPECT_NE(std::find(heard.begin(), heard.end(), 1u), heard.end());
    EXPECT_EQ(static_cast<MixerVoice*>(xa.bgmVoice)->Underruns(), 0u);
}

namespace {

// The same music on a host without threads: the main loop feeds it once per frame.
class LoopFedStreamTest : public StreamTest {
protected:
    void SetUp() override {
        platform.services.noThreads = true;
        StreamTest::SetUp();
    }
    // `ms` of 10 ms frames, each fed from the loop, then pulled by the device.
    std::vector<uint32_t> PlayFrames(int ms) {
        std::vector<uint32_t> heard;
        int16_t buf[2 * 441];
        for (int t = 0; t < ms; t += 10) {
            xa.FeedMusicFromLoop();
            device.mixer.Mix(buf, 441);
            for (int i = 0; i < 441; ++i) heard.push_back(FrameIndex(reinterpret_cast<uint8_t*>(buf + 2 * i)));
            wall.Sleep(10);
        }
        return heard;
    }
};

}  // namespace

TEST_F(LoopFedStreamTest, MainLoopFeedsTheMusicWithoutAThread) {
    EXPECT_FALSE(xa.streamThread);
    EXPECT_EQ(platform.services.threadsStarted, 0);
    sys.currentMusicTrack = 2;
    auto heard = PlayFrames(800);
    const size_t start = FirstNonZero(heard);
    ASSERT_LT(start, 441u * 2);
    EXPECT_EQ(heard[start], 1u);
    EXPECT_TRUE(Contiguous(heard, start, heard.size()));
    sys.currentMusicTrack = 3;
    heard = PlayFrames(300);
    EXPECT_GE(heard.back(), 500000u);
    EXPECT_EQ(static_cast<MixerVoice*>(xa.bgmVoice)->Underruns(), 0u);
    xa.ShutdownAudio();  // nothing to join
    EXPECT_FALSE(xa.streamFromLoop);
}

TEST_F(StreamTest, StallInactiveWindowAndStop) {
    sys.currentMusicTrack = 2;
    Play(300);
    // The device takes far more than was queued at once: the voice runs dry while started.
    std::vector<int16_t> gulp(2 * 40000);
    device.mixer.Mix(gulp.data(), 40000);
    EXPECT_EQ(static_cast<MixerVoice*>(xa.bgmVoice)->Underruns(), 1u);
    auto heard = Play(500);
    EXPECT_NE(heard.back(), 0u);  // fed again after the stall
    EXPECT_TRUE(Contiguous(heard, heard.size() - 441 * 10, heard.size()));

    // An inactive window lets the queue play out and stops feeding; activation resumes.
    sys.windowActive = 0;
    heard = Play(700);
    EXPECT_EQ(heard.back(), 0u);
    sys.windowActive = 1;
    heard = Play(300);
    EXPECT_NE(heard.back(), 0u);

    sys.currentMusicTrack = 0;
    heard = Play(700);
    EXPECT_EQ(heard.back(), 0u);
}
