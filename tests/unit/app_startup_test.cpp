// The whole run of the program on the headless platform: start-up in order with each early exit
// and its messages, main-loop turns (activation, toggle, device loss), the quit path and the
// shutdown routine.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "files_fixture.h"
#include "message_support.h"
#include "render_test_support.h"
#include "game/PlayState.h"
#include "graphics/CDx_Gr.h"
#include "shell/App.h"
#include "core/CXi.h"
#include "shell/Game.h"
#include "shell/Pacing.h"
#include "core/System.h"
#include "shell/Window.h"

namespace {

class AppTest : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        char16_t exe[kPathChars];
        ASSERT_TRUE(Utf8ToU16(Host("kelvorine").c_str(), exe, kPathChars));
        platform.services.executablePath = exe;
        platform.window.threadId = 4321;
        platform.window.processId = 8765;
        WriteBytes("dir.txt", Utf16Bytes(u"data\\"));
        std::filesystem::create_directories(Host("data/grp"));
        WriteTextureList();
        settings = DefaultSettings();
        settings[18] = 3;  // No Wait: the virtual clock never has to run
        settings[21] = 0;  // no sound
        WriteBytes("Game.ini", settings);
    }

    void TearDown() override {
        EXPECT_EQ(gGame, nullptr);
        FilesTest::TearDown();
    }

    // The settings image of a missing file (bytes 0..23 as the defaults give them).
    static std::vector<uint8_t> DefaultSettings() {
        std::vector<uint8_t> image(512, 0);
        const uint8_t head[5] = {0, 1, 0, 1, 1};
        std::memcpy(image.data(), head, sizeof head);
        const float inset = 1.0e-6f;
        std::memcpy(image.data() + 5, &inset, 4);
        const uint8_t tail[11] = {1, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1};
        std::memcpy(image.data() + 13, tail, sizeof tail);
        return image;
    }

    // 64 records of 16 units and CR LF; every id left empty.
    void WriteTextureList() {
        std::u16string text;
        for (int i = 0; i < 64; ++i) {
            std::u16string name = u"null0000.png";
            name.resize(16, u'\0');
            text += name + u"\r\n";
        }
        WriteBytes("data/grp/grp_0003.txt", Utf16Bytes(text));
    }

    void Script(std::initializer_list<HeadlessMessage> messages) {
        for (const HeadlessMessage& m : messages) platform.window.queue.push_back(m);
    }

    // What every exit leaves behind: timer period ended as often as begun, screen saver back on,
    // instance released, the container gone.
    void ExpectCleanExit(bool windowGone = true) {
        EXPECT_EQ(platform.clock.periodEnded, platform.clock.periodBegun);
        EXPECT_TRUE(platform.services.screenSaverActive);
        EXPECT_FALSE(platform.services.mutexHeld);
        EXPECT_FALSE(platform.services.fontAdded);
        if (windowGone) {
            EXPECT_FALSE(platform.window.Exists());
        }
    }

    std::vector<uint8_t> settings;
};

const HeadlessMessage kOther{HeadlessMsg::Other, 0, {}};
const HeadlessMessage kEscape{HeadlessMsg::Command, kCommandClose, {}};

TEST_F(AppTest, EscapeEndsACleanRunAndWritesBothFiles) {
    std::filesystem::remove(Host("Game.ini"));
    settings[2] = 0;
    WriteBytes("Game.ini", settings);
    Script({kOther, kOther, kEscape});

    EXPECT_EQ(KelvorineMain(1), 0);

    EXPECT_TRUE(platform.services.messages.empty());
    EXPECT_EQ(ReadBytes("Game.ini").size(), 512u);
    EXPECT_EQ(ReadBytes("dir.txt"), Utf16Bytes(u"data\\"));
    EXPECT_EQ(platform.clock.periodBegun, 1);
    EXPECT_EQ(platform.window.cursorShown, 1);  // WM_CLOSE shows it; the clean path does not again
    EXPECT_EQ(platform.window.unregistered, 1);
    EXPECT_EQ(gWindowThreadId, 4321u);
    EXPECT_EQ(gProcessId, 8765u);
    // Turns: two others, Esc, WM_CLOSE; each presented once.
    EXPECT_EQ(platform.render->presents, 4);
    ExpectCleanExit();
}

