// The software render device: pixel coverage of sprites, sampling and mirroring, transparency,
// the blend kinds on real pixels, rotated quads, and PNG output of the image.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/common/raster.h"
#include "platform/headless/png_write.h"
#include "render_test_support.h"
#include "support/fixtures.h"

namespace {

using namespace rendertest;

constexpr uint32_t kRed = 0xFF0000FFu;    // bytes r, g, b, a as one little-endian value
constexpr uint32_t kGreen = 0xFF00FF00u;
constexpr uint32_t kBlue = 0xFFFF0000u;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr uint32_t kCleared = 0;

uint32_t Channel(uint32_t p, int c) { return (p >> (8 * c)) & 255; }

class RasterTest : public RendererTest {
protected:
    void SetUp() override {
        platform.render.reset(raster = new RasterRender());
        RendererTest::SetUp();
        ASSERT_EQ(gr->Create(), 1);
        // Texture 0: a strip red, green, blue, transparent at (0..3, 0); a 2 x 2 block red,
        // green / blue, white at (8..9, 8..9); white from (16, 16) to (31, 31).
        TestDib d;
        d.SetColour(1, 255, 0, 0);
        d.SetColour(2, 0, 255, 0);
        d.SetColour(3, 0, 0, 255);
        d.SetColour(4, 255, 255, 255);
        d.At(0, 0) = 1;
        d.At(1, 0) = 2;
        d.At(2, 0) = 3;
        d.At(8, 8) = 1;
        d.At(9, 8) = 2;
        d.At(8, 9) = 3;
        d.At(9, 9) = 4;
        for (int y = 16; y < 32; ++y) {
            for (int x = 16; x < 32; ++x) d.At(x, y) = 4;
        }
        ASSERT_TRUE(gr->CreateTexture16(0, d.dib));
        gr->BeginFrame();
    }
    static DrawParam Sprite(int x, int y, int w, int h, int sx, int sy, int sw, int sh) {
        return fixtures::Sprite(x, y, w, h, sx, sy, sw, sh);
    }
    // A white sprite over the whole screen.
    void WhiteScreen() { gr->DrawSprite(Sprite(0, 0, 1280, 720, 16, 16, 16, 16)); }
    // Pixels with the given value inside [x0, x1) x [y0, y1), and whether all others differ.
    int Count(uint32_t value, int x0 = 0, int y0 = 0, int x1 = 1280, int y1 = 720) const {
        int n = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) n += raster->Pixel(x, y) == value;
        }
        return n;
    }

    RasterRender* raster = nullptr;
};

TEST_F(RasterTest, SpriteCoversExactlyItsLogicalRectangle) {
    // Block cells of the board at the screen's edges and in the middle: the vertical clip factor
    // falls a little short of 1/720, which must not move any edge by a pixel.
    const int cells[][2] = {{0, 0}, {100, 50}, {1256, 696}, {0, 696}, {640, 359}};
    for (const auto& c : cells) gr->DrawSprite(Sprite(c[0], c[1], 24, 24, 16, 16, 16, 16));
    gr->EndFrame();
    for (const auto& c : cells) {
        SCOPED_TRACE(testing::Message() << c[0] << "," << c[1]);
        EXPECT_EQ(Count(kWhite, c[0], c[1], c[0] + 24, c[1] + 24), 24 * 24);
        const int x0 = std::max(c[0] - 1, 0), y0 = std::max(c[1] - 1, 0);
        const int x1 = std::min(c[0] + 25, 1280), y1 = std::min(c[1] + 25, 720);
        EXPECT_EQ(Count(kWhite, x0, y0, x1, y1), 24 * 24);  // nothing spills over
    }
    EXPECT_EQ(Count(kWhite), 5 * 24 * 24);
}

TEST_F(RasterTest, TexelsAreSampledOneToOneAndIndexZeroIsNeverDrawn) {
    WhiteScreen();
    gr->DrawSprite(Sprite(10, 20, 4, 1, 0, 0, 4, 1));
    gr->EndFrame();
    EXPECT_EQ(raster->Pixel(10, 20), kRed);
    EXPECT_EQ(raster->Pixel(11, 20), kGreen);
    EXPECT_EQ(raster->Pixel(12, 20), kBlue);
    EXPECT_EQ(raster->Pixel(13, 20), kWhite);  // index 0: the background shows through
    EXPECT_EQ(raster->Pixel(14, 20), kWhite);
    EXPECT_EQ(raster->Pixel(10, 21), kWhite);
}

