// Texture loading: palette PNG files of every index size into textures, the formats that are
// refused, damaged files, and the reload of ids 0..7 from the texture list names.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "graphics/CLoadTex.h"
#include "graphics/CReSur.h"
#include "message_support.h"
#include "render_test_support.h"

namespace {

using namespace rendertest;

// Index pattern used by the palette images: every value below `entries` appears.
uint32_t Pattern(int x, int y, int entries) { return static_cast<uint32_t>((x * 7 + y * 3) % entries); }

class TextureLoadTest : public RendererTest {
protected:
    void SetUp() override {
        RendererTest::SetUp();
        ASSERT_FALSE(folder.path.empty());
        ASSERT_EQ(gr->Create(), 1);
    }
    // Writes a 512 x 512 palette PNG with `entries` colours of the test palette.
    std::string PalettePng(const std::string& name, int depth, int entries, int paletteSize = -1) {
        PngShape s;
        s.depth = depth;
        s.palette = TestPalette(paletteSize < 0 ? entries : paletteSize);
        const std::string path = folder.File(name);
        EXPECT_TRUE(WriteTestPng(path, s, [&](int x, int y) { return Pattern(x, y, entries); }));
        return path;
    }
    bool Load(const std::string& path, int id, int depth = kTextureColourDepth) {
        CLoadTex loader(gr.get(), depth);
        return loader.LoadPng(id, U16(path).c_str());
    }
    // The one report shown since the last call: message `id` about the file at path.
    void ExpectReport(const std::string& path, MessageId id) {
        ASSERT_EQ(platform.services.messages.size(), 1u);
        EXPECT_EQ(IdOf(platform.services.messages[0]), IdOf(id));
        EXPECT_EQ(platform.services.messages[0].text.rfind(U16(path) + u" ", 0), 0u);
        platform.services.messages.clear();
    }
    std::vector<uint8_t> Bytes(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
    }
    void Put(const std::string& path, const std::vector<uint8_t>& bytes) {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    TempFolder folder;
};

TEST_F(TextureLoadTest, PaletteImagesOfEveryIndexSizeGiveTheSameTexture) {
    // 2, 4, 16 and 256 colours at 1, 2, 4 and 8 bits per index; the 8-bit file carries a full
    // 256-entry palette whose extra entries are never used.
    const struct {
        int depth, entries;
    } cases[] = {{1, 2}, {2, 4}, {4, 16}, {8, 16}};
    const std::vector<png_color> pal = TestPalette(256);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.depth);
        const int id = c.depth;
        const std::string path = PalettePng("p" + std::to_string(c.depth) + ".png", c.depth, c.entries,
                                            c.depth == 8 ? 256 : c.entries);
        ASSERT_TRUE(Load(path, id));
        EXPECT_TRUE(gr->textureLoaded[id]);
        for (int y : {0, 1, 255, 511}) {
            for (int x : {0, 1, 2, 3, 300, 511}) {
                const uint32_t index = Pattern(x, y, c.entries);
                const uint16_t want = index == 0 ? 0x7C1F : Expected5551(pal[index]);
                ASSERT_EQ(Texel16(Device(), id, x, y), want) << x << "," << y;
            }
        }
    }
    // The 4-bit and the 8-bit file hold the same indices: identical textures.
    EXPECT_EQ(Device().textures[4].pixels, Device().textures[8].pixels);
    EXPECT_TRUE(platform.services.messages.empty());
}

TEST_F(TextureLoadTest, IndexZeroIsTransparentInBothFormats) {
    const std::string path = PalettePng("zero.png", 4, 16);
    ASSERT_TRUE(Load(path, 0, 16));
    ASSERT_TRUE(Load(path, 1, 32));
    EXPECT_EQ(Texel16(Device(), 0, 0, 0) & 0x8000, 0);  // Pattern(0, 0) is index 0
    EXPECT_NE(Texel16(Device(), 0, 1, 0) & 0x8000, 0);
    EXPECT_EQ(Device().textures[1].format, PlatTextureFormat::R8G8B8A8);
    EXPECT_EQ(Device().textures[1].pixels[3], 0);     // alpha of (0, 0)
    EXPECT_EQ(Device().textures[1].pixels[7], 255);   // alpha of (1, 0)
}

