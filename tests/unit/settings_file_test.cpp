// "Game.ini": defaults, the fixed 512-byte layout, out-of-range bytes and the safe write.
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstring>
#include <memory>
#include <random>

#include "message_support.h"
#include "files_fixture.h"
#include "core/MapSceneEntity.h"
#include "platform/file.h"
#include "core/CLoadFile.h"
#include "core/System.h"

namespace {

class SettingsFileTest : public FilesTest {
protected:
    std::unique_ptr<System> sys = std::make_unique<System>();
    std::unique_ptr<MapSceneEntity> scene = std::make_unique<MapSceneEntity>();

    void Read(const std::string& name) {
        ASSERT_TRUE(sys->ReadSettings(Path(name).c_str(), scene.get()));
    }
    // Reads a 512-byte image in which only the given bytes are set.
    void ReadImageWith(std::initializer_list<std::pair<int, uint8_t>> bytes) {
        std::vector<uint8_t> image(512, 0);
        for (auto [offset, value] : bytes) image[offset] = value;
        WriteBytes("Game.ini", image);
        Read("Game.ini");
    }
};

TEST_F(SettingsFileTest, MissingFileGivesTheDefaults) {
    Read("Game.ini");
    EXPECT_EQ(sys->fullScreen, 0);
    EXPECT_EQ(sys->toggleRequest, 0);
    EXPECT_EQ(sys->vsync, 1);
    EXPECT_EQ(sys->dataFolderRelative, 1);
    EXPECT_EQ(sys->inputDevice, 1);
    EXPECT_EQ(sys->timerMode, 0);
    EXPECT_EQ(sys->framePattern, 1);
    EXPECT_EQ(sys->frameSkip, 0);
    EXPECT_EQ(sys->soundMode, 2);  // Ogg
    EXPECT_EQ(sys->fontFlag, 1);
    EXPECT_EQ(sys->bgmVolume, 0);
    EXPECT_EQ(sys->seVolume, 0);
    EXPECT_FLOAT_EQ(sys->texelInset, 1.0e-6f);
    const int32_t mirror[10] = {0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(sys->optionsMirror[i], mirror[i]) << i;
    for (int i = 0; i < kRankingEntries; ++i) EXPECT_EQ(scene->rankScores[i], 0);
    EXPECT_EQ(U16Cmp(sys->dataFolderName, u"data\\"), 0);
}

TEST_F(SettingsFileTest, EmptyFileReadsAsAllZeroBytes) {
    WriteBytes("Game.ini", {});
    Read("Game.ini");
    for (uint8_t b : sys->fileSettings.unusedBytes) EXPECT_EQ(b, 0);
    EXPECT_EQ(sys->fullScreen, 0);
    EXPECT_EQ(sys->toggleRequest, 0);
    EXPECT_EQ(sys->vsync, 0);
    EXPECT_EQ(sys->dataFolderRelative, 0);
    EXPECT_EQ(sys->inputDevice, 0);
    EXPECT_EQ(sys->timerMode, 0);
    EXPECT_EQ(sys->framePattern, 0);
    EXPECT_EQ(sys->frameSkip, 0);
    EXPECT_EQ(sys->soundMode, 0);
    EXPECT_EQ(sys->fontFlag, 1);
    EXPECT_EQ(sys->texelInset, 0.0f);
}

TEST_F(SettingsFileTest, FileCodesMapToSettings) {
    ReadImageWith({{2, 1}, {16, 9}, {17, 1}, {18, 3}, {19, 2}, {20, 5}, {21, 1}, {34, 20}, {35, 3},
                   {24, 3}, {25, 9}, {26, 1}, {27, 2}});
    EXPECT_EQ(sys->fullScreen, 0);     // starts framed ...
    EXPECT_EQ(sys->toggleRequest, 1);  // ... and the first loop turn switches
    EXPECT_EQ(sys->dataFolderRelative, 1);
    EXPECT_EQ(sys->inputDevice, 1);
    EXPECT_EQ(sys->timerMode, 3);
    EXPECT_EQ(sys->framePattern, 2);
    EXPECT_EQ(sys->frameSkip, 1);
    EXPECT_EQ(sys->soundMode, 2);  // file code 1 is Ogg
    EXPECT_EQ(sys->bgmVolume, 10000);
    EXPECT_EQ(sys->seVolume, 1500);
    const int32_t mirror[10] = {0, 0, 3, 1, 20, 3, 3, 9, 1, 2};
    for (int i = 0; i < 10; ++i) EXPECT_EQ(sys->optionsMirror[i], mirror[i]) << i;

    ReadImageWith({{21, 2}});
    EXPECT_EQ(sys->soundMode, 1);  // file code 2 is WAV
}

TEST_F(SettingsFileTest, OutOfRangeBytesLeaveTheSetting) {
    // Constructor values: timer 0, pattern 0, sound 0, screen framed.
    ReadImageWith({{2, 7}, {17, 2}, {18, 4}, {19, 3}, {21, 3}});
    EXPECT_EQ(sys->fullScreen, 0);
    EXPECT_EQ(sys->toggleRequest, 0);
    EXPECT_EQ(sys->inputDevice, 0);
    EXPECT_EQ(sys->timerMode, 0);
    EXPECT_EQ(sys->framePattern, 0);
    EXPECT_EQ(sys->soundMode, 0);
}

// Volume steps above 20 and arrangement bytes above 9 are values the options never make, but a
// file may hold them: they are read as stored and written back unchanged.
TEST_F(SettingsFileTest, ValuesBeyondTheOptionsRangesRoundTrip) {
    std::vector<uint8_t> image(512, 0);
    image[3] = 1;
    image[22] = 1;
    image[34] = 255;
    image[35] = 21;
    const uint8_t arrangement[10] = {10, 4, 255, 3, 9, 200, 0, 1, 2, 77};
    std::memcpy(image.data() + 24, arrangement, 10);
    image[36] = 0x39;  // a ranking score, to see that nothing around the steps moves
    image[37] = 0x30;
    WriteBytes("Game.ini", image);
    Read("Game.ini");
    EXPECT_EQ(sys->bgmVolume, 255 * 500);  // a gain of 12.75, clipped by the mixer
    EXPECT_EQ(sys->seVolume, 21 * 500);
    EXPECT_EQ(std::memcmp(sys->buttonArrangement, arrangement, 10), 0);
    const int32_t mirror[6] = {255, 21, 10, 4, 255, 3};  // the options rows start from the file
    for (int i = 0; i < 6; ++i) EXPECT_EQ(sys->optionsMirror[4 + i], mirror[i]) << i;

    ASSERT_TRUE(sys->WriteSettings(Path("Game.ini").c_str(), scene.get()));
    EXPECT_EQ(ReadBytes("Game.ini"), image);
}

// Any image loads into valid modes and is written back as it was read, except for the bytes the
// writer derives from the live settings and the area it always zeroes.
TEST_F(SettingsFileTest, AnyImageLoadsIntoValidRangesAndWritesBackAsRead) {
    std::mt19937 rng(1234);  // fixed seed: reproducible
    uint8_t image[kSettingsFileBytes];
    uint8_t back[kSettingsFileBytes];
    for (int round = 0; round < 500; ++round) {
        System s;
        MapSceneEntity m;
        for (uint8_t& b : image) b = static_cast<uint8_t>(rng());
        s.LoadSettingsImage(image, &m);
        ASSERT_GE(s.timerMode, 0);
        ASSERT_LE(s.timerMode, 3);
        ASSERT_GE(s.framePattern, 0);
        ASSERT_LE(s.framePattern, 2);
        ASSERT_GE(s.soundMode, 0);
        ASSERT_LE(s.soundMode, 2);
        ASSERT_EQ(s.bgmVolume, image[34] * 500);
        ASSERT_EQ(s.seVolume, image[35] * 500);
        s.BuildSettingsImage(back, &m);
        for (int i = 0; i < 346; ++i) {
            uint8_t want = image[i];
            if (i == 3 || i == 20) want = image[i] != 0 ? 1 : 0;
            if (i == 18) want = image[i] <= 3 ? image[i] : 0;
            if (i == 22) want = 1;
            ASSERT_EQ(back[i], want) << "round " << round << ", byte " << i;
        }
        for (int i = 346; i < kSettingsFileBytes; ++i) ASSERT_EQ(back[i], 0) << i;
    }
}

TEST_F(SettingsFileTest, OnlyTheFirst512BytesCount) {
    std::vector<uint8_t> image(700, 0xEE);
    std::fill(image.begin(), image.begin() + 512, 0);
    image[18] = 2;
    WriteBytes("Game.ini", image);
    Read("Game.ini");
    EXPECT_EQ(sys->timerMode, 2);
    ASSERT_TRUE(sys->WriteSettings(Path("Game.ini").c_str(), scene.get()));
    EXPECT_EQ(ReadBytes("Game.ini").size(), 512u);
}

TEST_F(SettingsFileTest, WriteAndReadReproduceEveryField) {
    // Raw block bytes that are only kept, and both floats.
    uint8_t block[kSettingsFileBytes] = {};
    for (int i = 0; i < kRawSettingsBytes; ++i) block[i] = static_cast<uint8_t>(0x40 + i);
    const float inset = 0.25f, second = -3.5f;
    std::memcpy(block + 5, &inset, 4);
    std::memcpy(block + 9, &second, 4);
    block[16] = 1;
    block[17] = 1;
    block[19] = 2;
    block[21] = 2;
    block[2] = 0;
    Ranking unused;
    DecodeSettings(block, &sys->fileSettings, &unused);
    sys->fullScreen = -1;  // changed in the options: for this run only
    sys->vsync = 1;
    sys->timerMode = 2;
    sys->frameSkip = 1;
    sys->fontFlag = 1;
    for (int i = 0; i < 10; ++i) sys->buttonArrangement[i] = static_cast<uint8_t>(9 - i);
    sys->bgmVolume = 7250;  // written as step 14
    sys->seVolume = 10000;
    for (int i = 0; i < kRankingEntries; ++i) {
        scene->rankScores[i] = 1000000 - 1000 * i - (i == 9 ? 2000000 : 0);  // last one negative
        RankDate& d = scene->rankDates[i];
        d = RankDate{10 + i, 20 + i, i, 1 + i, i, 100 + i, 3, 200, 0};
        d.isdst = 0x00010200 + i;  // three stored bytes
    }
    scene->rankDates[9].isdst = 0x7F010209;  // the last record keeps its fourth byte
    ASSERT_TRUE(sys->WriteSettings(Path("Game.ini").c_str(), scene.get()));

    std::vector<uint8_t> file = ReadBytes("Game.ini");
    ASSERT_EQ(file.size(), 512u);
    EXPECT_EQ(file[2], 0);
    EXPECT_EQ(file[34], 14);
    EXPECT_EQ(file[346], 0x7F);  // spilled fourth flag byte of the last record
    for (int i = 347; i < 512; ++i) ASSERT_EQ(file[i], 0) << i;
    // Record 3 starts at 76 + 27 * 3 with the year, little-endian.
    EXPECT_EQ(file[157], 103);
    EXPECT_EQ(file[158], 0);

    System back;
    MapSceneEntity scene2;
    ASSERT_TRUE(back.ReadSettings(Path("Game.ini").c_str(), &scene2));
    uint8_t again[kSettingsFileBytes];
    EncodeSettings(back.fileSettings, unused, again);
    EXPECT_EQ(std::memcmp(again, file.data(), kRawSettingsBytes), 0);
    for (int i = 0; i < kRawSettingsBytes; ++i) {
        if (i != 3 && i != 18 && i != 20 && i != 22) {
            EXPECT_EQ(file[i], block[i]) << i;
        }
    }
    EXPECT_EQ(back.fullScreen, 0);
    EXPECT_EQ(back.vsync, 1);
    EXPECT_EQ(back.timerMode, 2);
    EXPECT_EQ(back.frameSkip, 1);
    EXPECT_EQ(back.framePattern, 2);
    EXPECT_EQ(back.soundMode, 1);
    EXPECT_EQ(back.inputDevice, 1);
    EXPECT_EQ(back.dataFolderRelative, 1);
    EXPECT_EQ(back.fontFlag, 1);
    EXPECT_EQ(back.fileSettings.fontFlag, 1);
    EXPECT_FLOAT_EQ(back.texelInset, 0.25f);
    EXPECT_EQ(std::memcmp(back.buttonArrangement, sys->buttonArrangement, 10), 0);
    EXPECT_EQ(back.bgmVolume, 7000);
    EXPECT_EQ(back.seVolume, 10000);
    for (int i = 0; i < kRankingEntries; ++i) {
        SCOPED_TRACE(i);
        const RankDate& a = scene->rankDates[i];
        const RankDate& b = scene2.rankDates[i];
        EXPECT_EQ(scene2.rankScores[i], scene->rankScores[i]);
        EXPECT_EQ(b.year, a.year);
        EXPECT_EQ(b.mon, a.mon);
        EXPECT_EQ(b.mday, a.mday);
        EXPECT_EQ(b.hour, a.hour);
        EXPECT_EQ(b.min, a.min);
        EXPECT_EQ(b.sec, a.sec);
        EXPECT_EQ(b.isdst, a.isdst & 0xFFFFFF);  // three bytes, high byte zero
        EXPECT_EQ(b.wday, 0);                    // not stored
        EXPECT_EQ(b.yday, 0);
    }
    EXPECT_EQ(scene2.rankScores[9], 1000000 - 9000 - 2000000);
}

TEST_F(SettingsFileTest, FailedWriteKeepsTheOldFile) {
    const std::vector<uint8_t> old(512, 0x11);
    WriteBytes("Game.ini", old);
    // The temporary file cannot be made: a non-empty folder holds its name.
    std::filesystem::create_directories(Host("Game.ini.tmp/x"));
    EXPECT_FALSE(sys->WriteSettings(Path("Game.ini").c_str(), scene.get()));
    EXPECT_EQ(ReadBytes("Game.ini"), old);

    // The rename cannot replace the target: a non-empty folder of that name stays as it was.
    std::filesystem::create_directories(Host("busy/Game.ini/keep"));
    EXPECT_FALSE(sys->WriteSettings(Path("busy/Game.ini").c_str(), scene.get()));
    EXPECT_TRUE(std::filesystem::is_directory(Host("busy/Game.ini/keep")));
    EXPECT_FALSE(std::filesystem::exists(Host("busy/Game.ini.tmp")));  // no debris

    // The folder does not exist.
    EXPECT_FALSE(sys->WriteSettings(Path("missing/Game.ini").c_str(), scene.get()));
    EXPECT_FALSE(std::filesystem::exists(Host("missing")));
}

#ifndef _WIN32
// The replacement is made fresh beside the file it replaces: a link or FIFO planted under the
// temporary name neither receives the settings nor holds the write up, and "Game.ini" kept as a
// link (into a synced folder, say) stays a link while the file it names is replaced.
TEST_F(SettingsFileTest, ReplacementNeverGoesThroughAPlantedNameAndKeepsALink) {
    const std::u16string ini = Path("Game.ini");
    ASSERT_TRUE(sys->WriteSettings(ini.c_str(), scene.get()));
    const std::vector<uint8_t> image = ReadBytes("Game.ini");
    ASSERT_EQ(image.size(), 512u);

    WriteBytes("victim", {'v'});
    std::filesystem::create_symlink(Host("victim"), Host("Game.ini.tmp"));
    ASSERT_TRUE(sys->WriteSettings(ini.c_str(), scene.get()));
    EXPECT_EQ(ReadBytes("victim"), std::vector<uint8_t>{'v'});
    EXPECT_FALSE(std::filesystem::is_symlink(Host("Game.ini")));
    ASSERT_EQ(mkfifo(Host("Game.ini.tmp").c_str(), 0600), 0);
    ASSERT_TRUE(sys->WriteSettings(ini.c_str(), scene.get()));
    EXPECT_EQ(ReadBytes("Game.ini"), image);
    EXPECT_FALSE(std::filesystem::exists(Host("Game.ini.tmp")));

    std::filesystem::create_directory(Host("synced"));
    WriteBytes("synced/Game.ini", std::vector<uint8_t>(512, 0x11));
    std::filesystem::remove(Host("Game.ini"));
    std::filesystem::create_symlink("synced/Game.ini", Host("Game.ini"));  // relative to its folder
    ASSERT_TRUE(sys->WriteSettings(ini.c_str(), scene.get()));
    EXPECT_TRUE(std::filesystem::is_symlink(Host("Game.ini")));
    EXPECT_EQ(ReadBytes("synced/Game.ini"), image);
    EXPECT_FALSE(std::filesystem::exists(Host("Game.ini.tmp")));
    EXPECT_FALSE(std::filesystem::exists(Host("synced/Game.ini.tmp")));
    std::filesystem::remove(Host("synced/Game.ini"));  // a link to a file not yet there makes it
    ASSERT_TRUE(sys->WriteSettings(ini.c_str(), scene.get()));
    EXPECT_TRUE(std::filesystem::is_symlink(Host("Game.ini")));
    EXPECT_EQ(ReadBytes("synced/Game.ini"), image);
}
#endif  // links and FIFOs are the POSIX file layer's

TEST_F(SettingsFileTest, QuitPathReportsTheWriteThatFailed) {
    CLoadFile files(sys.get(), scene.get());
    U16Copy(sys->baseFolder, kPathChars, Base().c_str());

    ASSERT_TRUE(files.WriteQuitFiles());
    EXPECT_EQ(ReadBytes("Game.ini").size(), 512u);
    EXPECT_EQ(ReadBytes("dir.txt"), Utf16Bytes(u"data\\"));
    EXPECT_TRUE(platform.services.messages.empty());

    // "dir.txt" cannot be replaced: the settings are written, the second message is shown.
    std::filesystem::remove(Host("dir.txt"));
    std::filesystem::create_directories(Host("dir.txt/x"));
    EXPECT_FALSE(files.WriteQuitFiles());
    ASSERT_EQ(platform.services.messages.size(), 1u);
    EXPECT_EQ(IdOf(platform.services.messages[0]), IdOf(MessageId::kTxtWriteFailed));

    // "Game.ini" cannot be replaced: its message, and "dir.txt" is not tried.
    std::filesystem::remove(Host("Game.ini"));
    std::filesystem::create_directories(Host("Game.ini/x"));
    EXPECT_FALSE(files.WriteQuitFiles());
    ASSERT_EQ(platform.services.messages.size(), 2u);
    EXPECT_EQ(platform.services.messages[1].text, u"ini書き込みに失敗しました。");
    EXPECT_EQ(platform.services.messages[1].caption, u"Error");
}

}  // namespace
