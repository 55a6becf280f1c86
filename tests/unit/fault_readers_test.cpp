// Damaged and unusual files found by fuzzing and review, kept as regressions of the readers.
#include <gtest/gtest.h>

#include <vector>

#include "audio/MusicStream.h"
#include "audio/OggTrack.h"
#include "audio/WaveReader.h"
#include "files_fixture.h"
#include "core/System.h"

namespace {

class ReaderFaultTest : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        BindMusicSettings(&system);
    }
    void TearDown() override {
        BindMusicSettings(nullptr);
        FilesTest::TearDown();
    }
    System system;
};

// A loop file without a byte order mark whose first byte is not UTF-8: the byte after the bad
// one is read again, and nothing after it is lost (the blank line stays its own line).
TEST_F(ReaderFaultTest, BadFirstByteOfALoopFileLosesNothingAfterIt) {
    const std::string text = "\xC3\n\nLoopLength=7\nLoopLength=9\n";
    WriteBytes("a.sli", std::vector<uint8_t>(text.begin(), text.end()));
    ASSERT_TRUE(LoadLoopFile(Path("a.sli").c_str(), 4));
    EXPECT_EQ(system.loopStart[4].load(), 0u);   // the first line is not a LoopStart line
    EXPECT_EQ(system.loopLength[4].load(), 7u);  // read after the one skipped (blank) line
}

// A 16-byte format chunk of a format other than PCM (IEEE float, as some editors write it) has
// no extension size: the reader must not take the data chunk's header for one.
TEST_F(ReaderFaultTest, ShortFormatChunkOfAnotherFormatHasNoExtension) {
    std::vector<uint8_t> f;
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i) f.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto id = [&](const char* s) { f.insert(f.end(), s, s + 4); };
    id("RIFF");
    put(4 + 24 + 8 + 64, 4);
    id("WAVE");
    id("fmt ");
    put(16, 4);
    put(3, 2);  // IEEE float
    put(2, 2);
    put(44100, 4);
    put(352800, 4);
    put(8, 2);
    put(32, 2);
    id("data");
    put(64, 4);
    for (int i = 0; i < 64; ++i) f.push_back(static_cast<uint8_t>(i));
    WriteBytes("float.wav", f);

    WaveReader r;
    ASSERT_TRUE(r.Open(Path("float.wav").c_str()));
    EXPECT_EQ(r.FormatBytes(), 18u);
    EXPECT_EQ(r.Format().formatTag, 3);
    EXPECT_EQ(r.data.size, 64u);
    uint8_t first[4];
    ASSERT_EQ(r.Read(first, 4), 4u);
    EXPECT_EQ(first[3], 3);  // positioned at the first sample byte
}

}  // namespace
