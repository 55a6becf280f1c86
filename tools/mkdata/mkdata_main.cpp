// kelvorine-mkdata OUTDIR [--game-ini FILE]
//   Writes OUTDIR/dir.txt and the complete default data folder OUTDIR/data/: the texture list and
//   its pictures, the font file, the Ogg and WAV sound lists with effects, music and loop files.
// kelvorine-mkdata --game-ini FILE
//   Writes a settings image: the defaults of a missing settings file, with the music volume at
//   step 12 and the effect volume at step 16 of 20 (a missing file would leave both silent) and
//   the pad's A, B, X and Y buttons on DECISION, CANCELLATION, PAUSE and SHIFT (a missing file
//   puts all four on A, which rotates both ways and pauses at once).
// kelvorine-mkdata --installed-game-ini FILE
//   The same, with the data folder named absolutely: the template an installed game copies into
//   a player's folder beside a "dir.txt" that names the installed data folder.
// kelvorine-mkdata --icons OUTDIR DATADIR
//   Writes the desktop icons OUTDIR/<n>x<n>/apps/kelvorine.png from the blocks of DATADIR.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mkdata.h"
#include "core/MapSceneEntity.h"
#include "core/System.h"

using namespace mkdata;

namespace {

const char* kFontSource = "/usr/share/fonts/truetype/vlgothic/VL-Gothic-Regular.ttf";

constexpr int kMusicTrack = 7;   // the play scene's track
constexpr int kSeConfirm = 0;
constexpr int kSeFourLines = 11;
constexpr int kSeLines = 14;

bool Fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "kelvorine-mkdata: %s: %s\n", what, path.c_str());
    return false;
}

bool CopyFile(const std::string& from, const std::string& to) {
    FILE* f = std::fopen(from.c_str(), "rb");
    if (f == nullptr) return false;
    std::vector<uint8_t> bytes;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    const bool readOk = std::ferror(f) == 0;
    std::fclose(f);
    return readOk && !bytes.empty() && WriteBytes(to, bytes.data(), bytes.size());
}

bool WriteGameIni(const std::string& path, bool absoluteDataFolder) {
    static System system;
    static MapSceneEntity scene;
    // A name that cannot exist: the reader then keeps its defaults and post-processes them.
    system.ReadSettings(u"\\nonexistent\\kelvorine-mkdata\\Game.ini", &scene);
    if (absoluteDataFolder) system.fileSettings.dataFolderRelative = 0;
    system.bgmVolume = 12 * 500;
    system.seVolume = 16 * 500;
    for (uint8_t button = 0; button < 4; ++button) system.buttonArrangement[button] = button;
    uint8_t image[kSettingsFileBytes];
    std::memset(image, 0, sizeof image);
    system.BuildSettingsImage(image, &scene);
    return WriteBytes(path, image, sizeof image) || Fail("cannot write", path);
}

bool WriteTextures(const std::string& data) {
    const std::string grp = data + "/grp";
    if (!MakeFolder(grp)) return Fail("cannot create folder", grp);
    if (!OpenFont(kFontSource)) return Fail("cannot open the font (install fonts-vlgothic)", kFontSource);
    const bool drawn = DrawAllPictures(grp);
    CloseFont();
    if (!drawn) return Fail("cannot write the pictures in", grp);
    std::vector<std::string> names(64, "null0000.png");
    names[0] = "grp\\grp_0000.png";
    names[2] = "grp\\grp_0002.png";
    names[3] = "grp\\grp_0003.png";
    names[5] = "grp\\grp_0005.png";
    names[6] = "grp\\grp_0006.png";
    const std::vector<uint8_t> list = BuildList(names);
    return WriteBytes(grp + "/grp_0003.txt", list.data(), list.size()) || Fail("cannot write", grp + "/grp_0003.txt");
}