TEST_F(AppTest, QuitCodeIsReturnedAndAFailedWriteTurnsItIntoZero) {
    Script({{HeadlessMsg::Quit, 7, {}}});
    EXPECT_EQ(KelvorineMain(1), 7);
    EXPECT_TRUE(platform.services.messages.empty());
    ExpectCleanExit(false);  // a bare quit message: the window was never closed

    // "Game.ini" that cannot be replaced (a folder of that name).
    std::filesystem::remove(Host("Game.ini"));
    std::filesystem::create_directory(Host("Game.ini"));
    HeadlessPlatform second;
    second.services.echoMessages = false;
    second.services.executablePath = platform.services.executablePath;
    second.audio.failEngine = true;  // the defaults ask for sound; run silently
    second.clock.microsPerRead = 10;
    second.Install();
    second.window.queue.push_back({HeadlessMsg::Quit, 7, {}});
    EXPECT_EQ(KelvorineMain(1), 0);
    ASSERT_EQ(second.services.messages.size(), 1u);
    EXPECT_EQ(IdOf(second.services.messages[0]), IdOf(MessageId::kIniWriteFailed));
    EXPECT_EQ(second.window.cursorShown, 1);
    EXPECT_EQ(second.clock.periodEnded, 1);
    EXPECT_TRUE(second.services.screenSaverActive);
    platform.Install();
}

TEST_F(AppTest, SecondCopyLeavesOnlyWhenTheFirstHasAWindow) {
    platform.services.otherInstanceRunning = true;
    platform.window.otherInstanceWindow = true;
    EXPECT_EQ(KelvorineMain(1), 0);
    EXPECT_FALSE(platform.window.shown);
    EXPECT_TRUE(platform.services.messages.empty());
    EXPECT_EQ(platform.clock.periodBegun, 0);

    // The first copy has no window yet: this one starts as well.
    platform.window.otherInstanceWindow = false;
    Script({kEscape});
    EXPECT_EQ(KelvorineMain(1), 0);
    EXPECT_TRUE(platform.window.shown);
    ExpectCleanExit();
}

TEST_F(AppTest, MissingDataFolderFileEndsSilentlyBeforeTheWindow) {
    std::filesystem::remove(Host("dir.txt"));
    EXPECT_EQ(KelvorineMain(1), 0);
    EXPECT_TRUE(platform.services.messages.empty());
    EXPECT_FALSE(platform.window.shown);
    EXPECT_EQ(ReadBytes("Game.ini"), settings);  // nothing written
    ExpectCleanExit();
}

struct StartFailure {
    const char* name;
    void (*inject)(HeadlessPlatform& p, std::vector<uint8_t>& settings, const std::string& dir);
    std::vector<MessageId> messages;  // what the player is told, in order
};
// Test names and failure output show the case by its name, not as raw bytes.
void PrintTo(const StartFailure& c, std::ostream* os) { *os << c.name; }

class AppFailureTest : public AppTest, public ::testing::WithParamInterface<StartFailure> {};

TEST_P(AppFailureTest, EndsThroughTheEarlyExitWithItsMessages) {
    GetParam().inject(platform, settings, dir);
    WriteBytes("Game.ini", settings);
    Script({kEscape});

    EXPECT_EQ(KelvorineMain(1), 0);

    std::vector<int> told, expected;
    for (const HeadlessMessageBox& m : platform.services.messages) told.push_back(IdOf(m));
    for (MessageId id : GetParam().messages) expected.push_back(IdOf(id));
    EXPECT_EQ(told, expected);
    EXPECT_EQ(ReadBytes("Game.ini"), settings);  // the early exit writes nothing
    EXPECT_EQ(platform.window.cursorShown, 1);
    EXPECT_EQ(platform.window.unregistered, 1);
    ExpectCleanExit();
}

