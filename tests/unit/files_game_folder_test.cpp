// Where the game keeps its files on Linux: a portable folder, or the per-user folder of an
// installed game prepared on the first start; and where the shader files are found.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "files_fixture.h"
#include "core/MapSceneEntity.h"
#include "platform/common/game_folder.h"
#include "core/CLoadFile.h"
#include "core/System.h"

namespace {

// <dir>/usr/games/kelvorine and <dir>/usr/share/games/kelvorine/{data/, Game.ini} as a package lays
// them out, with a per-user data home under <dir>/home.
class GameFolderTest : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        std::filesystem::create_directories(Host("usr/games"));
        WriteBytes("usr/games/kelvorine", {0x7F, 'E', 'L', 'F'});
        exe = Host("usr/games/kelvorine");
        shared = Host("usr/share/games/kelvorine/");
        userFiles = Host("home/.local/share/kelvorine/");
        env = {nullptr, nullptr};
        home = Host("home");
        env.home = home.c_str();
    }

    // The shared folder with its data folder and a settings template whose data folder is absolute.
    void Install() {
        std::filesystem::create_directories(shared + "data/grp");
        System defaults;
        MapSceneEntity ranking;
        defaults.fileSettings.dataFolderRelative = 0;
        defaults.bgmVolume = 12 * 500;
        defaults.seVolume = 16 * 500;
        uint8_t image[kSettingsFileBytes];
        defaults.BuildSettingsImage(image, &ranking);
        WriteBytes("usr/share/games/kelvorine/Game.ini", std::vector<uint8_t>(image, image + sizeof image));
    }

    bool Resolve() { return ResolveGameFolders(exe.c_str(), env, folders.get()); }

    std::string exe, shared, userFiles, home;
    GameFolderEnv env;
    std::unique_ptr<GameFolders> folders = std::make_unique<GameFolders>();
};

TEST_F(GameFolderTest, FolderWithDataFolderFileOrWithoutInstalledDataIsTheProgramsOwn) {
    // Nothing installed, no "dir.txt": the program's folder (the start then ends as always).
    ASSERT_TRUE(Resolve());
    EXPECT_FALSE(folders->installed);
    EXPECT_EQ(std::string(folders->files), Host("usr/games/"));

    // Installed data beside it, but a "dir.txt" beside the program: portable, nothing created.
    Install();
    WriteBytes("usr/games/dir.txt", Utf16Bytes(u"data\\"));
    ASSERT_TRUE(Resolve());
    EXPECT_FALSE(folders->installed);
    EXPECT_EQ(std::string(folders->files), Host("usr/games/"));
    EXPECT_FALSE(std::filesystem::exists(Host("home")));
}

