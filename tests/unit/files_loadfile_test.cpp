// The files beside the executable: "dir.txt", the save slots, the ranking entry, the texture
// list, and the start-up reads that tie them together.
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "files_fixture.h"
#include "core/MapSceneEntity.h"
#include "platform/file.h"
#include "core/CLoadFile.h"
#include "core/System.h"

namespace {

class LoadFileTest : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        setenv("TZ", "UTC", 1);
        tzset();
        U16Copy(sys->baseFolder, kPathChars, Base().c_str());
    }
    std::unique_ptr<System> sys = std::make_unique<System>();
    std::unique_ptr<MapSceneEntity> scene = std::make_unique<MapSceneEntity>();
    CLoadFile files{sys.get(), scene.get()};

    const HeadlessMessageBox* LastMessage() const {
        return platform.services.messages.empty() ? nullptr : &platform.services.messages.back();
    }
};

// ------------------------------------------------------------------------------------------ dir.txt
TEST_F(LoadFileTest, DataFolderNameIsReadAsStored) {
    struct Case {
        std::vector<uint8_t> bytes;
        std::u16string name;
    };
    std::u16string longName(100, u'x');
    std::vector<uint8_t> zeroInside = Utf16Bytes(u"ab");
    zeroInside.insert(zeroInside.end(), {0, 0, 'c', 0});
    const Case cases[] = {
        {Utf16Bytes(u"data\\"), u"data\\"},
        {Utf16Bytes(u"data\\\r\n"), u"data\\\r\n"},  // a line break stays in the name
        {Utf16Bytes(u"ゲーム\\"), u"ゲーム\\"},
        {Utf16Bytes(longName), std::u16string(80, u'x')},  // at most 80 units
        {zeroInside, u"ab"},                               // a zero unit ends the name
        {{0xFF, 0xFE, 'd', 0, 'a', 0, 'x'}, u"dax"},       // odd byte: high half reads as zero
        {{0xFF}, u""},
        {{}, u""},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(index++);
        WriteBytes("dir.txt", c.bytes);
        ASSERT_TRUE(files.ReadDataFolder(Path("dir.txt").c_str()));
        EXPECT_EQ(std::u16string(sys->dataFolderRead), c.name);
        EXPECT_EQ(std::u16string(sys->dataFolderName), c.name);
    }
    EXPECT_FALSE(files.ReadDataFolder(Path("absent.txt").c_str()));
    EXPECT_TRUE(platform.services.messages.empty());  // a missing "dir.txt" ends silently
}

TEST_F(LoadFileTest, DataFolderNameIsWrittenWithoutTerminatorOrLineBreak) {
    WriteBytes("dir.txt", Utf16Bytes(std::u16string(80, u'é')));
    ASSERT_TRUE(files.ReadDataFolder(Path("dir.txt").c_str()));
    ASSERT_TRUE(files.WriteDataFolder(Path("out.txt").c_str()));
    EXPECT_EQ(ReadBytes("out.txt"), Utf16Bytes(std::u16string(80, u'é')));

    U16Copy(sys->dataFolderName, kDataFolderNameChars, u"");
    ASSERT_TRUE(files.WriteDataFolder(Path("out.txt").c_str()));
    EXPECT_EQ(ReadBytes("out.txt"), (std::vector<uint8_t>{0xFF, 0xFE}));

    const std::vector<uint8_t> old = ReadBytes("out.txt");
    std::filesystem::create_directories(Host("out.txt.tmp/x"));
    EXPECT_FALSE(files.WriteDataFolder(Path("out.txt").c_str()));
    EXPECT_EQ(ReadBytes("out.txt"), old);
}

// The writer of a first start (installed game, page) makes what the shell reads and writes back.
TEST_F(LoadFileTest, FirstStartDataFolderFileReadsBackAndOverlongNamesAreRefused) {
    ASSERT_TRUE(WriteDataFolderFileU16(Path("dir.txt").c_str(), u"..\\game\\data\\"));
    ASSERT_TRUE(files.ReadDataFolder(Path("dir.txt").c_str()));
    EXPECT_EQ(std::u16string(sys->dataFolderRead), u"..\\game\\data\\");
    ASSERT_TRUE(files.WriteDataFolder(Path("out.txt").c_str()));
    EXPECT_EQ(ReadBytes("out.txt"), ReadBytes("dir.txt"));

    const std::vector<uint8_t> old = ReadBytes("dir.txt");
    EXPECT_FALSE(WriteDataFolderFileU16(Path("dir.txt").c_str(), std::u16string(81, u'x').c_str()));
    EXPECT_TRUE(WriteDataFolderFileU16(Path("max.txt").c_str(), std::u16string(80, u'x').c_str()));
    EXPECT_EQ(ReadBytes("dir.txt"), old);
}

