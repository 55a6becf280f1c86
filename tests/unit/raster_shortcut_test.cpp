// The rasteriser's shortcuts give the same colours as drawing everything: the window channel
// order, rows copied for repeated texel rows, sprites skipped because their blend keeps the
// destination colour (only a factor of exactly zero may be skipped), and a frame drawn band by
// band into a buffer of a few rows, where rows are copied from the row above for as long as
// every step draws the two alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/common/raster.h"
#include "raster_quad.h"

namespace {

struct Frame {
    std::vector<Vertex> v = std::vector<Vertex>(64);
    std::vector<uint32_t> tex = std::vector<uint32_t>(512 * 512);

    Frame() {
        // Rows 0..63 opaque, rows 64..127 with transparent and half-transparent texels.
        for (int y = 0; y < 512; ++y) {
            for (int x = 0; x < 512; ++x) {
                uint32_t a = 255;
                if (y >= 64 && y < 128) a = (x % 7 == 0) ? 0 : (x % 5 == 0 ? 160 : 255);
                if (y >= 128 && y < 160 && x < 32) a = (x + y) % 3 == 0 ? 127 : 0;  // nothing covered
                if (y >= 192 && y < 224) a = (x + y) % 3 == 0 ? 0 : 255;              // cut out
                tex[y * 512 + x] = (x * 3 & 255) | (y * 5 & 255) << 8 | ((x ^ y) & 255) << 16 | a << 24;
            }
        }
        Quad(&v[0], 0, 0, 1280, 720, 0, 0, 427, 240);      // backdrop, 3x scale
        Quad(&v[4], 100, 50, 700, 500, 0, 60, 200, 120);     // straddles opaque and cut-out rows
        Quad(&v[8], 0, 0, 1280, 720, 0, 0, 16, 16);         // overlay with no texture bound
        Quad(&v[12], 300, 300, 900, 600, 10, 10, 110, 110);  // kind 2 over what is there
        Quad(&v[16], -400, 800, -10, 900, 0, 0, 10, 10);     // entirely outside
        Quad(&v[20], 200, 40, 520, 700, 100, 64, 180, 128);  // cut-out rows, stretched
        Quad(&v[28], 50, 560, 250, 700, 0, 128, 32, 160);    // only uncovered texels
        // Covered texel rows with uncovered ones below (rows 128 on), as a glyph has empty lines:
        // magnified, magnified upside down, and minified.
        Quad(&v[32], 600, 100, 700, 401, 0, 100, 32, 150);
        Quad(&v[36], 720, 99, 800, 400, 0, 150, 32, 101);
        Quad(&v[40], 820, 100, 860, 131, 0, 90, 32, 161);
        // At the texture's own size: opaque, and cut out.
        Quad(&v[44], 900, 200, 964, 240, 300, 10, 364, 50);
        Quad(&v[48], 980, 300, 1044, 332, 64, 192, 128, 224);
        // A rotated quad crossing many bands (the general triangle path).
        for (int i = 0; i < 4; ++i) {
            const double a = 0.3 + i * 1.5707963;
            v[24 + i] = v[4 + i];
            v[24 + i].x = static_cast<float>(std::cos(a) * 0.4 - 0.2);
            v[24 + i].y = static_cast<float>(std::sin(a) * 0.7);
        }
    }

