// The software presentation path puts into the window surface exactly the picture the rasteriser
// draws, whichever way it gets there: rows compared and copied, a scrolling picture drawn
// straight into the surface, a still frame not drawn at all, an expose, a surface whose contents
// were lost. Run on SDL's dummy video driver, whose window surface is plain memory.
#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "../unit/raster_quad.h"
#include "platform/sdl/sdl_render_soft.h"

namespace {

class SoftRenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The device wants its shader files, though it never compiles them: found in the
        // current folder.
        folder_ = std::filesystem::temp_directory_path() / ("kelvorine-soft-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder_);
        for (const char* name : {"SampleVS.glsl", "SamplePS.glsl"}) {
            std::FILE* f = std::fopen((folder_ / name).c_str(), "wb");
            ASSERT_NE(f, nullptr);
            std::fclose(f);
        }
        saved_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        window_.window = SDL_CreateWindow("soft", 0, 0, RasterRender::kWidth, RasterRender::kHeight, 0);
        ASSERT_NE(window_.window, nullptr) << SDL_GetError();
        soft_ = std::make_unique<SoftRender>(&window_);
        ASSERT_GE(soft_->Create(), 0);
        // The reference draws each sprite into a whole image at once, in the window's order.
        whole_.SetBgrOrder(soft_->BgrOrder());
        whole_.SetAlphaUnused(true);
        ASSERT_GE(whole_.Create(), 0);

        // Opaque rows 0..63; glyph-like rows 64..127 (each texel covered or not) with empty
        // rows 64..71 and 120..127.
        std::vector<uint32_t> tex(512 * 512);
        for (int y = 0; y < 512; ++y) {
            for (int x = 0; x < 512; ++x) {
                const bool glyph = y >= 64 && y < 128;
                const uint32_t a = !glyph || (y >= 72 && y < 120 && (x + y) % 5 < 3) ? 255 : 0;
                tex[y * 512 + x] = (x * 3 & 255) | (y * 5 & 255) << 8 | ((x ^ y) & 255) << 16 | a << 24;
            }
        }
        for (RasterRender* r : {static_cast<RasterRender*>(soft_.get()), &whole_}) {
            ASSERT_TRUE(r->CreateTexture(3, PlatTextureFormat::R8G8B8A8, tex.data()));
        }
    }
    void TearDown() override {
        soft_.reset();
        if (window_.window != nullptr) SDL_DestroyWindow(window_.window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        std::filesystem::current_path(saved_);
        std::filesystem::remove_all(folder_);
    }

    // One frame on both devices: a backdrop scrolled by `scroll` texels (every row changes with
    // it), a translucent panel, and a glyph at column `glyphX`.
    void Frame(double scroll, double glyphX) {
        Quad(&v_[0], 0, 0, 1280, 720, scroll, 0, scroll + 427, 60);
        Quad(&v_[4], 200, 100, 1080, 620, 0, 0, 16, 16);
        Quad(&v_[8], glyphX, 300, glyphX + 64, 428, 0, 64, 32, 128);
        const float one[4] = {1, 1, 1, 1}, shade[4] = {0.3f, 0.3f, 0.3f, 1};
        for (RasterRender* r : {static_cast<RasterRender*>(soft_.get()), &whole_}) {
            r->UploadVertices(v_, 12);
            r->Clear();
            r->SetBlend(0, one);
            r->BindTexture(3);
            r->Draw4(0);
            r->SetBlend(1, shade);
            r->Draw4(4);
            r->SetBlend(0, one);
            r->Draw4(8);
            r->Present(0);
        }
    }
    // Rows the last frame sent to the display.
    uint64_t FrameSending(double scroll, double glyphX) {
        const uint64_t before = soft_->rowsSent;
        Frame(scroll, glyphX);
        return soft_->rowsSent - before;
    }
    // Whether the window surface shows the reference picture (the surface has no alpha).
    ::testing::AssertionResult ShowsTheReference() {
        SDL_Surface* s = SDL_GetWindowSurface(window_.window);
        if (s == nullptr || s->w != RasterRender::kWidth || s->h != RasterRender::kHeight) {
            return ::testing::AssertionFailure() << "no window surface of the image's size";
        }
        for (int y = 0; y < s->h; ++y) {
            const uint32_t* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(s->pixels) + y * s->pitch);
            for (int x = 0; x < s->w; ++x) {
                if ((row[x] & 0xFFFFFFu) != (whole_.Pixel(x, y) & 0xFFFFFFu)) {
                    return ::testing::AssertionFailure() << "pixel " << x << ", " << y << " differs";
                }
            }
        }
        return ::testing::AssertionSuccess();
    }

    std::filesystem::path folder_, saved_;
    SdlWindow window_;
    std::unique_ptr<SoftRender> soft_;
    RasterRender whole_;
    Vertex v_[12];
};

TEST_F(SoftRenderTest, TheWindowSurfaceShowsTheRasterisersPictureHoweverItGetsThere) {
    // The surface is in the image's own order, so scrolling frames may be drawn straight into it.
    ASSERT_EQ(SDL_GetWindowSurface(window_.window)->format->format, static_cast<uint32_t>(SDL_PIXELFORMAT_RGB888));
    // Scrolling: every row changes and is sent, frames compared and frames drawn in the surface.
    for (int k = 0; k < 40; ++k) {
        EXPECT_EQ(FrameSending(3.0 * k, 600), 720u) << "scrolling frame " << k;
        ASSERT_TRUE(ShowsTheReference()) << "scrolling frame " << k;
    }
    // At rest but for the glyph moving along: within a few frames only the rows its covered
    // texels reach are sent (48 texel rows drawn twice as high).
    uint64_t sent = 0;
    for (int k = 0; k < 24; ++k) {
        sent = FrameSending(120, 600 + k);
        ASSERT_TRUE(ShowsTheReference()) << "resting frame " << k;
    }
    EXPECT_EQ(sent, 96u);
    // The same frame again: nothing drawn, nothing sent.
    const uint64_t drawn = soft_->framesRasterised;
    EXPECT_EQ(FrameSending(120, 623), 0u);
    EXPECT_EQ(soft_->framesRasterised, drawn);
    // An expose sends the picture the surface holds, all of it.
    soft_->Invalidate(false);
    EXPECT_EQ(FrameSending(120, 623), 720u);
    EXPECT_EQ(soft_->framesRasterised, drawn);
    EXPECT_TRUE(ShowsTheReference());
    // A surface whose contents were lost gets the picture drawn again from the last frame.
    SDL_Surface* s = SDL_GetWindowSurface(window_.window);
    SDL_FillRect(s, nullptr, SDL_MapRGB(s->format, 255, 0, 255));
    soft_->Invalidate(true);
    EXPECT_EQ(FrameSending(120, 623), 720u);
    EXPECT_TRUE(ShowsTheReference());
}

}  // namespace
