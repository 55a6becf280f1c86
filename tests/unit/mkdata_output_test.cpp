// Reads back the folder that kelvorine-mkdata generates: lists, pictures and their regions, the
// font sheet, effects, music and loop points, determinism, and the default settings image.
#include <gtest/gtest.h>
#include <png.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "core/MapSceneEntity.h"
#include "core/System.h"

namespace {

const std::string kTool = std::string(KELVORINE_BINARY_DIR) + "/kelvorine-mkdata";

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::vector<uint8_t> v;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return v;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) v.insert(v.end(), buf, buf + n);
    std::fclose(f);
    return v;
}

bool Exists(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f) std::fclose(f);
    return f != nullptr;
}

std::string HostPath(const std::string& name) {
    std::string s = name;
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

// Records of a UTF-16 list: 16 units of name (zero units end it), CR, LF.
struct ListRecord {
    std::string name;
    bool terminated = false;  // CR LF in units 16 and 17
    bool zeroPadded = true;   // nothing but zero units after the name
};

std::vector<ListRecord> ReadList(const std::string& path) {
    std::vector<ListRecord> out;
    const std::vector<uint8_t> b = ReadAll(path);
    if (b.size() < 2 || b[0] != 0xFF || b[1] != 0xFE) return out;
    for (size_t off = 2; off + 36 <= b.size(); off += 36) {
        ListRecord r;
        bool ended = false;
        for (int i = 0; i < 16; ++i) {
            const unsigned u = b[off + 2 * i] | (b[off + 2 * i + 1] << 8);
            if (u == 0) ended = true;
            else if (ended) r.zeroPadded = false;
            else r.name.push_back(char(u));
        }
        r.terminated = b[off + 32] == 13 && b[off + 33] == 0 && b[off + 34] == 10 && b[off + 35] == 0;
        out.push_back(r);
    }
    return out;
}

struct Picture {
    bool ok = false;
    int colourType = -1, bitDepth = -1;
    png_uint_32 w = 0, h = 0;
    std::vector<uint8_t> idx;    // palette indices
    std::vector<png_color> pal;  // palette
    uint8_t At(int x, int y) const { return idx[size_t(y) * w + x]; }
    int Luma(int x, int y) const {
        const png_color c = pal[At(x, y)];
        return (c.red * 3 + c.green * 6 + c.blue) / 10;
    }
};

Picture ReadPicture(const std::string& path) {
    Picture p;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return p;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        p.ok = false;
        return p;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    int interlace, compression, filter;
    png_get_IHDR(png, info, &p.w, &p.h, &p.bitDepth, &p.colourType, &interlace, &compression, &filter);
    if (p.colourType == PNG_COLOR_TYPE_PALETTE && p.bitDepth == 8 && p.w == 512 && p.h == 512) {
        png_colorp plte = nullptr;
        int n = 0;
        png_get_PLTE(png, info, &plte, &n);
        p.pal.assign(256, png_color{0, 0, 0});
        for (int i = 0; i < n; ++i) p.pal[i] = plte[i];
        p.idx.resize(512 * 512);
        std::vector<png_bytep> rows(512);
        for (int y = 0; y < 512; ++y) rows[y] = &p.idx[size_t(y) * 512];
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
        p.ok = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return p;
}

struct Wav {
    bool ok = false;
    int channels = 0, rate = 0, bits = 0, format = 0;
    std::vector<int16_t> s;  // interleaved
    size_t Frames() const { return s.size() / 2; }
};

Wav ReadWav(const std::string& path) {
    Wav w;
    const std::vector<uint8_t> b = ReadAll(path);
    if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0) return w;
    auto u16 = [&](size_t o) { return unsigned(b[o] | (b[o + 1] << 8)); };
    auto u32 = [&](size_t o) { return uint32_t(u16(o) | (u16(o + 2) << 16)); };
    size_t off = 12;
    while (off + 8 <= b.size()) {
        const uint32_t size = u32(off + 4);
        if (std::memcmp(b.data() + off, "fmt ", 4) == 0) {
            w.format = int(u16(off + 8));
            w.channels = int(u16(off + 10));
            w.rate = int(u32(off + 12));
            w.bits = int(u16(off + 22));
        } else if (std::memcmp(b.data() + off, "data", 4) == 0) {
            if (off + 8 + size > b.size()) return w;
            w.s.resize(size / 2);
            std::memcpy(w.s.data(), b.data() + off + 8, size / 2 * 2);
            w.ok = true;
        }
        off += 8 + size + (size & 1);
    }
    return w;
}

// Loop points as the game's loop-file reader takes them: the first line that is not a comment
// holds LoopStart, the next line is skipped, then the next non-comment line holds LoopLength.
bool ReadLoopFile(const std::string& path, unsigned* start, unsigned* length) {
    const std::vector<uint8_t> b = ReadAll(path);
    std::string text;
    if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        for (size_t i = 2; i + 1 < b.size(); i += 2) text.push_back(char(b[i]));
    } else {
        return false;
    }
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line.push_back(c);
        }
    }
    if (!line.empty()) lines.push_back(line);
    size_t i = 0;
    auto nextValue = [&]() -> std::string {
        while (i < lines.size() && !lines[i].empty() && lines[i][0] == ';') ++i;
        return i < lines.size() ? lines[i++] : lines.back();
    };
    *start = *length = 0;
    const std::string a = nextValue();
    if (i < lines.size()) ++i;  // the line after LoopStart is skipped
    const std::string c = nextValue();
    return std::sscanf(a.c_str(), "LoopStart=%u", start) == 1 && std::sscanf(c.c_str(), "LoopLength=%u", length) == 1;
}