TEST_F(TextureLoadTest, InterlacedPaletteImageLoads) {
    PngShape s;
    s.depth = 4;
    s.interlace = PNG_INTERLACE_ADAM7;
    s.palette = TestPalette(16);
    const std::string path = folder.File("adam7.png");
    ASSERT_TRUE(WriteTestPng(path, s, [](int x, int y) { return Pattern(x, y, 16); }));
    ASSERT_TRUE(Load(path, 2));
    EXPECT_EQ(Texel16(Device(), 2, 5, 9), Expected5551(s.palette[Pattern(5, 9, 16)]));
}

TEST_F(TextureLoadTest, RgbImageBecomesAnOpaqueTexture) {
    PngShape s;
    s.colourType = PNG_COLOR_TYPE_RGB;
    const std::string path = folder.File("rgb.png");
    ASSERT_TRUE(WriteTestPng(path, s, [](int x, int y) { return x == 0 && y == 0 ? 0u : 0x0810F8u; }));
    ASSERT_TRUE(Load(path, 3, 16));
    EXPECT_EQ(Texel16(Device(), 3, 1, 1), 0x845F);
    EXPECT_EQ(Texel16(Device(), 3, 0, 0), 0x8000);  // black stays opaque: no index 0 here
    ASSERT_TRUE(Load(path, 4, 32));
    const uint8_t* p = Device().textures[4].pixels.data() + 4;
    EXPECT_EQ((std::vector<uint8_t>{p[0], p[1], p[2], p[3]}), (std::vector<uint8_t>{8, 16, 248, 255}));
}

