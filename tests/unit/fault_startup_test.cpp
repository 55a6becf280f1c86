// Faults injected into whole headless runs: every way the start-up can fail after the window
// exists with sound on (the sound list, an effect, a track, a loop file, the music voice, the
// music thread), a renderer or texture set that cannot be had again after a lost device, a save
// file that exists but cannot be read, and quit-path writes into a folder that refuses them.
// Each run must end with exactly its messages, in order, and release everything it built.
// Linux only: the faults are made with capabilities, file modes and a small tmpfs.
#if defined(__linux__)
#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "files_fixture.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "platform/headless/png_write.h"
#include "shell/App.h"
#include "core/CLoadFile.h"
#include "shell/Game.h"
#include "core/System.h"
#include "shell/Window.h"

namespace {

constexpr char16_t kInitFailed[] = u"ゲームの初期化に失敗しました。|Message";

// Root reads and writes through any permission bits; to see what a player without rights sees,
// the test thread gives up its two file-permission overrides for a while.
class WithoutFileOverrides {
public:
    WithoutFileOverrides() {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        header_.pid = 0;
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, saved_, sizeof reduced);
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~WithoutFileOverrides() {
        if (active_) syscall(SYS_capset, &header_, saved_);
    }
    bool Active() const { return active_ || geteuid() != 0; }

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
    bool active_ = false;
};

// A render device that fails from its Nth Create on, or whose textures fail from the Nth device
// on: the start-up succeeds and the rebuild after a lost present does not.
class FailingRebuild : public FaultRender {
public:
    int failCreateFrom = 0;    // 0: never
    int failTexturesFrom = 0;  // 0: never
    int32_t Create() override {
        int32_t r = FaultRender::Create();
        if (failCreateFrom != 0 && creates >= failCreateFrom) return -1;
        failTextures = failTexturesFrom != 0 && creates >= failTexturesFrom;
        return r;
    }
};

std::vector<uint8_t> U16Bytes(const std::u16string& text, bool bom = true) {
    std::vector<uint8_t> out;
    if (bom) out = {0xFF, 0xFE};
    for (char16_t c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
    }
    return out;
}

// A list of 16-unit records with CR LF.
std::vector<uint8_t> ListBytes(const std::vector<std::u16string>& names) {
    std::u16string text;
    for (std::u16string n : names) {
        n.resize(16, u'\0');
        text += n + u"\r\n";
    }
    return U16Bytes(text);
}

// 44,100 Hz stereo 16-bit PCM, `frames` sample frames of a quiet ramp.
std::vector<uint8_t> WaveBytes(uint32_t frames) {
    std::vector<uint8_t> out;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto put16 = [&](uint16_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    const uint32_t data = frames * 4;
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put32(36 + data);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(16);
    put16(1);
    put16(2);
    put32(44100);
    put32(176400);
    put16(4);
    put16(16);
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put32(data);
    for (uint32_t i = 0; i < frames * 2; ++i) put16(static_cast<uint16_t>(i % 64));
    return out;
}

class FaultTest : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        char16_t exe[kPathChars];
        ASSERT_TRUE(Utf8ToU16(Host("kelvorine").c_str(), exe, kPathChars));
        platform.services.executablePath = exe;
        WriteBytes("dir.txt", U16Bytes(u"data\\"));
        std::filesystem::create_directories(Host("data/grp"));
        std::filesystem::create_directories(Host("data/wav"));
        std::filesystem::create_directories(Host("data/ogg"));
        textures.assign(64, u"null0000.png");
        WriteBytes("data/grp/grp_0003.txt", ListBytes(textures));

        // Settings: No Wait (the virtual clock never has to run), framed, WAV sound.
        settings.assign(512, 0);
        const float inset = 1.0e-6f;
        std::memcpy(settings.data() + 5, &inset, 4);
        settings[16] = 1;  // data folder relative to the program
        settings[18] = 3;
        settings[21] = 2;  // file code 2: WAV
        settings[34] = 10;
        settings[35] = 10;
        WriteBytes("Game.ini", settings);

        // 64 tracks and 32 effects, all playable.
        sounds.assign(96, u"wav\\track.wav");
        for (int j = 64; j < 96; ++j) sounds[j] = u"wav\\click.wav";
        WriteBytes("data/wav/track.wav", WaveBytes(4410));
        WriteBytes("data/wav/track.wav.sli", U16Bytes(u"LoopStart=100\r\n\r\nLoopLength=2000\r\n"));
        WriteBytes("data/wav/click.wav", WaveBytes(441));
    }

    void TearDown() override {
        EXPECT_EQ(gGame, nullptr);
        FilesTest::TearDown();
    }