TEST_F(LoadFileTest, DataFolderIsBuiltFromTheNameAndTheBaseFolder) {
    // "data\" with the relative flag: data files open from the program folder's data folder,
    // through backslash names.
    std::filesystem::create_directories(Host("data/grp"));
    std::vector<uint8_t> list = Utf16Bytes(u"grp\\grp_0000.png\r\n");
    WriteBytes("data/grp/grp_0003.txt", list);
    WriteBytes("dir.txt", Utf16Bytes(u"data\\"));
    ASSERT_TRUE(files.ReadDataFolder(Path("dir.txt").c_str()));
    sys->dataFolderRelative = 1;
    ASSERT_TRUE(files.BuildDataFolder());
    EXPECT_EQ(std::u16string(sys->dataFolder), Base() + u"data\\");
    char16_t listPath[kPathChars];
    U16Copy(listPath, kPathChars, sys->dataFolder);
    U16Cat(listPath, kPathChars, u"grp\\grp_0003.txt");
    ASSERT_TRUE(files.ReadTextureList(listPath));
    EXPECT_EQ(std::u16string(scene->textureNames[0]), u"grp\\grp_0000.png");

    sys->dataFolderRelative = 0;
    ASSERT_TRUE(files.BuildDataFolder());
    EXPECT_EQ(std::u16string(sys->dataFolder), u"data\\");

    // A base folder that leaves no room for the name fails cleanly instead of cutting the path.
    std::u16string longBase(kPathChars - 3, u'b');
    U16Copy(sys->baseFolder, kPathChars, longBase.c_str());
    sys->dataFolderRelative = 1;
    EXPECT_FALSE(files.BuildDataFolder());
    EXPECT_EQ(sys->dataFolder[0], 0);
    ASSERT_NE(LastMessage(), nullptr);
    EXPECT_EQ(LastMessage()->caption, u"Error");
}

// ------------------------------------------------------------------------------------------ save slots
// Byte i of the synthetic save file.
uint8_t SaveByte(size_t i) { return static_cast<uint8_t>(i * 7 + i / 251 + 3); }

int32_t SaveInt(size_t offset) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = v << 8 | SaveByte(offset + k);
    return static_cast<int32_t>(v);
}