INSTANTIATE_TEST_SUITE_P(
    Startup, AppFailureTest,
    ::testing::Values(
        StartFailure{"ClassRegistration",
                     [](HeadlessPlatform& p, std::vector<uint8_t>&, const std::string&) {
                         p.window.failRegister = true;
                     },
                     {MessageId::kWindowClassFailed}},
        StartFailure{"WindowCreation",
                     [](HeadlessPlatform& p, std::vector<uint8_t>&, const std::string&) {
                         p.window.failCreate = true;
                     },
                     {MessageId::kWindowFailed}},
        StartFailure{"RendererDevice",
                     [](HeadlessPlatform& p, std::vector<uint8_t>&, const std::string&) {
                         p.Faults()->createResult = -1;
                     },
                     {MessageId::kGraphicsFailed}},
        StartFailure{"OutputDevice",
                     [](HeadlessPlatform& p, std::vector<uint8_t>& s, const std::string&) {
                         s[21] = 1;  // Ogg
                         p.audio.failMaster = true;
                     },
                     {MessageId::kAudioFailed}},
        StartFailure{"TextureList",
                     [](HeadlessPlatform&, std::vector<uint8_t>&, const std::string& d) {
                         std::filesystem::remove(d + "/data/grp/grp_0003.txt");
                     },
                     {MessageId::kFileNotFound, MessageId::kTextureListFailed,
                      MessageId::kInitFailed}},
        StartFailure{"Textures",
                     [](HeadlessPlatform&, std::vector<uint8_t>&, const std::string& d) {
                         // Record 0 names a picture that is not there.
                         std::u16string text = u"grp\\grp_0000.png\r\n";
                         for (int i = 1; i < 64; ++i) {
                             std::u16string n = u"null0000.png";
                             n.resize(16, u'\0');
                             text += n + u"\r\n";
                         }
                         std::vector<uint8_t> bytes = {0xFF, 0xFE};
                         for (char16_t c : text) {
                             bytes.push_back(static_cast<uint8_t>(c));
                             bytes.push_back(static_cast<uint8_t>(c >> 8));
                         }
                         std::FILE* f = std::fopen((d + "/data/grp/grp_0003.txt").c_str(), "wb");
                         std::fwrite(bytes.data(), 1, bytes.size(), f);
                         std::fclose(f);
                     },
                     {MessageId::kFileNotFound, MessageId::kTexturesFailed,
                      MessageId::kInitFailed}}),
    [](const ::testing::TestParamInfo<StartFailure>& info) { return std::string(info.param.name); });

TEST_F(AppTest, MissingAudioEngineRunsSilently) {
    settings[21] = 1;  // Ogg, but no engine: no sound list is ever read
    WriteBytes("Game.ini", settings);
    platform.audio.failEngine = true;
    Script({kEscape});
    EXPECT_EQ(KelvorineMain(1), 0);
    EXPECT_TRUE(platform.services.messages.empty());
    EXPECT_TRUE(platform.audio.voices.empty());
    ExpectCleanExit();
}

TEST_F(AppTest, InactiveTurnsPollAndWaitButNeverPresent) {
    Script({{HeadlessMsg::Deactivate, 0, {}}, kOther, kOther, kOther, kOther,
            {HeadlessMsg::Activate, 0, {}}, kOther, kEscape});
    platform.input.TapKey(kVkZ);
    EXPECT_EQ(KelvorineMain(1), 0);
    // Nine turns: five inactive, then Activate, Other, Esc, WM_CLOSE.
    EXPECT_EQ(platform.render->presents, 4);
    EXPECT_EQ(platform.clock.sleeps, 5);  // one 1 ms sleep per inactive No Wait turn
    EXPECT_FALSE(platform.input.keyLatch[kVkZ]);  // the first (inactive) poll consumed the tap
    ExpectCleanExit();
}