TEST_F(TextureLoadTest, UnsupportedImagesAreRefusedWithTheirMessage) {
    struct Case {
        const char* name;
        PngShape shape;
        MessageId message;
    };
    PngShape rgb16;
    rgb16.colourType = PNG_COLOR_TYPE_RGB;
    rgb16.depth = 16;
    PngShape grey;
    grey.colourType = PNG_COLOR_TYPE_GRAY;
    PngShape rgba;
    rgba.colourType = PNG_COLOR_TYPE_RGBA;
    PngShape greyAlpha;
    greyAlpha.colourType = PNG_COLOR_TYPE_GRAY_ALPHA;
    PngShape small;
    small.width = small.height = 256;
    small.palette = TestPalette(16);
    PngShape wide;
    wide.width = 1024;
    wide.palette = TestPalette(16);
    PngShape tall;
    tall.height = 513;
    tall.palette = TestPalette(16);
    const Case cases[] = {
        {"rgb16.png", rgb16, MessageId::kPngTooManyColours},   {"grey.png", grey, MessageId::kPngBadColourType},
        {"rgba.png", rgba, MessageId::kPngBadColourType},      {"greyalpha.png", greyAlpha, MessageId::kPngBadColourType},
        {"small.png", small, MessageId::kPngBadSize},          {"wide.png", wide, MessageId::kPngBadSize},
        {"tall.png", tall, MessageId::kPngBadSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = folder.File(c.name);
        ASSERT_TRUE(WriteTestPng(path, c.shape, [](int x, int y) { return static_cast<uint32_t>(x ^ y) & 1; }));
        EXPECT_FALSE(Load(path, 5));
        ExpectReport(path, c.message);
        EXPECT_FALSE(gr->textureLoaded[5]);
        EXPECT_FALSE(Device().textures[5].present);
    }
}

TEST_F(TextureLoadTest, MissingFileOrFolderIsNotFound) {
    for (const std::string& path : {folder.File("absent.png"), folder.path}) {
        EXPECT_FALSE(Load(path, 0));
        ExpectReport(path, MessageId::kFileNotFound);
    }
}

TEST_F(TextureLoadTest, DamagedFilesFailCleanly) {
    const std::vector<uint8_t> good = Bytes(PalettePng("good.png", 8, 256));
    ASSERT_GT(good.size(), 200u);
    std::vector<std::vector<uint8_t>> damaged = {
        {},                                                        // empty
        {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', '\n'},       // not a PNG at all
        std::vector<uint8_t>(good.begin(), good.begin() + 8),      // signature only
        std::vector<uint8_t>(good.begin(), good.begin() + 30),     // inside the header chunk
        std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2),  // half the image data
        std::vector<uint8_t>(good.begin(), good.end() - 12),       // no end chunk
    };
    std::vector<uint8_t> badCrc = good;
    badCrc[good.size() / 2] ^= 0x5A;                               // image data no longer matches
    damaged.push_back(badCrc);
    std::vector<uint8_t> badHeader = good;
    badHeader[16] = 0x7F;                                          // absurd width
    damaged.push_back(badHeader);

    for (size_t i = 0; i < damaged.size(); ++i) {
        SCOPED_TRACE(i);
        const std::string path = folder.File("bad.png");
        Put(path, damaged[i]);
        EXPECT_FALSE(Load(path, 6));
        ExpectReport(path, MessageId::kPngCorrupt);
        EXPECT_FALSE(Device().textures[6].present);
    }
    // The loader is usable again after every failure.
    Put(folder.File("again.png"), good);
    EXPECT_TRUE(Load(folder.File("again.png"), 6));
}

// ------------------------------------------------------------------------------------------ reload
class ReloadTest : public TextureLoadTest {
protected:
    void SetUp() override {
        TextureLoadTest::SetUp();
        std::filesystem::create_directories(folder.File("grp"));
        // The data folder as the game holds it: backslash-terminated, names with backslashes.
        std::u16string data = U16(folder.path) + u"\\";
        ASSERT_TRUE(U16Copy(sys->dataFolder, kPathChars, data.c_str()));
        for (int id = 0; id < 8; ++id) {
            const std::string name = "grp_000" + std::to_string(id) + ".png";
            PalettePng("grp/" + name, 4, 16);
            SetName(id, u"grp\\" + U16(name));
        }
        Device().record = true;
    }
    void SetName(int id, const std::u16string& name) {
        std::memset(scene->textureNames[id], 0, sizeof scene->textureNames[id]);
        std::copy(name.begin(), name.end(), scene->textureNames[id]);
    }
};

TEST_F(ReloadTest, NullNameLeavesTheIdEmptyAndTheRestLoads) {
    SetName(3, u"null0000.png");
    TestDib d;
    ASSERT_TRUE(gr->CreateTexture16(3, d.dib));  // whatever id 3 held before is released
    EXPECT_EQ(scene->textureReloadFlag, 1);

    CReSur reloader(gr.get(), sys.get(), scene.get());
    EXPECT_TRUE(reloader.ReloadTextures());
    EXPECT_EQ(scene->textureReloadFlag, 0);
    for (int id = 0; id < 8; ++id) EXPECT_EQ(gr->textureLoaded[id], id != 3) << id;
    EXPECT_FALSE(Device().textures[3].present);
    EXPECT_EQ(std::u16string(scene->texturePathNames[5]), u"grp\\grp_0005.png");
    EXPECT_EQ(platform.clock.yields, 8);
    EXPECT_TRUE(platform.services.messages.empty());
}

TEST_F(ReloadTest, MissingFileStopsAtItsIdAndKeepsTheEarlierOnes) {
    std::filesystem::remove(folder.File("grp/grp_0005.png"));
    CReSur reloader(gr.get(), sys.get(), scene.get());
    EXPECT_FALSE(reloader.ReloadTextures());
    for (int id = 0; id < 8; ++id) EXPECT_EQ(gr->textureLoaded[id], id < 5) << id;
    EXPECT_EQ(scene->textureReloadFlag, 1);
    ExpectReport(folder.path + "\\grp\\grp_0005.png", MessageId::kFileNotFound);
}

TEST_F(ReloadTest, UnterminatedNameSlotStaysInsideTheSlot) {
    // A record that lost its CR LF: the slot is full of name units with no terminator.
    for (int i = 0; i < kNameSlotUnits; ++i) scene->textureNames[2][i] = u'x';
    CReSur reloader(gr.get(), sys.get(), scene.get());
    EXPECT_FALSE(reloader.ReloadTextures());
    ASSERT_EQ(platform.services.messages.size(), 1u);
    const std::u16string name(kNameSlotUnits - 1, u'x');
    EXPECT_EQ(std::u16string(scene->texturePathNames[2]), name);
    EXPECT_NE(platform.services.messages[0].text.find(name + u" "), std::u16string::npos);
}

}  // namespace