TEST_F(LoadFileTest, SaveSlotFieldsComeFromTheirOffsets) {
    std::vector<uint8_t> bytes(40000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = SaveByte(i);
    WriteBytes("save0003.dat", bytes);
    ASSERT_TRUE(files.ReadSaveSlot(Path("save0003.dat").c_str(), 2));
    const SaveSlot& s = scene->saveSlots[2];

    for (int n : {0, 1, 47}) {
        SCOPED_TRACE(n);
        const SaveEntry& e = s.entries[n];
        const size_t b = 608 * n;
        EXPECT_EQ(e.firstByte, SaveByte(b));
        EXPECT_EQ(e.firstInts[0], SaveInt(b + 1));
        EXPECT_EQ(e.firstInts[4], SaveInt(b + 17));
        EXPECT_EQ(e.sixBytes[0], SaveByte(b + 21));
        EXPECT_EQ(e.sixBytes[5], SaveByte(b + 26));
        EXPECT_EQ(e.tenBytes[0], SaveByte(b + 27));
        EXPECT_EQ(e.tenBytes[9], SaveByte(b + 36));
        EXPECT_EQ(e.secondInts[0], SaveInt(b + 37));
        EXPECT_EQ(e.secondInts[4], SaveInt(b + 53));
        EXPECT_EQ(e.secondByte, SaveByte(b + 57));
        EXPECT_EQ(e.twoInts[0], SaveInt(b + 58));
        EXPECT_EQ(e.twoInts[1], SaveInt(b + 62));
        EXPECT_EQ(e.finalInt, SaveInt(b + 66));
        EXPECT_EQ(e.grid[0], SaveInt(b + 70));
        EXPECT_EQ(e.grid[119], SaveInt(b + 546));
    }
    EXPECT_EQ(s.ints303[0], SaveInt(29184));
    EXPECT_EQ(s.ints303[302], SaveInt(30392));
    EXPECT_EQ(s.bytes303[0], SaveByte(30396));
    EXPECT_EQ(s.bytes303[302], SaveByte(30698));
    EXPECT_EQ(s.fourInts[0], SaveInt(30699));
    EXPECT_EQ(s.fourInts[3], SaveInt(30711));
    EXPECT_EQ(s.byteA, SaveByte(30715));
    EXPECT_EQ(s.fourBytes[0], SaveByte(30716));
    EXPECT_EQ(s.fourBytes[3], SaveByte(30719));
    EXPECT_EQ(s.byteB, SaveByte(30720));
    EXPECT_EQ(s.tenBytes[0], SaveByte(30721));
    EXPECT_EQ(s.tenBytes[9], SaveByte(30730));
    EXPECT_EQ(s.sixteenA[0], SaveByte(30731));
    EXPECT_EQ(s.sixteenB[0], SaveByte(30747));
    EXPECT_EQ(s.sixteenB[15], SaveByte(30762));
    EXPECT_EQ(s.fiveBytes[0], SaveByte(30763));
    EXPECT_EQ(s.fiveBytes[4], SaveByte(30767));
    EXPECT_EQ(s.threeInts[0], SaveInt(30768));
    EXPECT_EQ(s.threeInts[1], SaveInt(30772));
    EXPECT_EQ(s.threeInts[2], SaveInt(30776));
    EXPECT_EQ(static_cast<uint8_t>(static_cast<uint32_t>(s.threeInts[2]) >> 24), SaveByte(30779));
    EXPECT_EQ(s.ints2048[0], SaveInt(30779));
    EXPECT_EQ(s.ints2048[2047], SaveInt(38967));

    // The other slots are untouched.
    EXPECT_EQ(scene->saveSlots[1].entries[0].firstByte, 0);
    EXPECT_EQ(scene->saveSlots[3].ints2048[2047], 0);
}

TEST_F(LoadFileTest, ShortSaveFileReadsZerosPastItsEnd) {
    std::vector<uint8_t> full(39000, 0xAB);
    WriteBytes("save0001.dat", full);
    ASSERT_TRUE(files.ReadSaveSlot(Path("save0001.dat").c_str(), 0));
    ASSERT_EQ(scene->saveSlots[0].ints2048[2047], static_cast<int32_t>(0xABABABAB));

    // Reading a short file over a filled slot clears what the file does not hold.
    WriteBytes("save0001.dat", std::vector<uint8_t>(3, 0x5A));
    ASSERT_TRUE(files.ReadSaveSlot(Path("save0001.dat").c_str(), 0));
    const SaveSlot& s = scene->saveSlots[0];
    EXPECT_EQ(s.entries[0].firstByte, 0x5A);
    EXPECT_EQ(s.entries[0].firstInts[0], 0x5A5A);
    EXPECT_EQ(s.entries[0].firstInts[1], 0);
    EXPECT_EQ(s.entries[47].grid[119], 0);
    EXPECT_EQ(s.ints2048[2047], 0);
}

TEST_F(LoadFileTest, UnreadableSaveFileShowsItsPath) {
    EXPECT_FALSE(files.ReadSaveSlot(Path("save0005.dat").c_str(), 4));
    ASSERT_NE(LastMessage(), nullptr);
    EXPECT_EQ(LastMessage()->text, Path("save0005.dat") + u" ファイルが見つかりません");
    EXPECT_EQ(LastMessage()->caption, u"Message");

    WriteBytes("save0001.dat", {1, 2, 3});
    EXPECT_FALSE(files.ReadSaveSlot(Path("save0001.dat").c_str(), 16));  // no such slot
    EXPECT_FALSE(files.ReadSaveSlot(Path("save0001.dat").c_str(), -1));
}

// ------------------------------------------------------------------------------------------ ranking
TEST_F(LoadFileTest, RankingKeepsTheBestTenWithTheirDates) {
    // 1971-01-01 00:00:00 UTC plus one minute per game.
    const int64_t start = 365 * 86400;
    const int32_t scores[] = {500, 900, 500, 100, 700, 900, 300, 800, 200, 600, 400};
    for (int g = 0; g < 11; ++g) {
        platform.SetCalendarTime(start + 60 * g);
        files.RankingEntry(scores[g]);
    }
    EXPECT_EQ(scene->rankGameTime, start + 600);
    // Best first; of equal scores the earlier game stays above (minute = game number).
    const int32_t wantScore[10] = {900, 900, 800, 700, 600, 500, 500, 400, 300, 200};
    const int32_t wantMinute[10] = {1, 5, 7, 4, 9, 0, 2, 10, 6, 8};
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(scene->rankScores[i], wantScore[i]);
        EXPECT_EQ(scene->rankDates[i].min, wantMinute[i]);
        EXPECT_EQ(scene->rankDates[i].year, 71);
        EXPECT_EQ(scene->rankDates[i].mon, 0);
        EXPECT_EQ(scene->rankDates[i].mday, 1);
    }
    EXPECT_EQ(scene->rankScores[10], 100);  // dropped out
    EXPECT_EQ(scene->rankDates[10].min, 3);

    // A score below all ten changes nothing in the table.
    platform.SetCalendarTime(start + 3600);
    files.RankingEntry(50);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(scene->rankScores[i], wantScore[i]);
    EXPECT_EQ(scene->rankScores[10], 50);
    EXPECT_EQ(scene->rankDates[10].hour, 1);
}