    int Run() {
        WriteBytes("Game.ini", settings);
        if (sounds.empty()) {
            std::filesystem::remove(Host("data/wav/wav_0000.txt"));
        } else {
            WriteBytes("data/wav/wav_0000.txt", ListBytes(sounds));
        }
        WriteBytes("data/grp/grp_0003.txt", ListBytes(textures));
        platform.window.queue.push_back({HeadlessMsg::Other, 0, {}});
        platform.window.queue.push_back({HeadlessMsg::Command, kCommandClose, {}});
        return KelvorineMain(1);
    }

    // "text|caption" of each message box, with the temporary folder cut from file messages.
    std::vector<std::u16string> Texts() const {
        std::vector<std::u16string> out;
        for (const HeadlessMessageBox& m : platform.services.messages) {
            std::u16string t = m.text;
            const size_t cut = t.find(u" ファイルが見つかりません");
            if (cut != std::u16string::npos) t = t.substr(cut + 1);
            out.push_back(t + u"|" + m.caption);
        }
        return out;
    }

    // Everything the run built is gone again.
    void ExpectAllReleased() {
        EXPECT_EQ(gGame, nullptr);
        EXPECT_EQ(platform.clock.periodEnded, platform.clock.periodBegun);
        EXPECT_TRUE(platform.services.screenSaverActive);
        EXPECT_FALSE(platform.services.mutexHeld);
        EXPECT_FALSE(platform.services.fontAdded);
        EXPECT_FALSE(platform.services.thread.joinable());
        EXPECT_FALSE(platform.window.Exists());
        EXPECT_FALSE(platform.audio.engine);
        EXPECT_FALSE(platform.audio.masterVoice);
        for (const auto& v : platform.audio.voices) EXPECT_TRUE(v->destroyed);
        EXPECT_FALSE(platform.render->created);
    }

    // A 512 x 512 RGB picture the loader accepts.
    void WritePicture(const std::string& name) {
        std::vector<uint32_t> pixels(512 * 512, 0xFF336699u);
        ASSERT_TRUE(WritePng(Host(name).c_str(), pixels.data(), 512, 512));
    }

    std::vector<uint8_t> settings;
    std::vector<std::u16string> sounds;
    std::vector<std::u16string> textures;
};

TEST_F(FaultTest, WaveDataOfTheFixtureStartsAndEndsCleanly) {
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(platform.services.messages.empty());
    // 32 effect voices and the music voice; the music thread ran and was joined.
    EXPECT_EQ(platform.audio.voices.size(), 33u);
    ExpectAllReleased();
}

struct AudioFault {
    const char* name;
    void (*inject)(FaultTest& t, HeadlessPlatform& p, std::vector<uint8_t>& s,
                   std::vector<std::u16string>& list);
    std::vector<std::u16string> messages;
};
// Test names and failure output show the case by its name, not as raw bytes.
void PrintTo(const AudioFault& c, std::ostream* os) { *os << c.name; }

class AudioFaultTest : public FaultTest, public ::testing::WithParamInterface<AudioFault> {
public:
    void Remove(const std::string& name) { std::filesystem::remove(Host(name)); }
    void Write(const std::string& name, const std::vector<uint8_t>& b) { WriteBytes(name, b); }
};

TEST_P(AudioFaultTest, EndsTheStartWithItsMessagesAndReleasesEverything) {
    GetParam().inject(*this, platform, settings, sounds);
    const std::vector<uint8_t> before = settings;
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Texts(), GetParam().messages);
    EXPECT_EQ(ReadBytes("Game.ini"), before);  // an early exit writes nothing
    EXPECT_EQ(platform.window.cursorShown, 1);
    EXPECT_EQ(platform.window.unregistered, 1);
    ExpectAllReleased();
}