TEST_F(AppTest, FullScreenSettingSwitchesOnTheFirstTurn) {
    settings[2] = 1;
    WriteBytes("Game.ini", settings);
    Script({kOther, kEscape});
    EXPECT_EQ(KelvorineMain(1), 0);
    EXPECT_TRUE(platform.window.borderless);
    // A change of window mode in play is not saved: byte 2 stays as read.
    EXPECT_EQ(ReadBytes("Game.ini")[2], 1);
}

TEST_F(AppTest, LostDeviceIsRebuiltWithItsTextures) {
    platform.Faults()->presentResult = kDeviceRemoved;
    Script({kOther, kEscape});
    EXPECT_EQ(KelvorineMain(1), 0);
    // One device at start and one after each of the three lost presents.
    EXPECT_EQ(platform.render->creates, 4);
    EXPECT_TRUE(platform.services.messages.empty());
    ExpectCleanExit();
}

TEST_F(AppTest, DeviceResetReportedByTheHealthCheckAlsoReloadsTheTextures) {
    // Record 0 names a real picture, so a re-created device visibly lacks it.
    rendertest::PngShape shape;
    shape.palette = rendertest::TestPalette(16);
    ASSERT_TRUE(rendertest::WriteTestPng(Host("data/grp/grp_0000.png"), shape,
                                         [](int x, int y) { return static_cast<uint32_t>((x + y) % 16); }));
    std::u16string text = u"grp\\grp_0000.png\r\n";
    for (int i = 1; i < 64; ++i) {
        std::u16string n = u"null0000.png";
        n.resize(16, u'\0');
        text += n + u"\r\n";
    }
    WriteBytes("data/grp/grp_0003.txt", Utf16Bytes(text));
    platform.Faults()->removedReason = kDeviceReset;
    Script({kOther, kEscape});

    EXPECT_EQ(KelvorineMain(1), 0);

    // Three turns, each: the check re-creates the device and says so, then the rebuild of the
    // lost device brings the textures back.
    EXPECT_EQ(platform.render->creates, 1 + 3 * 2);
    ASSERT_EQ(platform.services.messages.size(), 3u);
    EXPECT_EQ(IdOf(platform.services.messages[0]), IdOf(MessageId::kDeviceFailed));
    ExpectCleanExit();
}

// A host that owns the loop (a browser page) runs the turns due at a display frame and draws only
// the last; each turn says how far the fixed grid of deadlines moves on.
TEST_F(AppTest, HostRunsTurnsOnAGridAndDrawsOnlyTheLastOfEachBatch) {
    settings[18] = 0;  // timeGetTime
    settings[19] = 2;  // the 27 entries of the frame-time table
    WriteBytes("Game.ini", settings);
    int code = 0;
    ASSERT_TRUE(KelvorineStart(1, &code));
    double grid = 0;
    for (int batch = 0; batch < 9; ++batch) {
        for (int turn = 0; turn < 3; ++turn) {
            ASSERT_TRUE(KelvorineTurn(&code, false));
            grid += KelvorineTurnMs();
        }
        KelvorinePresent();
        KelvorinePresent();  // nothing is owed any more
    }
    EXPECT_EQ(platform.render->presents, 9);
    EXPECT_DOUBLE_EQ(grid, 450.0);  // 27 turns in 450 ms: 60 a second

    gGame->system->timerMode = kTimerCounter;
    ASSERT_TRUE(KelvorineTurn(&code, true));
    EXPECT_NEAR(KelvorineTurnMs(), 1000.0 / 60.0, 0.01);
    gGame->system->timerMode = kTimerNoWait;
    ASSERT_TRUE(KelvorineTurn(&code, true));
    EXPECT_EQ(KelvorineTurnMs(), 0.0);
    EXPECT_EQ(platform.render->presents, 11);

    Script({kEscape});
    while (KelvorineTurn(&code)) {
    }
    EXPECT_EQ(code, 0);
    ExpectCleanExit();
}

}  // namespace
