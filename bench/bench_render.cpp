// The software render device on a title frame and on a play frame (about 600 sprites), and the
// loading of one 512 x 512 palette PNG into a texture.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "graphics/CDx_Gr.h"
#include "graphics/CLoadTex.h"
#include "core/MapSceneEntity.h"
#include "platform/headless/headless.h"
#include "platform/common/raster.h"
#include "core/System.h"
#include "support/fixtures.h"
#include "platform/common/text.h"

namespace {

// A palette picture like the game's: blocks of colour with transparent (index 0) areas.
uint8_t PictureIndex(int x, int y) {
    if (((x / 64) + (y / 64)) % 5 == 0) return 0;
    return static_cast<uint8_t>(1 + ((x / 8) * 7 + (y / 8) * 3) % 200);
}

struct RenderSetup {
    RenderSetup() {
        platform.render.reset(raster = new RasterRender());
        platform.services.echoMessages = false;
        platform.Install();
        scene->FillAngleTables();
        gr->system = sys.get();
        gr->scene = scene.get();
        gr->Create();
        std::vector<uint8_t> bits(512 * 512);
        Dib dib;
        std::memset(&dib, 0, sizeof dib);
        dib.width = dib.height = 512;
        dib.bitsPerPixel = 8;
        dib.bits = bits.data();
        for (int i = 0; i < 256; ++i) {
            dib.colorTable[i][0] = static_cast<uint8_t>(i * 5);
            dib.colorTable[i][1] = static_cast<uint8_t>(i * 3);
            dib.colorTable[i][2] = static_cast<uint8_t>(255 - i);
        }
        for (int y = 0; y < 512; ++y) {
            for (int x = 0; x < 512; ++x) bits[static_cast<size_t>(511 - y) * 512 + x] = PictureIndex(x, y);
        }
        for (int id = 0; id < 8; ++id) gr->CreateTexture16(id, dib);
        // Texture 8: the same picture without transparent areas, as the title backdrop is.
        for (int i = 0; i < 512 * 512; ++i) bits[i] = bits[i] == 0 ? 1 : bits[i];
        gr->CreateTexture16(8, dib);
    }
    void Sprite(int x, int y, int w, int h, int sx, int sy, int sw, int sh, int tex,
                uint32_t colour = 0xFFFFFFFFu) {
        gr->DrawSprite(fixtures::Sprite(x, y, w, h, sx, sy, sw, sh, tex, colour));
    }
    // The fade overlay at 0, the borders and a status line of 30 glyphs: the end of every frame.
    void FrameEnd() {
        Sprite(0, 0, 1280, 720, 32, 0, 16, 16, kFadeTexture, 0x00FFFFFFu);
        Sprite(-256, -256, 1248 + 512, 256, 32, 0, 16, 16, kFadeTexture);
        Sprite(-256, 720, 1248 + 512, 256, 32, 0, 16, 16, kFadeTexture);
        Sprite(-240, -256, 256, 720 + 512, 32, 0, 16, 16, kFadeTexture);
        Sprite(1264, -256, 256, 720 + 512, 32, 0, 16, 16, kFadeTexture);
        for (int i = 0; i < 30; ++i) Sprite(16 + 16 * i, 688, 16, 32, 16 * (i % 16), 32 * 3, 16, 32, 6);
    }
    void TitleQueue(int backdrop = 0) {
        gr->BeginFrame();
        Sprite(16, 300, 1536, 768, 0, 0, 512, 256, backdrop);
        Sprite(16, 300 - 720, 1536, 768, 0, 0, 512, 256, backdrop);
        Sprite(446, 144, 480, 120, 0, 0, 160, 40, 2);
        Sprite(644, 144, 408, 120, 0, 48, 136, 40, 2);
        for (int i = 0; i < 3; ++i) Sprite(512, 408 + 96 * i, 288, 96, 160, 32 * i, 96, 32, 2);
        for (int i = 0; i < 8; ++i) Sprite(468 + 48 * i, 470, 48, 6, 0, 400, 16, 6, 2);
        FrameEnd();
    }
    void PlayQueue() {
        gr->BeginFrame();
        Sprite(16, 0, 1536, 768, 0, 0, 512, 256, 3);
        for (int entry = 0; entry < 6; ++entry) {
            for (int k = 15; k >= 0; --k) {
                Sprite(808 + 144 * (entry % 3) + 24 * (k % 4), 24 + 144 * (entry / 3) + 24 * (k / 4), 24, 24,
                       24 * (k % 8), 288, 24, 24, 1);
            }
        }
        for (int i = 10; i >= 0; --i) Sprite(310 + 16 * i, 24, 16, 32, 16 * i, 96, 16, 32, 6);
        for (int i = 9; i >= 0; --i) Sprite(298 + 16 * i, 120, 16, 32, 16 * i, 96, 16, 32, 6);
        for (int i = 0; i < 360; ++i) Sprite(496 + 24 * (i % 12), 24 * (i / 12), 24, 24, 24 * (i % 8), 288, 24, 24, 1);
        for (int k = 0; k < 4; ++k) Sprite(600 + 24 * k, 200, 24, 24, 24, 288, 24, 24, 1);
        FrameEnd();
    }