TEST_F(LoadFileTest, NewScoreEqualToAFullTableDropsOut) {
    for (int i = 0; i < 10; ++i) {
        scene->rankScores[i] = 1000;
        scene->rankDates[i].sec = i;
    }
    platform.SetCalendarTime(365 * 86400 + 59);
    files.RankingEntry(1000);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(scene->rankDates[i].sec, i);
    EXPECT_EQ(scene->rankScores[10], 1000);
    EXPECT_EQ(scene->rankDates[10].sec, 59);
}

// ------------------------------------------------------------------------------------------ texture list
TEST_F(LoadFileTest, TextureListFillsNameSlots) {
    std::u16string text;
    for (int i = 0; i < 64; ++i) {
        char16_t name[17];
        for (int k = 0; k < 16; ++k) name[k] = u'a' + (i + k) % 26;
        name[16] = 0;
        text += name;
        text += (i == 5) ? u"XY" : u"\r\n";  // record 5 has no line break after the name
    }
    WriteBytes("list.txt", Utf16Bytes(text));
    ASSERT_TRUE(files.ReadTextureList(Path("list.txt").c_str()));
    EXPECT_EQ(std::u16string(scene->textureNames[0]), u"abcdefghijklmnop");
    EXPECT_EQ(std::u16string(scene->textureNames[63]).substr(0, 3), u"lmn");
    EXPECT_EQ(std::u16string(scene->textureNames[63]).size(), 16u);
    EXPECT_EQ(std::u16string(scene->textureNames[5]), u"fghijklmnopqrstuXY");
    EXPECT_EQ(scene->textureNames[5][18], 0);
}

TEST_F(LoadFileTest, ShortTextureListLeavesTheRemainingSlots) {
    for (int i = 0; i < 64; ++i) U16Copy(scene->textureNames[i], kNameSlotUnits, u"old");
    WriteBytes("list.txt", Utf16Bytes(u"grp\\grp_0000.png\r\ngrp\\grp_0001.png\r\ngrp\\gr"));
    ASSERT_TRUE(files.ReadTextureList(Path("list.txt").c_str()));
    EXPECT_EQ(std::u16string(scene->textureNames[0]), u"grp\\grp_0000.png");
    EXPECT_EQ(std::u16string(scene->textureNames[1]), u"grp\\grp_0001.png");
    EXPECT_EQ(std::u16string(scene->textureNames[2]), u"grp\\gr");  // the partial record
    EXPECT_EQ(std::u16string(scene->textureNames[3]), u"old");
    EXPECT_EQ(std::u16string(scene->textureNames[63]), u"old");

    EXPECT_FALSE(files.ReadTextureList(Path("none.txt").c_str()));
    ASSERT_NE(LastMessage(), nullptr);
    EXPECT_EQ(LastMessage()->text, Path("none.txt") + u" ファイルが見つかりません");
    EXPECT_EQ(LastMessage()->caption, u"Message");
}

// ------------------------------------------------------------------------------------------ start-up
TEST_F(LoadFileTest, StartupReadsSettingsDataFolderAndPresentSaveFiles) {
    WriteBytes("dir.txt", Utf16Bytes(u"data\\"));
    WriteBytes("save0001.dat", {0x11});
    WriteBytes("save0016.dat", {0x16});
    std::filesystem::create_directories(Host("save0002.dat"));  // not a file: skipped
    ASSERT_TRUE(files.ReadStartupFiles());
    EXPECT_EQ(sys->fontFlag, 1);  // the settings were read (defaults)
    EXPECT_EQ(std::u16string(sys->dataFolderName), u"data\\");
    EXPECT_EQ(scene->saveSlots[0].entries[0].firstByte, 0x11);
    EXPECT_EQ(scene->saveSlots[15].entries[0].firstByte, 0x16);
    EXPECT_TRUE(platform.services.messages.empty());

    std::filesystem::remove(Host("dir.txt"));
    EXPECT_FALSE(files.ReadStartupFiles());
    EXPECT_TRUE(platform.services.messages.empty());
}

TEST_F(LoadFileTest, BaseFolderKeepsItsTrailingSeparator) {
    platform.services.executablePath = u"/opt/kelvorine/bin/kelvorine";
    ASSERT_TRUE(files.SetBaseFolder());
    EXPECT_EQ(std::u16string(sys->baseFolder), u"/opt/kelvorine/bin/");
    platform.services.executablePath = u"C:\\Games\\Kelvorine\\Kelvorine.exe";
    ASSERT_TRUE(files.SetBaseFolder());
    EXPECT_EQ(std::u16string(sys->baseFolder), u"C:\\Games\\Kelvorine\\");
}

}  // namespace