// The generated folder is shared by every test process (ctest runs each test on its own): it is
// made once per build of the tool, in a scratch folder that is then renamed into place.
std::string GeneratedFolder() {
    struct stat st;
    if (stat(kTool.c_str(), &st) != 0) return "";
    const std::string stamp = std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    const std::string dir = std::string(KELVORINE_BINARY_DIR) + "/mkdata-test-out";
    const std::vector<uint8_t> have = ReadAll(dir + "/stamp");
    if (std::string(have.begin(), have.end()) == stamp) return dir + "/out";

    std::string scratch = std::string(KELVORINE_BINARY_DIR) + "/mkdata-test-XXXXXX";
    if (mkdtemp(scratch.data()) == nullptr) return "";
    if (std::system(("'" + kTool + "' '" + scratch + "/out' > /dev/null").c_str()) != 0) return "";
    FILE* f = std::fopen((scratch + "/stamp").c_str(), "wb");
    if (f == nullptr) return "";
    std::fputs(stamp.c_str(), f);
    std::fclose(f);
    std::system(("rm -rf '" + dir + "'").c_str());
    // If another process got there first, this process keeps using its own complete copy.
    if (rename(scratch.c_str(), dir.c_str()) != 0) return scratch + "/out";
    return dir + "/out";
}

class MkdataOutput : public ::testing::Test {
protected:
    static std::string out_;

    static void SetUpTestSuite() {
        if (out_.empty()) out_ = GeneratedFolder();
    }

    void SetUp() override {
        if (!Exists(kTool)) GTEST_SKIP() << "kelvorine-mkdata is not built";
        ASSERT_FALSE(out_.empty()) << "kelvorine-mkdata failed";
    }

    static std::string Data(const std::string& name) { return out_ + "/data/" + HostPath(name); }
};

std::string MkdataOutput::out_;

TEST_F(MkdataOutput, DirFileNamesTheDataFolderAndTheFontIsCopied) {
    const std::vector<uint8_t> dir = ReadAll(out_ + "/dir.txt");
    const std::vector<uint8_t> want = {0xFF, 0xFE, 'd', 0, 'a', 0, 't', 0, 'a', 0, '\\', 0};
    EXPECT_EQ(dir, want);
    const std::vector<uint8_t> font = ReadAll(Data("VLGothic\\VL-Gothic-Regular.ttf"));
    ASSERT_GT(font.size(), 100000u);
    EXPECT_EQ(font, ReadAll("/usr/share/fonts/truetype/vlgothic/VL-Gothic-Regular.ttf"));
}

