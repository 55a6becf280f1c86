// The sound engine on the recording headless voices: engine start, effect loading (WAV and Ogg),
// playing, re-arming and volumes; the WAV reader's chunk handling; the sound-list step.
#include "message_support.h"
#include "audio_support.h"

#include "audio/SoundLists.h"
#include "audio/WaveReader.h"
#include "core/MapSceneEntity.h"
#include "shell/BootedGame.h"
#include "shell/Game.h"

using namespace audiotest;

namespace {

class EngineTest : public AudioTest {
protected:
    void SetUp() override {
        AudioTest::SetUp();
        xa.settings = &sys;
    }
    void TearDown() override {
        xa.ShutdownAudio();
        AudioTest::TearDown();
    }
    HeadlessVoice* Voice(int id) { return static_cast<HeadlessVoice*>(xa.seVoice[id]); }
    static std::vector<uint8_t> Bytes(uint32_t n) {
        std::vector<uint8_t> v(n);
        for (uint32_t i = 0; i < n; ++i) v[i] = uint8_t(i * 7 + 1);
        return v;
    }

    CXa2 xa;
};

}  // namespace

TEST_F(EngineTest, NoSoundModeTouchesNothing) {
    sys.soundMode = 0;
    EXPECT_TRUE(xa.CreateEngine());
    EXPECT_FALSE(xa.engine);
    EXPECT_FALSE(xa.LoadSe(Path("x.wav").c_str(), 0));
    xa.PlaySe(0);
    xa.RearmIdleSe();
    xa.ApplySeVolume();
    xa.ShutdownAudio();
    EXPECT_TRUE(platform.audio.voices.empty());
    EXPECT_TRUE(platform.services.messages.empty());
}

TEST_F(EngineTest, EngineFailureIsSilentButDeviceFailureEndsTheStart) {
    platform.audio.failEngine = true;
    EXPECT_TRUE(xa.CreateEngine());
    EXPECT_EQ(sys.soundOff, 1);
    EXPECT_TRUE(platform.services.messages.empty());

    sys.soundOff = 0;
    platform.audio.failEngine = false;
    platform.audio.failMaster = true;
    EXPECT_FALSE(xa.CreateEngine());
    ASSERT_EQ(platform.services.messages.size(), 1u);
    EXPECT_EQ(IdOf(platform.services.messages[0]), IdOf(MessageId::kAudioFailed));
}

TEST_F(EngineTest, WaveEffectsAreCutAtOneSecondAndMarkTheirEnd) {
    sys.soundMode = 1;
    sys.seVolume = 2500;
    ASSERT_TRUE(xa.CreateEngine());
    // 1.5 s of 22,050 Hz mono 8-bit, and 0.5 s of stereo 16-bit followed by a trailing chunk.
    WriteBytes("long.wav", Wave(Bytes(33075), {.channels = 1, .rate = 22050, .bits = 8}));
    WriteBytes("short.wav", Wave(Bytes(88200), {.chunkAfter = true}));
    ASSERT_TRUE(xa.LoadSe(Path("long.wav").c_str(), 0));
    ASSERT_TRUE(xa.LoadSe(Path("short.wav").c_str(), 1));

    EXPECT_EQ(Voice(0)->format.samplesPerSec, 22050u);
    EXPECT_EQ(xa.seBuffer[0].audioBytes, 22048u);  // nAvgBytesPerSec rounded down to 4
    EXPECT_EQ(xa.seBuffer[0].flags, 0u);
    EXPECT_EQ(xa.seBuffer[1].audioBytes, 88200u);  // the trailing chunk is not sound
    EXPECT_EQ(xa.seBuffer[1].flags, kAudioEndOfStream);
    EXPECT_EQ(xa.seBuffer[1].playLength, 88200u / 4);
    EXPECT_EQ(0, std::memcmp(xa.seData[1], Bytes(88200).data(), 88200));
    // Loaded, queued once, stopped, at the effect volume.
    EXPECT_EQ(Voice(1)->count, 1u);
    EXPECT_FALSE(Voice(1)->running);
    EXPECT_FLOAT_EQ(Voice(1)->volume, 0.25f);

    EXPECT_FALSE(xa.LoadSe(Path("missing.wav").c_str(), 2));
    ASSERT_EQ(platform.services.messages.size(), 1u);
    EXPECT_EQ(IdOf(platform.services.messages[0]), IdOf(MessageId::kWaveOpenFailed));
}