INSTANTIATE_TEST_SUITE_P(
    Startup, AudioFaultTest,
    ::testing::Values(
        AudioFault{"WaveListMissing",
                   [](FaultTest&, HeadlessPlatform&, std::vector<uint8_t>&, std::vector<std::u16string>& l) {
                       l.clear();  // no list file at all
                   },
                   {u"ファイルが見つかりません|Message", kInitFailed}},
        AudioFault{"OggListMissing",
                   [](FaultTest&, HeadlessPlatform&, std::vector<uint8_t>& s, std::vector<std::u16string>&) {
                       s[21] = 1;  // Ogg: its list is not there
                   },
                   {u"ファイルが見つかりません|Message", kInitFailed}},
        AudioFault{"EffectMissing",
                   [](FaultTest&, HeadlessPlatform&, std::vector<uint8_t>&, std::vector<std::u16string>& l) {
                       l[64 + 5] = u"wav\\absent.wav";
                   },
                   {u"Waveファイルのオープンに失敗|Error", kInitFailed}},
        AudioFault{"EffectNotAWave",
                   [](FaultTest& t, HeadlessPlatform&, std::vector<uint8_t>&, std::vector<std::u16string>& l) {
                       static_cast<AudioFaultTest&>(t).Write("data/wav/bad.wav", {'R', 'I', 'F', 'F', 4, 0, 0, 0});
                       l[64 + 31] = u"wav\\bad.wav";
                   },
                   {u"Waveファイルのオープンに失敗|Error", kInitFailed}},
        AudioFault{"TrackMissing",
                   [](FaultTest&, HeadlessPlatform&, std::vector<uint8_t>&, std::vector<std::u16string>& l) {
                       l[7] = u"wav\\absent.wav";
                   },
                   {u"WAVEファイルを開くのに失敗|Error", kInitFailed}},
        AudioFault{"LoopFileMissing",
                   [](FaultTest& t, HeadlessPlatform&, std::vector<uint8_t>&, std::vector<std::u16string>& l) {
                       static_cast<AudioFaultTest&>(t).Write("data/wav/bare.wav", WaveBytes(100));
                       l[63] = u"wav\\bare.wav";
                   },
                   {u"ファイルが見つかりません|Message", kInitFailed}},
        AudioFault{"VoicesRefused",
                   [](FaultTest&, HeadlessPlatform& p, std::vector<uint8_t>&, std::vector<std::u16string>&) {
                       p.audio.failVoices = true;  // the effect voice: its own reason on stderr only
                   },
                   {kInitFailed}},
        AudioFault{"MusicThread",
                   [](FaultTest&, HeadlessPlatform& p, std::vector<uint8_t>&, std::vector<std::u16string>&) {
                       p.services.failThread = true;
                   },
                   {u"スレッドの生成に失敗|Error", kInitFailed}}),
    [](const ::testing::TestParamInfo<AudioFault>& info) { return std::string(info.param.name); });

TEST_F(FaultTest, SoundOffReadsNoListAtAll) {
    settings[21] = 0;
    sounds.clear();
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(platform.services.messages.empty());
    EXPECT_TRUE(platform.audio.voices.empty());
    ExpectAllReleased();
}

TEST_F(FaultTest, DeviceThatCannotBeRebuiltEndsTheRun) {
    auto* device = new FailingRebuild();
    device->failCreateFrom = 2;
    device->presentResult = kDeviceRemoved;
    platform.render.reset(device);
    platform.Install();
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Texts(), std::vector<std::u16string>{u"DirectGraphicsの初期化に失敗しました。|Message"});
    EXPECT_EQ(ReadBytes("Game.ini"), settings);
    EXPECT_EQ(device->creates, 2);
    ExpectAllReleased();
}

TEST_F(FaultTest, TexturesThatCannotBeReloadedEndTheRunSilently) {
    WritePicture("data/grp/grp_0000.png");
    textures[0] = u"grp\\grp_0000.png";
    auto* device = new FailingRebuild();
    device->failTexturesFrom = 2;
    device->presentResult = kDeviceRemoved;
    platform.render.reset(device);
    platform.Install();
    EXPECT_EQ(Run(), 0);
    EXPECT_TRUE(platform.services.messages.empty());
    EXPECT_EQ(device->creates, 2);
    EXPECT_EQ(ReadBytes("Game.ini"), settings);  // nothing saved
    ExpectAllReleased();
}