    HeadlessPlatform platform;
    RasterRender* raster = nullptr;
    std::unique_ptr<System> sys = std::make_unique<System>();
    std::unique_ptr<MapSceneEntity> scene = std::make_unique<MapSceneEntity>();
    std::unique_ptr<CDx_Gr> gr = std::make_unique<CDx_Gr>();
};

void BM_RasterTitleFrame(benchmark::State& state) {
    RenderSetup s;
    s.TitleQueue();
    for (auto _ : state) {
        s.gr->EndFrame();
        benchmark::DoNotOptimize(s.raster->Pixels()[640 * 360]);
    }
    state.counters["sprites"] = s.gr->queueCount;
}
BENCHMARK(BM_RasterTitleFrame)->Unit(benchmark::kMillisecond);

// The title as the SDL window's software path draws it: opaque backdrop, window channel order,
// alpha unused (the fade overlay at zero is skipped, opaque 3x rows are copied).
void BM_RasterTitleFrameWindow(benchmark::State& state) {
    RenderSetup s;
    s.raster->SetBgrOrder(true);
    s.raster->SetAlphaUnused(true);
    s.TitleQueue(8);
    for (auto _ : state) {
        s.gr->EndFrame();
        benchmark::DoNotOptimize(s.raster->Pixels()[640 * 360]);
    }
    state.counters["sprites"] = s.gr->queueCount;
}
BENCHMARK(BM_RasterTitleFrameWindow)->Unit(benchmark::kMillisecond);

void BM_RasterPlayFrame(benchmark::State& state) {
    RenderSetup s;
    s.PlayQueue();
    for (auto _ : state) {
        s.gr->EndFrame();
        benchmark::DoNotOptimize(s.raster->Pixels()[640 * 360]);
    }
    state.counters["sprites"] = s.gr->queueCount;
}
BENCHMARK(BM_RasterPlayFrame)->Unit(benchmark::kMillisecond);

// A rotated full-size picture goes through the general triangle path.
void BM_RasterRotatedSprites(benchmark::State& state) {
    RenderSetup s;
    s.gr->BeginFrame();
    for (int i = 0; i < 16; ++i) {
        DrawParam p{};
        p.x = 80 * (i % 8) + 100;
        p.y = 200 * (i / 8) + 150;
        p.w = p.h = 128;
        p.srcW = p.srcH = 128;
        p.scaleX = p.scaleY = 1.0f;
        p.pivotX = p.pivotY = 64.0f;
        p.angleZ = 16 * i + 5;
        p.colour = 0xFFFFFFFFu;
        s.gr->DrawSprite(p);
    }
    for (auto _ : state) {
        s.gr->EndFrame();
        benchmark::DoNotOptimize(s.raster->Pixels()[640 * 360]);
    }
}
BENCHMARK(BM_RasterRotatedSprites)->Unit(benchmark::kMillisecond);

void BM_LoadPng(benchmark::State& state) {
    const std::string path = "/tmp/kelvorine-bench-texture-" + std::to_string(getpid()) + ".png";
    {
        FILE* f = std::fopen(path.c_str(), "wb");
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, f);
        png_set_IHDR(png, info, 512, 512, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_color palette[256];
        for (int i = 0; i < 256; ++i) palette[i] = {static_cast<png_byte>(i), static_cast<png_byte>(i * 3), 7};
        png_set_PLTE(png, info, palette, 256);
        png_write_info(png, info);
        uint8_t row[512];
        for (int y = 0; y < 512; ++y) {
            for (int x = 0; x < 512; ++x) row[x] = PictureIndex(x, y);
            png_write_row(png, row);
        }
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
    }
    HeadlessPlatform platform;
    platform.services.echoMessages = false;
    platform.Install();
    CDx_Gr gr;
    CLoadTex loader(&gr, kTextureColourDepth);
    char16_t wide[kPathChars];
    AsciiToU16(path.c_str(), wide, kPathChars);
    for (auto _ : state) {
        if (!loader.LoadPng(0, wide)) state.SkipWithError("load failed");
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_LoadPng)->Unit(benchmark::kMillisecond);

}  // namespace