TEST_F(MkdataOutput, TextureListHasSixtyFourFixedRecordsNamingPalettePictures) {
    const std::string listPath = Data("grp\\grp_0003.txt");
    EXPECT_EQ(ReadAll(listPath).size(), 2u + 64u * 36u);
    const std::vector<ListRecord> list = ReadList(listPath);
    ASSERT_EQ(list.size(), 64u);
    for (size_t i = 0; i < list.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        EXPECT_TRUE(list[i].terminated);
        EXPECT_TRUE(list[i].zeroPadded);
        if (list[i].name == "null0000.png") continue;
        EXPECT_EQ(list[i].name.size(), 16u);
        const Picture p = ReadPicture(Data(list[i].name));
        EXPECT_TRUE(p.ok) << list[i].name << " is not a 512 x 512 8-bit palette PNG";
    }
    for (int id : {1, 4, 7}) EXPECT_EQ(list[id].name, "null0000.png");
    for (int id : {0, 2, 3, 5, 6}) EXPECT_NE(list[id].name, "null0000.png");
}

// Every rectangle a screen draws from, as (texture id, x, y, w, h).
struct Region {
    int tex, x, y, w, h;
    const char* what;
};

const Region kRegions[] = {
    {0, 0, 0, 512, 256, "title backdrop"},
    {2, 0, 0, 160, 40, "logo, left part"},
    {2, 0, 48, 136, 40, "logo, right part"},
    {2, 160, 0, 96, 32, "menu item 0"},
    {2, 160, 32, 96, 32, "menu item 1"},
    {2, 160, 64, 96, 32, "menu item 2"},
    {2, 0, 256, 512, 256, "waiting backdrop"},
    {2, 256, 0, 256, 44, "loading text"},
    {2, 255, 43, 181, 43, "game-over picture"},
    {3, 0, 0, 512, 256, "play backdrop"},
    {3, 0, 248, 416, 8, "game-over bar"},
    {5, 160, 0, 16, 16, "cursor fill"},
    {5, 160, 16, 16, 16, "cursor frame"},
};

class MkdataPictures : public MkdataOutput {
protected:
    Picture Tex(int id) {
        const std::vector<ListRecord> list = ReadList(Data("grp\\grp_0003.txt"));
        return list.size() > size_t(id) ? ReadPicture(Data(list[id].name)) : Picture{};
    }
    static int Opaque(const Picture& p, int x, int y, int w, int h) {
        int n = 0;
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) n += p.At(i, j) != 0;
        return n;
    }
};

TEST_F(MkdataPictures, EveryDrawnRegionHoldsArt) {
    for (const Region& r : kRegions) {
        const Picture p = Tex(r.tex);
        ASSERT_TRUE(p.ok) << r.what;
        EXPECT_GT(Opaque(p, r.x, r.y, r.w, r.h), r.w * r.h / 8) << r.what;
    }
    const Picture frames = Tex(5);
    for (int theme = 0; theme < 10; ++theme) {
        const int k = 16 * theme;
        EXPECT_EQ(Opaque(frames, k, 0, 16, 16), 256) << "panel fill " << theme;
        // Corner and edge pieces: each 4 x 4 piece the panel cuts out is mostly opaque.
        const int pieces[8][2] = {{0, 16}, {12, 16}, {0, 28}, {12, 28}, {4, 16}, {4, 28}, {0, 20}, {12, 20}};
        for (auto& pc : pieces) EXPECT_GE(Opaque(frames, k + pc[0], pc[1], 4, 4), 12) << "panel " << theme;
    }
}

TEST_F(MkdataPictures, BackdropsHaveNoHolesAndTheTitleScrollsSeamlessly) {
    const Picture title = Tex(0), menu = Tex(2), play = Tex(3);
    ASSERT_TRUE(title.ok && menu.ok && play.ok);
    EXPECT_EQ(Opaque(title, 0, 0, 512, 256), 512 * 256);
    EXPECT_EQ(Opaque(menu, 0, 256, 512, 256), 512 * 256);
    EXPECT_EQ(Opaque(play, 0, 0, 512, 248), 512 * 248);
    // Two copies 720 pixels (240 texel rows) apart overlap by 16 rows: they must agree there.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 512; ++x) ASSERT_EQ(title.At(x, y), title.At(x, 240 + y)) << x << "," << y;
}