TEST_F(RasterTest, FlipsMirrorTheSourceRectangle) {
    // The 2 x 2 block at four places with flips 0..3, scaled up 4 times (8 x 8 on screen).
    const uint32_t expect[4][4] = {
        {kRed, kGreen, kBlue, kWhite},   // flip 0: as stored
        {kGreen, kRed, kWhite, kBlue},   // 1: mirrored horizontally
        {kBlue, kWhite, kRed, kGreen},   // 2: vertically
        {kWhite, kBlue, kGreen, kRed},   // 3: both
    };
    for (int f = 0; f < 4; ++f) {
        DrawParam p = Sprite(100 + 20 * f, 100, 8, 8, 8, 8, 2, 2);
        p.flip = f;
        gr->DrawSprite(p);
    }
    DrawParam other = Sprite(180, 100, 8, 8, 8, 8, 2, 2);
    other.flip = 7;  // any other value acts as none
    gr->DrawSprite(other);
    gr->EndFrame();
    for (int f = 0; f < 5; ++f) {
        SCOPED_TRACE(f);
        const int x = 100 + 20 * f;
        const uint32_t* e = expect[f == 4 ? 0 : f];
        // Every pixel of each 4 x 4 quadrant.
        EXPECT_EQ(Count(e[0], x, 100, x + 4, 104), 16);
        EXPECT_EQ(Count(e[1], x + 4, 100, x + 8, 104), 16);
        EXPECT_EQ(Count(e[2], x, 104, x + 4, 108), 16);
        EXPECT_EQ(Count(e[3], x + 4, 104, x + 8, 108), 16);
    }
}

TEST_F(RasterTest, FadeOverlayDarkensTheScreen) {
    WhiteScreen();
    DrawParam fade = Sprite(0, 0, 1280, 720, 0, 0, 1280, 720);
    fade.texture = kFadeTexture;  // never loaded: opaque black
    fade.colour = 0x80FFFFFFu;    // fadeAlpha 128 in the top byte, white below
    gr->DrawSprite(fade);
    gr->EndFrame();
    const uint32_t grey = raster->Pixel(0, 0);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(Channel(grey, c), 128u);
    EXPECT_EQ(Count(grey), 1280 * 720);

    // Fully faded: black.
    gr->BeginFrame();
    WhiteScreen();
    fade.colour = 0xFFFFFFFFu;
    gr->DrawSprite(fade);
    gr->EndFrame();
    EXPECT_EQ(Count(0xFF000000u), 1280 * 720);
}

TEST_F(RasterTest, ColourTintsAndFadesThroughTheBlendKinds) {
    gr->DrawSprite(Sprite(0, 0, 64, 64, 16, 16, 16, 16));   // white ground for the fade
    DrawParam tint = Sprite(100, 0, 16, 16, 16, 16, 16, 16);
    tint.colour = 0xFF80FF00u;  // kind 2: white * (0.5, 1, 0) * 255/256
    gr->DrawSprite(tint);
    DrawParam fade = Sprite(0, 0, 16, 16, 0, 0, 3, 1);       // red, green, blue stretched
    fade.colour = 0x40FFFFFFu;  // kind 1 at a quarter
    gr->DrawSprite(fade);
    DrawParam mode1 = Sprite(200, 0, 16, 16, 16, 16, 16, 16);
    mode1.blendMode = 1;        // kind 3 over black: white * (1 - factor)
    mode1.colour = 0xFF000000u;
    gr->DrawSprite(mode1);
    gr->EndFrame();

    const uint32_t t = raster->Pixel(108, 8);
    EXPECT_EQ(Channel(t, 0), 127u);  // 255 * 128/256 * 255/256 = 127.0
    EXPECT_EQ(Channel(t, 1), 253u);  // 255 * (255/256)^2
    EXPECT_EQ(Channel(t, 2), 0u);

    const uint32_t f = raster->Pixel(1, 1);  // red at a quarter over white
    EXPECT_EQ(Channel(f, 0), 255u);
    EXPECT_NEAR(Channel(f, 1), 255 * (1.0 - 0.25 * 255 / 256), 1.0);
    EXPECT_EQ(Channel(f, 3), 255u);

    const uint32_t m = raster->Pixel(208, 8);  // factor (0, 0, 0, 255/256): white over nothing
    EXPECT_EQ(Channel(m, 0), 255u);
}