// Without "dir.txt" the run ends silently; one that is there but cannot be read says so and why.
TEST_F(FaultTest, DataFolderFileThatCannotBeReadSaysWhy) {
    const struct {
        const char* what;
        void (*make)(const std::string& path);
        std::u16string texts;
    } cases[] = {
        {"absent", [](const std::string&) {}, u""},
        {"a folder", [](const std::string& p) { std::filesystem::create_directory(p); },
         u"ファイルが見つかりません\nnot a regular file: a folder|Message"},
        {"a FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); },
         u"ファイルが見つかりません\nnot a regular file: a FIFO|Message"},
        {"a dangling link", [](const std::string& p) { std::filesystem::create_symlink(p + ".gone", p); },
         u"ファイルが見つかりません\na symbolic link to a file that does not exist|Message"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(Host("dir.txt"));
        c.make(Host("dir.txt"));
        platform.services.messages.clear();
        EXPECT_EQ(Run(), 0);
        const std::vector<std::u16string> expected =
            c.texts.empty() ? std::vector<std::u16string>{} : std::vector<std::u16string>{c.texts};
        EXPECT_EQ(Texts(), expected);
        EXPECT_EQ(ReadBytes("Game.ini"), settings);  // an early exit writes nothing
    }
}

TEST_F(FaultTest, SaveFileThatCannotBeReadEndsWithItsMessageOnly) {
    WriteBytes("save0003.dat", std::vector<uint8_t>(100, 7));
    ASSERT_EQ(chmod(Host("save0003.dat").c_str(), 0), 0);
    WithoutFileOverrides noRoot;
    if (!noRoot.Active()) GTEST_SKIP() << "cannot give up the permission overrides";
    const int code = Run();
    EXPECT_EQ(code, 0);
    // The file is there: the second line says why it could not be read.
    EXPECT_EQ(Texts(), std::vector<std::u16string>{u"ファイルが見つかりません\nPermission denied|Message"});
    ASSERT_FALSE(platform.services.messages.empty());
    EXPECT_NE(platform.services.messages[0].text.find(u"save0003.dat"), std::u16string::npos);
    EXPECT_FALSE(platform.window.shown);
    ExpectAllReleased();
}

// ------------------------------------------------------------------------------ quit-path writes
class SavedFilesTest : public FaultTest {
protected:
    // The quit path's two writes with the ranking changed, as after a game; `meanwhile` runs
    // on the folder between the start-up reads and the writes.
    bool WriteQuit(std::vector<std::u16string>* texts, void (*meanwhile)(const std::string&) = nullptr) {
        System system;
        MapSceneEntity scene;
        CLoadFile files(&system, &scene);
        EXPECT_TRUE(files.SetBaseFolder());
        EXPECT_TRUE(files.ReadStartupFiles());
        if (meanwhile != nullptr) meanwhile(dir);
        U16Copy(system.dataFolderName, kDataFolderNameChars, u"other\\");
        files.RankingEntry(123456);
        const bool ok = files.WriteQuitFiles();
        *texts = Texts();
        return ok;
    }
};

TEST_F(SavedFilesTest, DataFolderFileThatCannotBeReplacedKeepsItsOldText) {
    std::filesystem::create_directory(Host("dir.txt.tmp"));  // the replacement cannot be made
    std::vector<std::u16string> texts;
    EXPECT_FALSE(WriteQuit(&texts));
    EXPECT_EQ(texts, std::vector<std::u16string>{u"txt書き込みに失敗しました。|Error"});
    EXPECT_EQ(ReadBytes("dir.txt"), U16Bytes(u"data\\"));
    const std::vector<uint8_t> ini = ReadBytes("Game.ini");
    ASSERT_EQ(ini.size(), 512u);
    EXPECT_EQ(ini[36] | ini[37] << 8 | ini[38] << 16, 123456);  // the first write went through
}

TEST_F(SavedFilesTest, ReadOnlyFolderKeepsBothFiles) {
    WithoutFileOverrides noRoot;
    if (!noRoot.Active()) GTEST_SKIP() << "cannot give up the permission overrides";
    ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
    std::vector<std::u16string> texts;
    const bool ok = WriteQuit(&texts);
    chmod(dir.c_str(), 0755);
    EXPECT_FALSE(ok);
    EXPECT_EQ(texts, std::vector<std::u16string>{u"ini書き込みに失敗しました。|Error"});
    EXPECT_EQ(ReadBytes("Game.ini"), settings);
    EXPECT_EQ(ReadBytes("dir.txt"), U16Bytes(u"data\\"));
    EXPECT_FALSE(std::filesystem::exists(Host("Game.ini.tmp")));
}

// The rename that replaces a file needs only the folder's rights, so a file the player may not
// read, or may not write, has to be refused by the game itself: its write fails with its message
// and the file stays byte for byte and mode for mode as it was. "Game.ini" unreadable at start
// stays refused even when it becomes readable before the end (the run never saw its contents).
TEST_F(SavedFilesTest, FilesThePlayerMayNotReadOrWriteAreNeverReplaced) {
    struct Case {
        const char* file;
        mode_t mode;
        void (*meanwhile)(const std::string& folder);
        const char16_t* message;
    };
    const Case cases[] = {
        {"Game.ini", 0000, nullptr, u"ini書き込みに失敗しました。|Error"},
        {"Game.ini", 0444, nullptr, u"ini書き込みに失敗しました。|Error"},
        {"Game.ini", 0200, nullptr, u"ini書き込みに失敗しました。|Error"},
        {"Game.ini", 0000, [](const std::string& folder) { chmod((folder + "/Game.ini").c_str(), 0644); },
         u"ini書き込みに失敗しました。|Error"},
        {"dir.txt", 0444, nullptr, u"txt書き込みに失敗しました。|Error"},
    };
    for (const Case& c : cases) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%03o", unsigned(c.mode));
        SCOPED_TRACE(std::string(c.file) + " mode " + mode);
        WriteBytes("Game.ini", settings);
        WriteBytes("dir.txt", U16Bytes(u"data\\"));
        platform.services.messages.clear();
        const std::vector<uint8_t> before = ReadBytes(c.file);
        ASSERT_EQ(chmod(Host(c.file).c_str(), c.mode), 0);
        std::vector<std::u16string> texts;
        bool ok = true;
        {
            WithoutFileOverrides noRoot;
            if (!noRoot.Active()) GTEST_SKIP() << "cannot give up the permission overrides";
            ok = WriteQuit(&texts, c.meanwhile);
        }
        struct stat st {};
        ASSERT_EQ(stat(Host(c.file).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, c.meanwhile != nullptr ? 0644u : unsigned(c.mode));
        chmod(Host(c.file).c_str(), 0644);
        EXPECT_FALSE(ok);
        EXPECT_EQ(texts, std::vector<std::u16string>{c.message});
        EXPECT_EQ(ReadBytes(c.file), before);
        EXPECT_FALSE(std::filesystem::exists(Host(std::string(c.file) + ".tmp")));
        if (std::string(c.file) == "dir.txt") {
            const std::vector<uint8_t> ini = ReadBytes("Game.ini");  // the first write went through
            ASSERT_EQ(ini.size(), 512u);
            EXPECT_EQ(ini[36] | ini[37] << 8 | ini[38] << 16, 123456);
        }
    }
}

TEST_F(SavedFilesTest, FullDiskKeepsBothFiles) {
    // A two-page file system holding the two files: no room for a third page.
    const std::string mnt = Host("full");
    std::filesystem::create_directory(mnt);
    if (mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=8k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    }
    std::filesystem::copy_file(Host("Game.ini"), mnt + "/Game.ini");
    std::filesystem::copy_file(Host("dir.txt"), mnt + "/dir.txt");
    char16_t exe[kPathChars];
    ASSERT_TRUE(Utf8ToU16((mnt + "/kelvorine").c_str(), exe, kPathChars));
    platform.services.executablePath = exe;
    std::vector<std::u16string> texts;
    const bool ok = WriteQuit(&texts);
    std::vector<uint8_t> ini = ReadBytes("full/Game.ini");
    std::vector<uint8_t> txt = ReadBytes("full/dir.txt");
    const bool tempLeft = std::filesystem::exists(mnt + "/Game.ini.tmp");
    umount(mnt.c_str());
    EXPECT_FALSE(ok);
    EXPECT_EQ(texts, std::vector<std::u16string>{u"ini書き込みに失敗しました。|Error"});
    EXPECT_EQ(ini, settings);
    EXPECT_EQ(txt, U16Bytes(u"data\\"));
    EXPECT_FALSE(tempLeft);
}

// Helper of tests/e2e/killwrite_quitfiles.sh: writes the quit files over and over, alternating
// two complete states, until the script kills the process. Skipped unless the script runs it.
TEST(FaultKillWrite, WriterLoop) {
    const char* folder = std::getenv("KELVORINE_KILLWRITE_DIR");
    if (folder == nullptr) GTEST_SKIP() << "run by tests/e2e/killwrite_quitfiles.sh";
    HeadlessPlatform platform;
    platform.services.echoMessages = false;
    platform.Install();
    System system;
    MapSceneEntity scene;
    CLoadFile files(&system, &scene);
    ASSERT_TRUE(Utf8ToU16((std::string(folder) + "/").c_str(), system.baseFolder, kPathChars));
    // The script times its kill from this marker, not from the process start, which a sanitizer
    // build or a busy machine can stretch past the whole kill window.
    std::FILE* ready = std::fopen((std::string(folder) + "/writer.ready").c_str(), "wb");
    ASSERT_NE(ready, nullptr);
    std::fclose(ready);
    for (uint64_t i = 0;; ++i) {
        // State A: ranking of 1s, "a\"; state B: ranking of 2s, "bbbb\".
        const bool b = (i & 1) != 0;
        for (int k = 0; k < kRankingEntries; ++k) scene.rankScores[k] = b ? 2 : 1;
        U16Copy(system.dataFolderName, kDataFolderNameChars, b ? u"bbbb\\" : u"a\\");
        ASSERT_TRUE(files.WriteQuitFiles());
    }
}

}  // namespace

#endif  // __linux__