// Both lists: 64 music tracks, then 32 effects. Track 7 is the play music; the game plays no other
// track, so the rest share one quiet loop. Effects 0, 11 and 14 are the ones the game plays.
bool WriteSounds(const std::string& data) {
    const Music play = ComposePlayMusic();
    const Music quiet = ComposeQuietLoop();
    const Pcm confirm = MakeEffectConfirm();
    const Pcm lines = MakeEffectLines();
    const Pcm four = MakeEffectFourLines();
    const Pcm tick = MakeEffectTick();

    for (const char* kind : {"ogg", "wav"}) {
        const std::string k = kind;
        const bool ogg = k == "ogg";
        const std::string dir = data + "/" + k;
        if (!MakeFolder(dir)) return Fail("cannot create folder", dir);
        auto writeSound = [&](const Pcm& p, const std::string& stem, float q) {
            const std::string path = dir + "/" + stem + "." + k;
            return (ogg ? WriteOgg(p, path, q) : WriteWav(p, path)) || Fail("cannot write", path);
        };
        auto writeMusic = [&](const Music& m, const std::string& stem) {
            const std::string path = dir + "/" + stem + "." + k;
            return writeSound(m.pcm, stem, 0.3f) &&
                   (WriteLoopFile(path, m.loopStart, m.loopLength) || Fail("cannot write", path + ".sli"));
        };
        if (!writeMusic(quiet, "bgm_0000") || !writeMusic(play, "bgm_0007")) return false;
        if (!writeSound(confirm, "sfx_0000", 0.5f) || !writeSound(four, "sfx_0011", 0.5f) ||
            !writeSound(lines, "sfx_0014", 0.5f) || !writeSound(tick, "sfx_0099", 0.5f))
            return false;

        std::vector<std::string> names;
        for (int i = 0; i < 64; ++i) names.push_back(k + (i == kMusicTrack ? "\\bgm_0007." : "\\bgm_0000.") + k);
        for (int i = 0; i < 32; ++i) {
            const char* stem = i == kSeConfirm ? "sfx_0000" : i == kSeFourLines ? "sfx_0011" : i == kSeLines ? "sfx_0014" : "sfx_0099";
            names.push_back(k + "\\" + stem + "." + k);
        }
        const std::vector<uint8_t> list = BuildList(names);
        const std::string listPath = dir + "/" + k + "_0000.txt";
        if (!WriteBytes(listPath, list.data(), list.size())) return Fail("cannot write", listPath);
    }
    return true;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: kelvorine-mkdata OUTDIR\n"
                 "       kelvorine-mkdata --game-ini FILE\n"
                 "       kelvorine-mkdata --installed-game-ini FILE\n"
                 "       kelvorine-mkdata --icons OUTDIR DATADIR\n"
                 "Writes OUTDIR/dir.txt and the default data folder OUTDIR/data, a default settings file\n"
                 "(installed: the data folder named absolutely), or the desktop icons drawn from DATADIR.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string out, gameIni;
    bool installed = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--icons") == 0 && argc == 4 && i == 1) {
            std::string problem;
            if (WriteIcons(argv[3], argv[2], &problem)) return 0;
            std::fprintf(stderr, "kelvorine-mkdata: %s\n", problem.c_str());
            return 1;
        }
        if ((std::strcmp(argv[i], "--game-ini") == 0 || std::strcmp(argv[i], "--installed-game-ini") == 0) &&
            i + 1 < argc) {
            installed = std::strcmp(argv[i], "--installed-game-ini") == 0;
            gameIni = argv[++i];
        } else if (argv[i][0] == '-' || !out.empty()) {
            return Usage();
        } else {
            out = argv[i];
        }
    }
    if (out.empty() && gameIni.empty()) return Usage();
    if (!gameIni.empty() && !WriteGameIni(gameIni, installed)) return 1;
    if (out.empty()) return 0;

    const auto t0 = std::chrono::steady_clock::now();
    const std::string data = out + "/data";
    if (!MakeFolder(out)) return Fail("cannot create folder", out), 1;
    if (!MakeFolder(data)) return Fail("cannot create folder", data), 1;
    // "dir.txt": byte-order mark and the folder name, no terminator and no line break.
    const std::vector<uint8_t> dir = {0xFF, 0xFE, 'd', 0, 'a', 0, 't', 0, 'a', 0, '\\', 0};
    if (!WriteBytes(out + "/dir.txt", dir.data(), dir.size())) return Fail("cannot write", out + "/dir.txt"), 1;
    if (!MakeFolder(data + "/VLGothic") || !CopyFile(kFontSource, data + "/VLGothic/VL-Gothic-Regular.ttf"))
        return Fail("cannot copy the font (install fonts-vlgothic)", kFontSource), 1;
    if (!WriteTextures(data) || !WriteSounds(data)) return 1;
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("kelvorine-mkdata: wrote %s/dir.txt and %s in %.1f s\n", out.c_str(), data.c_str(), secs);
    return 0;
}
