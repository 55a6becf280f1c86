// Music sources: loop files, sample-exact loops in WAV and Ogg, switches, rewinds, and tracks
// whose loop cannot be played.
#include "audio_support.h"

using namespace audiotest;

namespace {

constexpr uint32_t kChunk = 32768;

// Frame indices of a stretch of counter PCM.
std::vector<uint32_t> Frames(const std::vector<uint8_t>& pcm) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i + 4 <= pcm.size(); i += 4) out.push_back(FrameIndex(&pcm[i]));
    return out;
}

// The frames a looping track should produce: 0 .. start+length, then start .. start+length again.
std::vector<uint32_t> Expected(uint32_t start, uint32_t length, size_t count) {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; out.size() < count; ++i) {
        if (i == start + length) i = start;
        out.push_back(i);
    }
    return out;
}

}  // namespace

TEST_F(AudioTest, LoopFileForms) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        uint32_t start, length;
    };
    auto ascii = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
    auto utf8bom = [&](const std::string& s) {
        std::vector<uint8_t> v = {0xEF, 0xBB, 0xBF};
        auto t = ascii(s);
        v.insert(v.end(), t.begin(), t.end());
        return v;
    };
    std::vector<Case> cases = {
        {"two lines, UTF-16 with mark", Utf16Bytes(u"LoopStart=1000\r\nLoopLength=2000\r\n"), 1000, 2000},
        {"two lines, no final newline", Utf16Bytes(u"LoopStart=5\r\nLoopLength=7"), 5, 7},
        {"comments and a line between", Utf16Bytes(u";a\r\n;b\r\nLoopStart=1000\r\nx\r\n;c\r\nLoopLength=2000\r\n"),
         1000, 2000},
        {"UTF-8 with mark", utf8bom(";é\nLoopStart=44100\nLoopLength=88200\n"), 44100, 88200},
        {"plain ASCII", ascii("LoopStart=12\r\nLoopLength=34\r\n"), 12, 34},
        {"UTF-16 without mark", Utf16Bytes(u"LoopStart=3\r\nLoopLength=4\r\n", false), 3, 4},
        {"key not at line start", Utf16Bytes(u" LoopStart=3\r\nLoopLength=4\r\n"), 0, 4},
        {"value too large", ascii("LoopStart=99999999999\nLoopLength= +8\n"), 0xFFFFFFFFu, 8},
        {"empty file", {}, 0, 0},
    };
    for (const Case& c : cases) {
        WriteBytes("a.sli", c.bytes);
        sys.loopStart[3] = 77;
        ASSERT_TRUE(LoadLoopFile(Path("a.sli").c_str(), 3)) << c.what;
        EXPECT_EQ(sys.loopStart[3].load(), c.start) << c.what;
        EXPECT_EQ(sys.loopLength[3].load(), c.length) << c.what;
    }
}

TEST_F(AudioTest, MissingLoopFileIsReportedAndFailsTheTrack) {
    EXPECT_FALSE(LoadLoopFile(Path("none.sli").c_str(), 1));
    ASSERT_EQ(platform.services.messages.size(), 1u);
    EXPECT_EQ(platform.services.messages[0].text, Path("none.sli") + u" ファイルが見つかりません");
    EXPECT_EQ(platform.services.messages[0].caption, u"Message");

    sys.soundMode = 1;
    WriteBytes("m.wav", Wave(CounterPcm(100)));
    EXPECT_FALSE(OpenMusicTrack(1, Path("m.wav").c_str()));
    EXPECT_EQ(platform.services.messages.back().text, Path("m.wav.sli") + u" ファイルが見つかりません");
}

TEST_F(AudioTest, WaveLoopIsSampleExactAcrossChunks) {
    sys.soundMode = 1;
    WriteBytes("m.wav", Wave(CounterPcm(20000), {.chunkBetween = true}));
    WriteLoop("m.wav", 1000, 2000);
    ASSERT_TRUE(OpenMusicTrack(2, Path("m.wav").c_str()));
    std::vector<uint8_t> pcm;
    for (int i = 0; i < 3; ++i) {
        auto c = Fill(2, kChunk);
        pcm.insert(pcm.end(), c.begin(), c.end());
    }
    EXPECT_EQ(Frames(pcm), Expected(1000, 2000, 3 * kChunk / 4));
}

TEST_F(AudioTest, WaveLoopEndOnAChunkBoundaryKeepsLooping) {
    // The first pass ends exactly at the end of the first chunk.
    sys.soundMode = 1;
    WriteBytes("m.wav", Wave(CounterPcm(kChunk / 4 + 100)));
    WriteLoop("m.wav", 0, kChunk / 4);
    ASSERT_TRUE(OpenMusicTrack(4, Path("m.wav").c_str()));
    Fill(4, kChunk);
    auto second = Frames(Fill(4, kChunk));
    EXPECT_EQ(second, Expected(0, kChunk / 4, kChunk / 4));
}