TEST_F(MkdataPictures, LogoPartsAgreeWhereTheyOverlapOnScreen) {
    // Part 1 is drawn at x 446, part 2 at x 644, both three times enlarged: texel 66 + i of part 1
    // lies under texel i of part 2.
    const Picture p = Tex(2);
    ASSERT_TRUE(p.ok);
    for (int y = 0; y < 40; ++y)
        for (int i = 0; i < 160 - 66; ++i) {
            const uint8_t a = p.At(66 + i, y), b = p.At(i, 48 + y);
            ASSERT_EQ(a, b) << "column " << i << " row " << y;
        }
}

TEST_F(MkdataPictures, LogoIsCentredOverTheItemsAndTheCursorBandMissesTheWords) {
    const Picture p = Tex(2);
    ASSERT_TRUE(p.ok);
    // Logo texel t lands at x 446 + 3t; the items (288 wide at x 512) are centred on x 656.
    int x0 = 202, x1 = -1;
    for (int y = 0; y < 40; ++y)
        for (int t = 0; t < 202; ++t)
            if (t < 160 ? p.At(t, y) != 0 : p.At(t - 66, 48 + y) != 0) {
                x0 = std::min(x0, t);
                x1 = std::max(x1, t);
            }
    ASSERT_LE(x0, x1);
    EXPECT_NEAR(446 + 3 * (x0 + x1 + 1) / 2.0, 656.0, 3.0) << "logo art spans texels " << x0 << ".." << x1;
    // The cursor band lies 54..70 pixels below the top of the bouncing chosen item, from texel row
    // 18 on: each item's word stays above it, so the band underlines the word instead of crossing it.
    for (int item = 0; item < 3; ++item) {
        EXPECT_GT(Opaque(p, 160, 32 * item, 96, 18), 200) << "item " << item;
        EXPECT_EQ(Opaque(p, 160, 32 * item + 18, 96, 14), 0) << "item " << item;
    }
}

TEST_F(MkdataPictures, BlockCellsAreDistinctAndTheBoardAreaIsDark) {
    const Picture p = Tex(3);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(Opaque(p, 192, 256, 8, 8), 0) << "the empty cell must be transparent";
    std::vector<std::vector<uint8_t>> cells;
    for (int v = 1; v <= 9; ++v) {
        EXPECT_EQ(Opaque(p, 192 + 8 * v, 256, 8, 8), 64) << "cell " << v;
        std::vector<uint8_t> c;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) c.push_back(p.At(192 + 8 * v + x, 256 + y));
        for (auto& other : cells) EXPECT_NE(c, other) << "cell " << v << " repeats an earlier cell";
        cells.push_back(c);
        // Bevelled: the top-left edge is lighter than the bottom-right edge.
        EXPECT_GT(p.Luma(192 + 8 * v + 3, 256), p.Luma(192 + 8 * v + 3, 263)) << "cell " << v;
    }
    // The playing area (texels 168..247 of the backdrop) is darker than the rest of the picture.
    long well = 0, rest = 0, nw = 0, nr = 0;
    for (int y = 0; y < 224; ++y)
        for (int x = 0; x < 416; ++x) {
            if (x >= 168 && x < 248) {
                well += p.Luma(x, y);
                ++nw;
            } else if (x < 150 || x >= 270) {
                rest += p.Luma(x, y);
                ++nr;
            }
        }
    EXPECT_LT(well * nr * 10, rest * nw * 7) << "the board area should be clearly darker";
}