TEST_F(EngineTest, WaveReaderChunks) {
    WaveReader r;
    // An 18-byte PCM "fmt " and a chunk before "data": 16 bytes taken, cbSize 0, data found.
    WriteBytes("a.wav", Wave(Bytes(40), {.fmtBytes = 18, .chunkBetween = true}));
    ASSERT_TRUE(r.Open(Path("a.wav").c_str()));
    EXPECT_EQ(r.FormatBytes(), 18u);
    EXPECT_EQ(r.data.size, 40u);
    uint8_t buf[40];
    EXPECT_EQ(r.Read(buf, 40), 40u);
    EXPECT_EQ(0, std::memcmp(buf, Bytes(40).data(), 40));

    // A non-PCM format keeps its extra bytes; opening again replaces the first record.
    WriteBytes("b.wav", Wave(Bytes(8), {.tag = 2, .fmtBytes = 50}));
    ASSERT_TRUE(r.Open(Path("b.wav").c_str()));
    EXPECT_EQ(r.FormatBytes(), 50u);
    EXPECT_EQ(r.Format().cbSize, 32u);
    r.Read(buf, 4);
    EXPECT_TRUE(r.ResetToData());
    EXPECT_EQ(r.data.size, 8u);

    auto truncated = Wave(Bytes(8), {.tag = 2, .fmtBytes = 50});
    truncated.resize(40);
    WriteBytes("c.wav", truncated);
    WriteBytes("d.wav", Wave(Bytes(8), {.form = "AVI "}));
    WriteBytes("e.wav", Wave(Bytes(8), {.fmtBytes = 14}));
    for (const char* bad : {"c.wav", "d.wav", "e.wav", "none.wav"}) {
        EXPECT_FALSE(r.Open(Path(bad).c_str())) << bad;
        EXPECT_EQ(r.format, nullptr) << bad;
    }
}

TEST_F(EngineTest, PlayRestartsOverlapsAndRearms) {
    sys.soundMode = 1;
    ASSERT_TRUE(xa.CreateEngine());
    WriteBytes("a.wav", Wave(Bytes(400)));
    ASSERT_TRUE(xa.LoadSe(Path("a.wav").c_str(), 3));
    ASSERT_TRUE(xa.LoadSe(Path("a.wav").c_str(), 4));
    HeadlessVoice* v = Voice(3);

    xa.PlaySe(3);
    xa.PlaySe(3);
    // The second play cut the first: one buffer queued, from the start, running.
    EXPECT_EQ(v->count, 1u);
    EXPECT_EQ(v->flushes, 2);
    EXPECT_TRUE(v->running);
    xa.PlaySe(4);
    EXPECT_TRUE(v->running);
    EXPECT_TRUE(Voice(4)->running);

    // A finished effect is queued again, stopped; a playing one is left alone.
    v->FinishHead();
    xa.RearmIdleSe();
    EXPECT_EQ(v->count, 1u);
    EXPECT_FALSE(v->running);
    EXPECT_EQ(v->queue[v->head].audioData, xa.seData[3]);
    EXPECT_TRUE(Voice(4)->running);

    sys.seVolume = 10000;
    xa.ApplySeVolume();
    EXPECT_FLOAT_EQ(v->volume, 1.0f);
    ASSERT_TRUE(xa.CreateBgmVoice());
    sys.bgmVolume = 500;
    xa.ApplyBgmVolume();
    EXPECT_FLOAT_EQ(static_cast<HeadlessVoice*>(xa.bgmVoice)->volume, 0.05f);

    xa.PlaySe(-1);
    xa.PlaySe(32);  // out of range: nothing
}

TEST_F(EngineTest, MusicVoiceAndThreadFailuresEndTheStart) {
    ASSERT_TRUE(xa.CreateEngine());
    platform.audio.failVoices = true;
    EXPECT_FALSE(xa.CreateBgmVoice());
    platform.audio.failVoices = false;
    ASSERT_TRUE(xa.CreateBgmVoice());
    platform.services.failThread = true;
    EXPECT_FALSE(xa.StartStreamThread());
    EXPECT_FALSE(xa.streamThread);
    ASSERT_EQ(platform.services.messages.size(), 1u);
    EXPECT_EQ(platform.services.messages[0].text, u"スレッドの生成に失敗");
    EXPECT_EQ(platform.services.messages[0].caption, u"Error");
}