TEST_F(RasterTest, RotatedQuadsUseTheGeneralPathWithTheSameCoverage) {
    // A quarter turn about the centre of the 2 x 2 block scaled to 16 x 16: the quadrants move
    // clockwise on screen (red from top-left to top-right).
    DrawParam p = Sprite(300, 300, 16, 16, 8, 8, 2, 2);
    p.pivotX = p.pivotY = 8.0f;
    p.angleZ = 64;
    gr->DrawSprite(p);
    gr->EndFrame();
    EXPECT_EQ(Count(kBlue, 300, 300, 308, 308), 64);
    EXPECT_EQ(Count(kRed, 308, 300, 316, 308), 64);
    EXPECT_EQ(Count(kWhite, 300, 308, 308, 316), 64);
    EXPECT_EQ(Count(kGreen, 308, 308, 316, 316), 64);
    EXPECT_EQ(Count(kCleared), 1280 * 720 - 256);

    // Translucent and turned by 45 degrees: the two triangles share their diagonal, and no pixel
    // is blended twice (it would come out darker than the rest).
    gr->BeginFrame();
    WhiteScreen();
    DrawParam d = Sprite(600, 300, 100, 100, 0, 0, 100, 100);
    d.texture = kFadeTexture;
    d.colour = 0x80FFFFFFu;
    d.pivotX = d.pivotY = 50.0f;
    d.angleZ = 32;
    gr->DrawSprite(d);
    DrawParam q = Sprite(100, 100, 16, 16, 0, 0, 16, 16);  // its diagonal runs through pixel centres
    q.texture = kFadeTexture;
    q.colour = 0x80FFFFFFu;
    q.pivotX = q.pivotY = 8.0f;
    q.angleZ = 64;
    gr->DrawSprite(q);
    gr->EndFrame();
    const uint32_t grey = raster->Pixel(650, 350);
    EXPECT_EQ(Count(grey, 90, 90, 130, 130), 256);
    EXPECT_EQ(Channel(grey, 0), 128u);
    const int covered = Count(grey);
    EXPECT_EQ(covered + Count(kWhite), 1280 * 720);
    EXPECT_NEAR(covered, 100 * 100 + 256, 150);         // the area of the square, give or take an edge
    EXPECT_EQ(raster->Pixel(600, 300), kWhite);   // corners of the unturned square stay white
    EXPECT_EQ(raster->Pixel(650, 295), grey);     // the tip of the diamond reaches above it
}

TEST_F(RasterTest, OffScreenAndHugeSpritesAreClipped) {
    DrawParam huge = Sprite(-5000, -5000, 100000, 100000, 16, 16, 16, 16);
    gr->DrawSprite(huge);
    DrawParam away = Sprite(5000, 5000, 24, 24, 16, 16, 16, 16);
    gr->DrawSprite(away);
    DrawParam turned = Sprite(-100000, 0, 24, 24, 16, 16, 16, 16);
    turned.angleZ = 10;
    gr->DrawSprite(turned);
    gr->EndFrame();
    EXPECT_EQ(Count(kWhite), 1280 * 720);
    // A draw outside the uploaded array is ignored.
    raster->Draw4(kQueueVertices);
}

TEST_F(RasterTest, ImageIsWrittenAsPng) {
    gr->DrawSprite(Sprite(10, 20, 4, 1, 0, 0, 4, 1));
    gr->EndFrame();
    TempFolder folder;
    const std::string path = folder.File("frame.png");
    ASSERT_TRUE(WritePng(path.c_str(), raster->Pixels(), RasterRender::kWidth, RasterRender::kHeight));

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    EXPECT_EQ(image.width, 1280u);
    EXPECT_EQ(image.height, 720u);
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, 0u);  // the screen has no alpha
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint32_t> back(1280 * 720);
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, back.data(), 0, nullptr));
    EXPECT_EQ(back[20 * 1280 + 10], kRed);
    EXPECT_EQ(back[20 * 1280 + 12], kBlue);
    EXPECT_EQ(back[0], 0xFF000000u);  // cleared: black, shown opaque

    // A folder that does not exist: false, and nothing is left behind.
    EXPECT_FALSE(WritePng(folder.File("none/frame.png").c_str(), raster->Pixels(), 1280, 720));
    EXPECT_FALSE(std::filesystem::exists(folder.File("none")));
}

}  // namespace