// What shows when the board is not drawn: a pause hides the board, so the backdrop carries the
// walls and the floor exactly where the board's wall cells land (cell (column, row) on texel
// (160 + 8 column, 8 row)); the game-over bars climb over the score, so their blocks are hollow.
TEST_F(MkdataPictures, PausedWellKeepsItsFrameAndGameOverBarsAreHollow) {
    const Picture p = Tex(3);
    ASSERT_TRUE(p.ok);
    auto sameAsWallCell = [&](int x0, int y0) {
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                if (p.At(x0 + x, y0 + y) != p.At(192 + 72 + x, 256 + y)) return false;
        return true;
    };
    for (int row = 0; row <= 28; ++row) {
        EXPECT_TRUE(sameAsWallCell(160, 8 * row)) << "left wall, row " << row;
        EXPECT_TRUE(sameAsWallCell(248, 8 * row)) << "right wall, row " << row;
    }
    for (int col = 1; col <= 10; ++col) EXPECT_TRUE(sameAsWallCell(160 + 8 * col, 224)) << "floor, column " << col;
    EXPECT_FALSE(sameAsWallCell(168, 216)) << "the playing area stays open";
    for (int i = 0; i < 52; ++i) {
        EXPECT_EQ(Opaque(p, 8 * i + 1, 249, 7, 7), 0) << "bar block " << i << " must be hollow";
        EXPECT_EQ(Opaque(p, 8 * i, 248, 8, 1) + Opaque(p, 8 * i, 249, 1, 7), 15) << "bar block " << i << " keeps its edges";
    }
}

TEST_F(MkdataPictures, FontSheetHasEveryPrintableGlyphInsideItsCell) {
    const Picture p = Tex(6);
    ASSERT_TRUE(p.ok);
    for (int c = 0; c < 256; ++c) {
        const int cx = (c % 16) * 16, cy = (c / 16) * 32;
        const int ink = Opaque(p, cx, cy, 16, 32);
        if (c > 0x20 && c < 0x7F) {
            EXPECT_GT(ink, 8) << "glyph " << c;
            // Glyph ink keeps off the cell edge and within 10 columns, so texts drawn with an advance
            // of 10 pixels (or half the doubled cell) do not run together.
            int x0 = 16, x1 = -1;
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 16; ++x)
                    if (p.At(cx + x, cy + y)) {
                        x0 = std::min(x0, x);
                        x1 = std::max(x1, x);
                    }
            EXPECT_GE(x0, 1) << "glyph " << c;
            EXPECT_LE(x1, 14) << "glyph " << c;
            EXPECT_LE(x1 - x0 + 1, 10) << "glyph " << c;
            EXPECT_EQ(Opaque(p, cx, cy, 16, 1) + Opaque(p, cx, cy + 31, 16, 1), 0) << "glyph " << c;
            // The options' frames (20 pixels from 2 below a text's top; 30 wide from 10 left of a
            // digit's cell) sit on the texts: capitals and digits are centred on cell row 12, digits
            // on column 5 (the widest, 10 texels, as near as the margin lets them).
            if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) {
                int y0 = 32, y1 = -1;
                for (int y = 0; y < 32; ++y)
                    if (Opaque(p, cx, cy + y, 16, 1)) {
                        y0 = std::min(y0, y);
                        y1 = std::max(y1, y);
                    }
                if (c != 'Q') {
                    EXPECT_NEAR((y0 + y1 + 1) / 2.0, 12.0, 1.0) << "glyph " << c;
                }
                if (c <= '9') {
                    EXPECT_NEAR((x0 + x1 + 1) / 2.0, 5.0, 1.0) << "glyph " << c;
                }
            }
        } else if (c == 0 || c == 0x20) {
            EXPECT_EQ(ink, 0) << "cell " << c << " must be empty";
        }
    }
}

class MkdataSounds : public MkdataOutput {};

TEST_F(MkdataSounds, BothListsNameAnExistingFileForEveryTrackAndEffect) {
    for (const char* kind : {"ogg", "wav"}) {
        const std::string k = kind;
        const std::vector<ListRecord> list = ReadList(Data(k + "\\" + k + "_0000.txt"));
        ASSERT_GE(list.size(), 96u) << k;
        for (size_t i = 0; i < 96; ++i) {
            SCOPED_TRACE(k + " entry " + std::to_string(i));
            EXPECT_TRUE(list[i].terminated);
            ASSERT_EQ(list[i].name.size(), 16u);
            EXPECT_TRUE(Exists(Data(list[i].name)));
            if (i < 64) {
                EXPECT_TRUE(Exists(Data(list[i].name) + ".sli"));
            }
        }
        // The three effects the game plays are three different sounds.
        const auto e0 = ReadAll(Data(list[64].name)), e11 = ReadAll(Data(list[75].name)), e14 = ReadAll(Data(list[78].name));
        EXPECT_NE(e0, e11);
        EXPECT_NE(e0, e14);
        EXPECT_NE(e11, e14);
        EXPECT_NE(list[7].name, list[0].name) << "the play music has its own file";
    }
}