TEST_F(EngineTest, RealWaveFilesLoadAsEffects) {
    sys.soundMode = 1;
    ASSERT_TRUE(xa.CreateEngine());
    int loaded = 0;
    const std::filesystem::path dirAlsa = "/usr/share/sounds/alsa";
    if (!std::filesystem::exists(dirAlsa)) GTEST_SKIP() << "alsa-utils sounds are not installed";
    for (const auto& e : std::filesystem::directory_iterator(dirAlsa)) {
        if (e.path().extension() != ".wav" || loaded == kEffectVoices) continue;
        char16_t p[kPathChars];
        ASSERT_TRUE(Utf8ToU16(e.path().c_str(), p, kPathChars));
        ASSERT_TRUE(xa.LoadSe(p, loaded)) << e.path();
        // 48 kHz mono 16-bit, longer than a second: cut at 96,000 bytes.
        EXPECT_EQ(xa.seBuffer[loaded].audioBytes, 96000u) << e.path();
        ++loaded;
    }
    EXPECT_GT(loaded, 0);
}

TEST_F(EngineTest, OggEffectsDecodeInTheirOwnFormatAndAreCutAtTheirArray) {
    const std::filesystem::path dir = "/usr/share/sounds/freedesktop/stereo";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "sound-theme-freedesktop is not installed";
    ASSERT_TRUE(xa.CreateEngine());
    int id = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (id == kEffectVoices) break;
        char16_t p[kPathChars];
        ASSERT_TRUE(Utf8ToU16(e.path().c_str(), p, kPathChars));
        ASSERT_TRUE(xa.LoadSe(p, id)) << e.path();
        const WaveFormat& f = Voice(id)->format;
        EXPECT_LE(xa.seBuffer[id].audioBytes, 529200u);
        EXPECT_EQ(xa.seBuffer[id].audioBytes % f.blockAlign, 0u);
        if (e.path().filename() == "alarm-clock-elapsed.oga") {
            // Six seconds of 48 kHz stereo: cut at the array's end.
            EXPECT_EQ(xa.seBuffer[id].audioBytes, 529200u);
        }
        if (e.path().filename() == "phone-outgoing-busy.oga") {
            EXPECT_EQ(f.channels, 1u);
            EXPECT_EQ(f.samplesPerSec, 8000u);
            EXPECT_EQ(xa.seBuffer[id].audioBytes, 23078u * 2);
        }
        ++id;
    }

    WriteText("bad.ogg", "not an ogg stream");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(xa.LoadSe(Path("bad.ogg").c_str(), 0));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Input does not appear to be an Ogg bitstream.\n");
    EXPECT_FALSE(xa.LoadSe(Path("none.ogg").c_str(), 0));
}

#if defined(KELVORINE_HAVE_VORBISENC)
// A data folder with an Ogg list of 96 entries (64 tracks, 32 effects) loads whole; slots past the
// list stay empty; the list's absence is reported.
TEST_F(EngineTest, SoundListLoadsEveryEntry) {
    BootedGame booted;
    Game* game = booted.game;
    game->system->soundMode = 2;
    BindMusicSettings(nullptr);
    U16Copy(game->system->dataFolder, kPathChars, Base().c_str());
    std::filesystem::create_directories(Host("ogg"));
    platform.clock.microsPerRead = 1000;

    EXPECT_FALSE(LoadResourceLists(game->system, game->mapSceneEntity, game->xa2));
    ASSERT_EQ(platform.services.messages.size(), 1u);
    EXPECT_EQ(IdOf(platform.services.messages[0]), IdOf(MessageId::kFileNotFound));
    EXPECT_EQ(platform.services.messages[0].text.rfind(Path("ogg\\ogg_0000.txt") + u" ", 0), 0u);

    ASSERT_TRUE(WriteOgg(Host("ogg/snd.ogg"), 4000));
    std::u16string list;
    for (int k = 0; k < 96; ++k) {
        char name[17];
        std::snprintf(name, sizeof name, "ogg\\s%02d_____.ogg", k);
        std::filesystem::copy_file(Host("ogg/snd.ogg"), Host(std::string("ogg/") + (name + 4)));
        WriteLoop(std::string("ogg/") + (name + 4), 0, 4000);
        for (const char* c = name; *c; ++c) list.push_back(char16_t(*c));
        list += u"\r\n";
    }
    WriteBytes("ogg/ogg_0000.txt", Utf16Bytes(list));

    EXPECT_TRUE(LoadResourceLists(game->system, game->mapSceneEntity, game->xa2));
    EXPECT_EQ(std::u16string(game->mapSceneEntity->soundNames[95]), u"ogg\\s95_____.ogg");
    EXPECT_EQ(game->mapSceneEntity->soundNames[96][0], 0);
    EXPECT_NE(game->xa2->seVoice[31], nullptr);
    EXPECT_NE(game->xa2->bgmVoice, nullptr);
    EXPECT_TRUE(game->xa2->streamThread);
    game->xa2->ShutdownAudio();
    EXPECT_FALSE(game->xa2->streamThread);
    CloseMusicTracks();
    BindMusicSettings(&sys);
}
#endif