    void Draw(RasterRender& r, float overlay) {
        r.Create();
        ASSERT_TRUE(r.CreateTexture(3, PlatTextureFormat::R8G8B8A8, tex.data()));
        r.UploadVertices(v.data(), static_cast<uint32_t>(v.size()));
        r.Clear();
        const float one[4] = {1, 1, 1, 1}, half[4] = {0.5f, 0.25f, 1, 1};
        const float fade[4] = {overlay, overlay, overlay, overlay};
        r.SetBlend(0, one);
        r.BindTexture(3);
        r.Draw4(0);
        r.Draw4(4);
        r.SetBlend(2, half);
        r.Draw4(12);
        r.SetBlend(1, fade);
        r.BindTexture(120);
        r.Draw4(8);
        r.BindTexture(3);
        r.Draw4(4);  // a textured sprite with the same blend: its colour is kept too
        r.SetBlend(0, one);
        r.Draw4(16);
        r.Draw4(20);
        r.Draw4(28);
        for (uint32_t first : {32u, 36u, 40u, 44u, 48u}) r.Draw4(first);
        r.SetBlend(3, half);
        r.Draw4(24);
        r.Draw4(28);
    }
};

// Keeps the frame as steps instead of drawing it, to draw it later band by band.
class BandedRaster : public RasterRender {
public:
    BandedRaster() : RasterRender(false) { BeginSteps(); }
    void Clear() override { AddClearStep(); }
    void Draw4(uint32_t firstIndex) override { AddDrawStep(firstIndex); }
    // Draws the kept frame in bands of `rows` rows and gathers the bands into one image.
    std::vector<uint32_t> DrawInBands(int rows) {
        std::vector<uint32_t> image(kWidth * kHeight), band(static_cast<size_t>(rows) * kWidth);
        for (int first = 0; first < kHeight; first += rows) {
            const int end = std::min(first + rows, kHeight);
            SetTarget(band.data(), first);
            DrawSteps(first, end);
            std::memcpy(&image[static_cast<size_t>(first) * kWidth], band.data(), sizeof(uint32_t) * kWidth * (end - first));
        }
        return image;
    }
};

// The same frames drawn whole and, as the window's software path draws them, in bands (window
// channel order, alpha unused).
struct WholeAndBanded {
    RasterRender whole, banded;
    // Both devices made, with the texture in slot 3; false when the texture could not be made.
    bool Start(const std::vector<uint32_t>& tex) {
        banded.SetBanded(true);
        for (RasterRender* r : {&whole, &banded}) {
            r->SetBgrOrder(true);
            r->SetAlphaUnused(true);
            r->Create();
        }
        return MakeTexture(tex);
    }
    bool MakeTexture(const std::vector<uint32_t>& tex) {
        bool made = true;
        for (RasterRender* r : {&whole, &banded}) made = r->CreateTexture(3, PlatTextureFormat::R8G8B8A8, tex.data()) && made;
        return made;
    }
    bool Same() const { return std::memcmp(whole.Pixels(), banded.Pixels(), sizeof(uint32_t) * 1280 * 720) == 0; }
};

uint32_t Rgb(uint32_t p, bool bgr) {
    if (bgr) p = (p & 0xFF00FF00u) | (p & 0xFFu) << 16 | (p >> 16 & 0xFFu);
    return p & 0xFFFFFFu;
}

TEST(RasterShortcut, WindowOrderAndSkippedSpritesKeepEveryColour) {
    Frame f;
    for (float overlay : {0.0f, 1.0f / 256.0f, 0.5f}) {
        auto plain = std::make_unique<RasterRender>();
        auto window = std::make_unique<RasterRender>();
        window->SetBgrOrder(true);
        window->SetAlphaUnused(true);
        f.Draw(*plain, overlay);
        f.Draw(*window, overlay);
        int differ = 0;
        for (int i = 0; i < RasterRender::kWidth * RasterRender::kHeight; ++i) {
            differ += Rgb(plain->Pixels()[i], false) != Rgb(window->Pixels()[i], true);
        }
        EXPECT_EQ(differ, 0) << "overlay " << overlay;
        // Only the exactly-zero overlay and the textured sprite under the same blend are skipped;
        // a factor of 1/256 darkens, even where the rounding of one channel would hide it.
        EXPECT_EQ(window->spritesSkipped, overlay == 0.0f ? 2u : 0u) << "overlay " << overlay;
        EXPECT_EQ(plain->spritesSkipped, 0u);
    }
}

TEST(RasterShortcut, RepeatedRowsMatchADrawingWithoutRepeats) {
    // The 3x backdrop drawn whole against the same rows drawn one pixel row at a time (no row is
    // ever repeated within a sprite then).
    Frame f;
    auto whole = std::make_unique<RasterRender>();
    auto rows = std::make_unique<RasterRender>();
    f.Draw(*whole, 0.25f);
    std::vector<Vertex> strips(720 * 4 + 64);
    std::memcpy(strips.data(), f.v.data(), sizeof(Vertex) * f.v.size());
    for (int y = 0; y < 720; ++y) Quad(&strips[64 + 4 * y], 0, y, 1280, y + 1, 0, y / 3.0, 427, (y + 1) / 3.0);
    f.v = strips;
    f.Draw(*rows, 0.25f);  // draws the backdrop whole too; then the strips go over it
    rows->SetBlend(0, std::vector<float>{1, 1, 1, 1}.data());
    rows->BindTexture(3);
    for (int y = 0; y < 720; ++y) rows->Draw4(64 + 4 * y);
    whole->UploadVertices(f.v.data(), 64);  // the first 64 are those it drew from
    whole->SetBlend(0, std::vector<float>{1, 1, 1, 1}.data());
    whole->BindTexture(3);
    whole->Draw4(0);
    EXPECT_EQ(std::memcmp(whole->Pixels(), rows->Pixels(), sizeof(uint32_t) * 1280 * 720), 0);
}

TEST(RasterShortcut, FlatFillsMatchTheGeneralBlend) {
    // A block of 16 texels of one colour stretched over the screen, in every blend slot, against
    // the same texels in a block whose last, unsampled texel differs (no shortcut then).
    std::vector<Vertex> v(8);
    Quad(&v[0], 0, 0, 1280, 720, 0, 0, 427, 150);  // an opaque backdrop to blend over
    Quad(&v[4], 90, 30, 1100, 650, 32, 160, 40, 176);
    std::vector<uint32_t> backdrop(512 * 512), flat(512 * 512), mixed;
    for (int i = 0; i < 512 * 512; ++i) backdrop[i] = 0xFF000000u | (i * 2654435761u >> 8);
    flat = backdrop;
    for (int y = 160; y < 176; ++y) {
        for (int x = 32; x < 48; ++x) flat[y * 512 + x] = 0xC8000000u | (y * 0x010305u);  // alpha 200
    }
    mixed = flat;
    for (int y = 160; y < 176; ++y) mixed[y * 512 + 47] = 0x00FFFFFFu;
    // Factors of a half, of nothing and of everything, and close to either end.
    const float factors[3][4] = {{0.75f, 0.5f, 0.25f, 0.6f}, {0.0f, 1.0f, 0.5f, 1.0f}, {0.9999f, 0.3333f, 0.0001f, 0.5f}};
    for (int set = 0; set < 3; ++set) {
        for (int slot = 0; slot <= 6; ++slot) {
            const float* factor = factors[set];
            std::unique_ptr<RasterRender> r[2] = {std::make_unique<RasterRender>(), std::make_unique<RasterRender>()};
            for (int k = 0; k < 2; ++k) {
                r[k]->Create();
                ASSERT_TRUE(r[k]->CreateTexture(1, PlatTextureFormat::R8G8B8A8, (k == 0 ? flat : mixed).data()));
                r[k]->UploadVertices(v.data(), 8);
                r[k]->Clear();
                r[k]->SetBlend(0, factor);
                r[k]->BindTexture(1);
                r[k]->Draw4(0);
                r[k]->SetBlend(slot, factor);
                r[k]->Draw4(4);
            }
            EXPECT_EQ(std::memcmp(r[0]->Pixels(), r[1]->Pixels(), sizeof(uint32_t) * 1280 * 720), 0)
                << "slot " << slot << ", factors " << set;
        }
    }
}

TEST(RasterShortcut, BandsDrawTheSamePictureAsTheWholeImage) {
    Frame f;
    for (bool window : {false, true}) {
        auto whole = std::make_unique<RasterRender>();
        auto banded = std::make_unique<BandedRaster>();
        for (RasterRender* r : {whole.get(), static_cast<RasterRender*>(banded.get())}) {
            r->SetBgrOrder(window);
            r->SetAlphaUnused(window);
            f.Draw(*r, 0.25f);
        }
        // The clear and the draws but the one outside the image and the two that sample only
        // uncovered texels.
        ASSERT_EQ(banded->StepCount(), 13u);
        for (int rows : {1, 7, 32, 720}) {
            const uint64_t copied = banded->rowsCopied;
            const std::vector<uint32_t> image = banded->DrawInBands(rows);
            EXPECT_EQ(std::memcmp(whole->Pixels(), image.data(), sizeof(uint32_t) * 1280 * 720), 0)
                << rows << " rows a band, window order " << window;
            // Two pixel rows in three of the 3x backdrop sample the texel row above them through
            // the steps up to the first that draws them otherwise: those are copied.
            if (rows >= 32) {
                EXPECT_GE(banded->rowsCopied - copied, 440u) << rows << " rows a band";
            }
        }
        // More steps after the bands were drawn, from a second clear on: the steps before it are
        // left out, and the ones added since are drawn.
        for (RasterRender* r : {whole.get(), static_cast<RasterRender*>(banded.get())}) {
            const float one[4] = {1, 1, 1, 1};
            r->Clear();
            r->SetBlend(0, one);
            for (uint32_t first : {0u, 44u, 24u, 48u}) r->Draw4(first);
        }
        for (int rows : {32, 720}) {
            const std::vector<uint32_t> image = banded->DrawInBands(rows);
            EXPECT_EQ(std::memcmp(whole->Pixels(), image.data(), sizeof(uint32_t) * 1280 * 720), 0)
                << "after a second clear, " << rows << " rows a band, window order " << window;
        }
    }
}

TEST(RasterShortcut, DrawsAreTakenFromTheLastFrameOnlyWhenMadeFromTheSame) {
    // Frames drawn in bands against the same frames drawn whole, while the blend, the vertices
    // and the texture change between them.
    Frame f;
    std::vector<uint32_t> other(f.tex);
    for (uint32_t& t : other) t = (t ^ 0x00FF00FFu) | 0xFF000000u;  // other colours, all opaque
    WholeAndBanded pair;
    ASSERT_TRUE(pair.Start(f.tex));
    RasterRender& whole = pair.whole;
    RasterRender& banded = pair.banded;
    auto frame = [&](float shade, float shift) {
        Quad(&f.v[4], 100 + shift, 50, 700 + shift, 500, 0, 60, 200, 120);
        const float one[4] = {1, 1, 1, 1}, half[4] = {shade, 0.25f, 1, 1};
        for (RasterRender* r : {&whole, &banded}) {
            r->UploadVertices(f.v.data(), static_cast<uint32_t>(f.v.size()));
            r->Clear();
            r->SetBlend(0, one);
            r->BindTexture(3);
            r->Draw4(0);
            r->Draw4(4);
            for (uint32_t first : {20u, 32u, 36u, 40u}) r->Draw4(first);
            r->SetBlend(2, half);
            r->Draw4(12);
            r->Present(0);
        }
        return pair.Same();
    };
    EXPECT_TRUE(frame(0.5f, 0));
    EXPECT_EQ(banded.drawsReused, 0u);
    EXPECT_TRUE(frame(0.5f, 0));
    EXPECT_EQ(banded.drawsReused, 7u) << "the same frame again";
    EXPECT_TRUE(frame(0.75f, 3));
    EXPECT_EQ(banded.drawsReused, 7u + 5u) << "one sprite moved, the blend of another changed";
    ASSERT_TRUE(pair.MakeTexture(other));
    EXPECT_TRUE(frame(0.75f, 3)) << "a texture made again";
    EXPECT_EQ(banded.drawsReused, 12u);
}

TEST(RasterShortcut, ARunOfUnchangedCutOutSpritesDrawnAsOneLayer) {
    // A panel as the menus draw it: a scrolling backdrop, a translucent fill, a line of 40
    // overlapping cut-out glyphs (some on rows of their own), a translucent cursor over part of
    // them. Frames drawn in bands against the same frames drawn whole, while glyphs move, go,
    // come back and their texture is made again.
    Frame f;
    constexpr int kGlyphs = 40;
    std::vector<Vertex> v(4 * (kGlyphs + 3));
    WholeAndBanded pair;
    ASSERT_TRUE(pair.Start(f.tex));
    RasterRender& whole = pair.whole;
    RasterRender& banded = pair.banded;
    auto frame = [&](int scroll, int moved, int glyphs) {
        Quad(&v[0], 0, 0, 1280, 720, scroll, 0, scroll + 427, 240);
        Quad(&v[4], 200, 100, 1000, 650, 40, 10, 41, 11);
        Quad(&v[8], 180, 290, 500, 330, 0, 60, 200, 120);
        for (int i = 0; i < kGlyphs; ++i) {
            const double x = 150 + 12 * i, y = 300 + (i % 3) * 5 + (i == moved ? 1 : 0) + (i > 30 ? 40 : 0);
            Quad(&v[12 + 4 * i], x, y, x + 16, y + 16, 16 * (i % 5), 192, 16 * (i % 5) + 16, 208);
        }
        const float one[4] = {1, 1, 1, 1}, fill[4] = {0.3f, 0.3f, 0.4f, 1}, cursor[4] = {0.5f, 0.25f, 1, 1};
        for (RasterRender* r : {&whole, &banded}) {
            r->UploadVertices(v.data(), static_cast<uint32_t>(v.size()));
            r->Clear();
            r->SetBlend(0, one);
            r->BindTexture(3);
            r->Draw4(0);
            r->SetBlend(1, fill);
            r->Draw4(4);
            r->SetBlend(0, one);
            for (int i = 0; i < glyphs; ++i) r->Draw4(12 + 4 * i);
            r->SetBlend(2, cursor);
            r->Draw4(8);
            r->Present(0);
        }
        return pair.Same();
    };
    struct {
        int moved, glyphs;
        const char* what;
    } frames[] = {
        {-1, 40, "first"}, {-1, 40, "same glyphs: the layer is made"}, {-1, 40, "and used"},
        {20, 40, "a glyph in the middle moved: no run long enough"}, {20, 40, "the 40 as they are now"},
        {20, 40, "used"}, {7, 40, "it moved back, another moved"}, {7, 40, "all 40 again"},
        {-1, 40, "moved back: a layer of the 32 after it"}, {-1, 40, "all 40"}, {-1, 39, "the last glyph gone"},
        {-1, 39, "used"}, {-1, 40, "it is back"}, {-1, 40, "used"},
    };
    int scroll = 0;
    for (const auto& fr : frames) EXPECT_TRUE(frame(scroll += 3, fr.moved, fr.glyphs)) << fr.what;
    EXPECT_GE(banded.layersMade, 6u);
    EXPECT_GE(banded.layerFrames, 10u);
    ASSERT_TRUE(pair.MakeTexture(f.tex));
    const uint64_t made = banded.layersMade;
    EXPECT_TRUE(frame(scroll += 3, -1, 40)) << "a texture made again";
    EXPECT_EQ(banded.layersMade, made);
    EXPECT_TRUE(frame(scroll += 3, -1, 40)) << "the layer made again";
    EXPECT_EQ(banded.layersMade, made + 1);

    // Glyphs as wide as the image, 18 rows each: too large for a layer, drawn as steps, and the
    // run not tried again while it stays the same.
    for (int i = 0; i < kGlyphs; ++i) Quad(&v[12 + 4 * i], 0, 18 * i, 1280, 18 * i + 18, 0, 192, 512, 210);
    const uint64_t usedBefore = banded.layerFrames;
    for (int n = 0; n < 3; ++n) {
        for (RasterRender* r : {&whole, &banded}) {
            const float one[4] = {1, 1, 1, 1};
            r->UploadVertices(v.data(), static_cast<uint32_t>(v.size()));
            r->Clear();
            r->SetBlend(0, one);
            r->BindTexture(3);
            for (int i = 0; i < kGlyphs; ++i) r->Draw4(12 + 4 * i);
            r->Present(0);
        }
        EXPECT_TRUE(pair.Same()) << "wide, frame " << n;
    }
    EXPECT_EQ(banded.layerFrames, usedBefore);
    EXPECT_EQ(banded.layersMade, made + 1);
}

}  // namespace