TEST_F(MkdataSounds, WavFilesAreStereo16BitAndEffectsFitOneSecond) {
    const std::vector<ListRecord> list = ReadList(Data("wav\\wav_0000.txt"));
    ASSERT_GE(list.size(), 96u);
    for (size_t i = 0; i < 96; ++i) {
        const Wav w = ReadWav(Data(list[i].name));
        ASSERT_TRUE(w.ok) << list[i].name;
        EXPECT_EQ(w.format, 1);
        EXPECT_EQ(w.channels, 2);
        EXPECT_EQ(w.rate, 44100);
        EXPECT_EQ(w.bits, 16);
        if (i >= 64) {
            EXPECT_LE(w.Frames(), 44100u) << list[i].name;
            EXPECT_GT(w.Frames(), 0u);
        }
    }
}

TEST_F(MkdataSounds, WavMusicLoopsInsideTheFileAndJoinsWithoutAJump) {
    const std::vector<ListRecord> list = ReadList(Data("wav\\wav_0000.txt"));
    ASSERT_GE(list.size(), 64u);
    for (int track : {0, 7}) {
        SCOPED_TRACE("track " + std::to_string(track));
        const Wav w = ReadWav(Data(list[track].name));
        unsigned start = 0, length = 0;
        ASSERT_TRUE(ReadLoopFile(Data(list[track].name) + ".sli", &start, &length));
        ASSERT_TRUE(w.ok);
        ASSERT_GT(length, 0u);
        ASSERT_LE(size_t(start) + length, w.Frames());
        const size_t end = size_t(start) + length - 1;  // last frame of the loop
        for (int ch = 0; ch < 2; ++ch) {
            const int a = w.s[end * 2 + ch], b = w.s[size_t(start) * 2 + ch];
            EXPECT_LE(std::abs(a - b), 1500) << "loop end " << a << " -> loop start " << b;
            // The wrap continues into the loop start exactly as the intro does.
            if (start > 0) {
                EXPECT_LE(std::abs(a - w.s[(size_t(start) - 1) * 2 + ch]), 2);
            }
        }
        if (track == 7) {
            EXPECT_GE(w.Frames(), 60u * 44100u) << "the play music lasts at least a minute";
            EXPECT_GT(start, 44100u) << "the play music has an intro before its loop";
            // Not silent.
            double sum = 0;
            for (size_t i = 0; i < w.s.size(); i += 97) sum += double(w.s[i]) * w.s[i];
            EXPECT_GT(std::sqrt(sum / double(w.s.size() / 97)), 1500.0);
        }
    }
}

TEST_F(MkdataSounds, OggMusicDecodesAndItsLoopPointsJoin) {
    const std::vector<ListRecord> list = ReadList(Data("ogg\\ogg_0000.txt"));
    ASSERT_GE(list.size(), 96u);
    for (int entry : {0, 7, 64, 75, 78, 80}) {
        SCOPED_TRACE(list[entry].name);
        FILE* f = std::fopen(Data(list[entry].name).c_str(), "rb");
        ASSERT_NE(f, nullptr);
        OggVorbis_File vf;
        ASSERT_EQ(ov_open(f, &vf, nullptr, 0), 0);
        const vorbis_info* info = ov_info(&vf, -1);
        ASSERT_NE(info, nullptr);
        EXPECT_EQ(info->channels, 2);
        EXPECT_EQ(info->rate, 44100);
        const ogg_int64_t total = ov_pcm_total(&vf, -1);
        if (entry >= 64) {
            EXPECT_LE(total, 3 * 44100) << "Ogg effects last at most three seconds";
        } else {
            unsigned start = 0, length = 0;
            ASSERT_TRUE(ReadLoopFile(Data(list[entry].name) + ".sli", &start, &length));
            ASSERT_LE(ogg_int64_t(start) + length, total);
            auto frameAt = [&](ogg_int64_t pos, int16_t out[2]) {
                ASSERT_EQ(ov_pcm_seek(&vf, pos), 0);
                char buf[4];
                int section = 0, got = 0;
                while (got < 4) {
                    const long n = ov_read(&vf, buf + got, 4 - got, 0, 2, 1, &section);
                    ASSERT_GT(n, 0);
                    got += int(n);
                }
                std::memcpy(out, buf, 4);
            };
            int16_t atEnd[2], atStart[2];
            frameAt(ogg_int64_t(start) + length - 1, atEnd);
            frameAt(start, atStart);
            for (int ch = 0; ch < 2; ++ch) EXPECT_LE(std::abs(atEnd[ch] - atStart[ch]), 2500);
        }
        ov_clear(&vf);  // closes f
    }
}