TEST_F(GameFolderTest, InstalledGameStartsFromItsPrivateFolderAndKeepsWhatThePlayerHas) {
    Install();
    ASSERT_TRUE(Resolve()) << folders->problem;
    EXPECT_TRUE(folders->installed);
    EXPECT_EQ(std::string(folders->files), userFiles);
    EXPECT_EQ(ReadBytes("home/.local/share/kelvorine/Game.ini"), ReadBytes("usr/share/games/kelvorine/Game.ini"));
    struct stat st;
    ASSERT_EQ(stat(userFiles.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // The start-up reads of the game, from that folder: the data folder is the installed one.
    auto sys = std::make_unique<System>();
    auto scene = std::make_unique<MapSceneEntity>();
    CLoadFile files(sys.get(), scene.get());
    char16_t named[kPathChars];
    ASSERT_TRUE(Utf8ToU16((userFiles + "kelvorine").c_str(), named, kPathChars));
    platform.services.executablePath = named;
    ASSERT_TRUE(files.SetBaseFolder());
    ASSERT_TRUE(files.ReadStartupFiles());
    ASSERT_TRUE(files.BuildDataFolder());
    char16_t data[kPathChars];
    ASSERT_TRUE(Utf8ToU16((shared + "data/").c_str(), data, kPathChars));
    EXPECT_EQ(std::u16string(sys->dataFolder), std::u16string(data));
    EXPECT_GT(sys->bgmVolume, 0);  // the audible defaults

    // The player's own files survive every later start, and the quit path writes them there.
    scene->rankScores[0] = 4321;
    ASSERT_TRUE(files.WriteQuitFiles());
    const std::vector<uint8_t> ini = ReadBytes("home/.local/share/kelvorine/Game.ini");
    WriteBytes("home/.local/share/kelvorine/save0001.dat", {1, 2, 3});
    ASSERT_TRUE(Resolve());
    EXPECT_EQ(ReadBytes("home/.local/share/kelvorine/Game.ini"), ini);
    EXPECT_EQ(ReadBytes("home/.local/share/kelvorine/save0001.dat"), (std::vector<uint8_t>{1, 2, 3}));

    // $XDG_DATA_HOME wins when absolute; a relative one is ignored.
    const std::string xdg = Host("xdg");
    env.xdgDataHome = xdg.c_str();
    ASSERT_TRUE(Resolve());
    EXPECT_EQ(std::string(folders->files), xdg + "/kelvorine/");
    env.xdgDataHome = "relative/data";
    ASSERT_TRUE(Resolve());
    EXPECT_EQ(std::string(folders->files), userFiles);
}

TEST_F(GameFolderTest, FailuresSayWhyAndLoseNothing) {
    Install();
    // The per-user folder's place holds a file: it is neither replaced nor written into.
    std::filesystem::create_directories(Host("home/.local/share"));
    WriteBytes("home/.local/share/kelvorine", {'k', 'e', 'e', 'p'});
    EXPECT_FALSE(Resolve());
    EXPECT_NE(std::strstr(folders->problem, "cannot create the folder"), nullptr) << folders->problem;
    EXPECT_EQ(ReadBytes("home/.local/share/kelvorine"), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    std::filesystem::remove(Host("home/.local/share/kelvorine"));

    // No settings template: no "dir.txt" either, so the next start tries again.
    std::filesystem::remove(shared + "Game.ini");
    EXPECT_FALSE(Resolve());
    EXPECT_NE(std::strstr(folders->problem, "settings template"), nullptr) << folders->problem;
    EXPECT_FALSE(std::filesystem::exists(userFiles + "dir.txt"));

    // A data folder whose name "dir.txt" cannot hold (80 units at most).
    Install();
    const std::string deep = "p" + std::string(90, 'x');
    std::filesystem::create_directories(Host(deep + "/games"));
    std::filesystem::create_directories(Host(deep + "/share/games/kelvorine/data"));
    std::filesystem::copy_file(shared + "Game.ini", Host(deep + "/share/games/kelvorine/Game.ini"));
    exe = Host(deep + "/games/kelvorine");
    std::filesystem::remove_all(Host("home/.local/share/kelvorine"));
    EXPECT_FALSE(Resolve());
    EXPECT_NE(std::strstr(folders->problem, "longer than 80"), nullptr) << folders->problem;
    EXPECT_FALSE(std::filesystem::exists(userFiles));  // refused before anything was written

    // A folder that cannot be filled is not left behind empty, and the reason is the true one.
    exe = Host("usr/games/kelvorine");
    std::filesystem::remove(shared + "Game.ini");
    EXPECT_FALSE(Resolve());
    EXPECT_FALSE(std::filesystem::exists(userFiles));
    EXPECT_TRUE(std::filesystem::exists(Host("home/.local/share")));  // it was there before
}

// However the player's "Game.ini" was lost or replaced, the installed game reads its data from the
// shared folder that "dir.txt" names absolutely (the defaults call the data folder relative), and
// a per-user folder whose name is not UTF-8 works like any other.
TEST_F(GameFolderTest, InstalledGameFindsItsDataWhateverBecameOfTheSettingsFile) {
    Install();
    const std::string xdg = Host("x\xE9y");  // Latin-1, not UTF-8
    env.xdgDataHome = xdg.c_str();
    ASSERT_TRUE(Resolve()) << folders->problem;
    const std::string user = xdg + "/kelvorine/";
    ASSERT_EQ(std::string(folders->files), user);
    char16_t named[kPathChars];
    ASSERT_TRUE(HostBytesToU16((user + "kelvorine").c_str(), named, kPathChars));
    platform.services.executablePath = named;
    char16_t data[kPathChars];
    ASSERT_TRUE(HostBytesToU16((shared + "data/").c_str(), data, kPathChars));
    const std::string ini = user + "Game.ini";

    const struct {
        const char* what;
        void (*make)(const std::string& ini, const std::string& dir);
    } cases[] = {
        {"as installed", [](const std::string&, const std::string&) {}},
        {"deleted", [](const std::string& ini, const std::string&) { std::filesystem::remove(ini); }},
        {"the portable defaults", [](const std::string& ini, const std::string&) {
             System portable;
             uint8_t image[kSettingsFileBytes];
             portable.BuildSettingsImage(image, nullptr);
             std::ofstream(ini, std::ios::binary).write(reinterpret_cast<const char*>(image), sizeof image);
         }},
        {"a folder", [](const std::string& ini, const std::string&) { std::filesystem::create_directory(ini); }},
        {"a FIFO", [](const std::string& ini, const std::string&) { ASSERT_EQ(mkfifo(ini.c_str(), 0600), 0); }},
        {"a link to /dev/zero", [](const std::string& ini, const std::string&) { std::filesystem::create_symlink("/dev/zero", ini); }},
        {"a dangling link", [](const std::string& ini, const std::string& dir) {
             std::filesystem::create_symlink(dir + "/nowhere/Game.ini", ini);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(ini);
        std::filesystem::copy_file(shared + "Game.ini", ini);
        if (std::string(c.what) != "as installed") std::filesystem::remove(ini);
        c.make(ini, dir);
        auto sys = std::make_unique<System>();
        auto scene = std::make_unique<MapSceneEntity>();
        CLoadFile files(sys.get(), scene.get());
        ASSERT_TRUE(files.SetBaseFolder());
        ASSERT_TRUE(files.ReadStartupFiles());
        ASSERT_TRUE(files.BuildDataFolder());
        EXPECT_EQ(std::u16string(sys->dataFolder), std::u16string(data));
    }
    EXPECT_TRUE(platform.services.messages.empty());
}

TEST_F(GameFolderTest, ShadersComeFromTheCurrentFolderThenBesideTheProgramThenTheSharedFolder) {
    Install();
    std::filesystem::create_directories(Host("cwd"));
    char saved[4096];
    ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
    ASSERT_EQ(chdir(Host("cwd").c_str()), 0);
    char found[4096];
    const bool none = FindProgramFile("SampleVS.glsl", exe.c_str(), found, sizeof found);
    WriteBytes("usr/share/games/kelvorine/SampleVS.glsl", {'s'});
    const bool inShared = FindProgramFile("SampleVS.glsl", exe.c_str(), found, sizeof found);
    const std::string sharedPath = found;
    WriteBytes("usr/games/SampleVS.glsl", {'p'});
    FindProgramFile("SampleVS.glsl", exe.c_str(), found, sizeof found);
    const std::string besidePath = found;
    WriteBytes("cwd/SampleVS.glsl", {'c'});
    FindProgramFile("SampleVS.glsl", exe.c_str(), found, sizeof found);
    const std::string currentPath = found;
    ASSERT_EQ(chdir(saved), 0);

    EXPECT_FALSE(none);
    EXPECT_TRUE(inShared);
    EXPECT_EQ(sharedPath, shared + "SampleVS.glsl");
    EXPECT_EQ(besidePath, Host("usr/games/SampleVS.glsl"));
    EXPECT_EQ(currentPath, "SampleVS.glsl");
}

}  // namespace