TEST_F(AudioTest, SwitchAwayAndBackResumesAndRewindRestarts) {
    sys.soundMode = 1;
    WriteBytes("a.wav", Wave(CounterPcm(50000)));
    WriteBytes("b.wav", Wave(CounterPcm(50000)));
    WriteLoop("a.wav", 0, 50000);
    WriteLoop("b.wav", 0, 50000);
    ASSERT_TRUE(OpenMusicTrack(2, Path("a.wav").c_str()));
    ASSERT_TRUE(OpenMusicTrack(3, Path("b.wav").c_str()));
    Fill(2, kChunk);
    Fill(3, kChunk);
    EXPECT_EQ(Frames(Fill(2, kChunk)).front(), kChunk / 4);  // track 2 goes on where it was left
    RewindMusicTrack(2);
    EXPECT_EQ(Frames(Fill(2, kChunk)).front(), 0u);
    EXPECT_EQ(Frames(Fill(3, kChunk)).front(), kChunk / 4);  // untouched by the other's rewind
}

TEST_F(AudioTest, UnplayableLoopsGiveSilenceNotStaleAudio) {
    sys.soundMode = 1;
    // The file ends at frame 1000, before its loop end at 3000.
    WriteBytes("short.wav", Wave(CounterPcm(1000)));
    WriteLoop("short.wav", 100, 2900);
    ASSERT_TRUE(OpenMusicTrack(5, Path("short.wav").c_str()));
    auto first = Fill(5, kChunk);
    EXPECT_EQ(Frames({first.begin(), first.begin() + 4000}), Expected(0, 1000, 1000));
    EXPECT_TRUE(std::all_of(first.begin() + 4000, first.end(), [](uint8_t b) { return b == 0; }));
    auto next = Fill(5, kChunk);
    EXPECT_TRUE(std::all_of(next.begin(), next.end(), [](uint8_t b) { return b == 0; }));

    // An empty loop plays up to its loop start and then stays silent.
    WriteBytes("empty.wav", Wave(CounterPcm(5000)));
    WriteLoop("empty.wav", 500, 0);
    ASSERT_TRUE(OpenMusicTrack(6, Path("empty.wav").c_str()));
    auto e = Fill(6, kChunk);
    EXPECT_EQ(Frames({e.begin(), e.begin() + 2000}), Expected(0, 500, 500));
    EXPECT_TRUE(std::all_of(e.begin() + 2000, e.end(), [](uint8_t b) { return b == 0; }));

    // A track that was never opened fills silence.
    auto closed = Fill(40, kChunk);
    EXPECT_TRUE(std::all_of(closed.begin(), closed.end(), [](uint8_t b) { return b == 0; }));
}

#if defined(KELVORINE_HAVE_VORBISENC)
TEST_F(AudioTest, OggLoopMatchesTheDecodedStream) {
    ASSERT_TRUE(WriteOgg(Host("m.ogg"), 30000));
    WriteLoop("m.ogg", 1000, 2000);
    ASSERT_TRUE(OpenMusicTrack(2, Path("m.ogg").c_str()));
    const std::vector<uint8_t> ref = DecodeOgg(Host("m.ogg"));
    ASSERT_GE(ref.size(), 3000u * 4);
    std::vector<uint8_t> want;
    want.insert(want.end(), ref.begin(), ref.begin() + 3000 * 4);
    while (want.size() < 3 * kChunk) want.insert(want.end(), ref.begin() + 1000 * 4, ref.begin() + 3000 * 4);
    want.resize(3 * kChunk);
    std::vector<uint8_t> got;
    for (int i = 0; i < 3; ++i) {
        auto c = Fill(2, kChunk);
        got.insert(got.end(), c.begin(), c.end());
    }
    // Seeking decodes bit-exactly, so every pass equals the straight decode of its stretch.
    EXPECT_TRUE(got == want);

    RewindMusicTrack(2);
    auto again = Fill(2, kChunk);
    EXPECT_TRUE(std::equal(again.begin(), again.end(), want.begin()));
}

TEST_F(AudioTest, OggMusicMustBeStereo) {
    ASSERT_TRUE(WriteOgg(Host("mono.ogg"), 5000, 1));
    WriteLoop("mono.ogg", 0, 5000);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(OpenMusicTrack(2, Path("mono.ogg").c_str()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Sorry; right now seeking_test can only use Vorbis files\nthat are entirely stereo.\n\n");
}
#endif

TEST_F(AudioTest, OggMusicOpenFailures) {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(OpenMusicTrack(1, Path("none.ogg").c_str()));
    WriteText("bad.ogg", "this is not an ogg file at all");
    EXPECT_FALSE(OpenMusicTrack(1, Path("bad.ogg").c_str()));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Open Error : " + Host("none.ogg")), std::string::npos);
    EXPECT_NE(err.find("Input does not appear to be an Ogg bitstream.\n"), std::string::npos);
}

TEST_F(AudioTest, RealMonoOggIsRefusedAsMusic) {
    const char* host = "/usr/share/sounds/freedesktop/stereo/suspend-error.oga";
    if (!std::filesystem::exists(host)) GTEST_SKIP() << "sound-theme-freedesktop is not installed";
    std::filesystem::copy_file(host, Host("s.oga"));
    WriteLoop("s.oga", 0, 100);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(OpenMusicTrack(1, Path("s.oga").c_str()));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("entirely stereo"), std::string::npos);
}