TEST_F(MkdataOutput, SecondRunWritesTheSameBytes) {
    char tmpl[] = "/tmp/kelvorine-mkdata-again-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string again = std::string(tmpl) + "/out";
    ASSERT_EQ(std::system(("'" + kTool + "' '" + again + "' > /dev/null").c_str()), 0);
    const char* files[] = {"dir.txt", "data/grp/grp_0003.txt", "data/grp/grp_0000.png", "data/grp/grp_0002.png",
                           "data/grp/grp_0003.png", "data/grp/grp_0005.png", "data/grp/grp_0006.png",
                           "data/ogg/ogg_0000.txt", "data/ogg/bgm_0007.ogg", "data/ogg/bgm_0007.ogg.sli",
                           "data/ogg/sfx_0011.ogg", "data/wav/bgm_0007.wav", "data/wav/sfx_0000.wav"};
    for (const char* f : files) {
        const auto a = ReadAll(out_ + "/" + f), b = ReadAll(again + "/" + f);
        EXPECT_FALSE(a.empty()) << f;
        EXPECT_TRUE(a == b) << f << " differs between runs";
    }
    std::system(("rm -rf '" + std::string(tmpl) + "'").c_str());
}

TEST_F(MkdataOutput, GameIniHoldsTheDefaultsWithAudibleVolumes) {
    char tmpl[] = "/tmp/kelvorine-mkdata-ini-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    const std::string ini = std::string(tmpl) + "/Game.ini";
    ASSERT_EQ(std::system(("'" + kTool + "' --game-ini '" + ini + "'").c_str()), 0);
    const std::vector<uint8_t> image = ReadAll(ini);
    ASSERT_EQ(image.size(), size_t(kSettingsFileBytes));

    static System fromFile, missing;
    static MapSceneEntity sceneA, sceneB;
    fromFile.LoadSettingsImage(image.data(), &sceneA);
    missing.ReadSettings(u"/nonexistent/kelvorine/Game.ini", &sceneB);
    EXPECT_EQ(fromFile.bgmVolume, 12 * 500);
    EXPECT_EQ(fromFile.seVolume, 16 * 500);
    uint8_t a[kSettingsFileBytes], b[kSettingsFileBytes];
    EncodeSettings(fromFile.fileSettings, Ranking{}, a);
    EncodeSettings(missing.fileSettings, Ranking{}, b);
    EXPECT_EQ(std::memcmp(a, b, kRawSettingsBytes), 0);
    EXPECT_EQ(fromFile.vsync, missing.vsync);
    EXPECT_EQ(fromFile.fullScreen, missing.fullScreen);
    EXPECT_EQ(fromFile.timerMode, missing.timerMode);
    EXPECT_EQ(fromFile.framePattern, missing.framePattern);
    EXPECT_EQ(fromFile.soundMode, missing.soundMode);
    EXPECT_EQ(fromFile.dataFolderRelative, missing.dataFolderRelative);
    const uint8_t eachButtonItsOwn[10] = {0, 1, 2, 3};
    EXPECT_EQ(std::memcmp(fromFile.buttonArrangement, eachButtonItsOwn, 10), 0);
    for (size_t i = 36; i < image.size(); ++i) EXPECT_EQ(image[i], 0) << "ranking area byte " << i;
    std::system(("rm -rf '" + std::string(tmpl) + "'").c_str());
}

}  // namespace
