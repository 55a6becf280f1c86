// Helpers for the renderer and texture tests: a PNG generator built on libpng, a temporary folder,
// and a renderer wired to the headless platform.
#pragma once

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "platform/headless/headless.h"
#include "core/System.h"
#include "platform/common/text.h"

namespace rendertest {

// Shape of a generated PNG. sample(x, y) gives a palette index, a grey value, 0xRRGGBB or
// 0xAARRGGBB depending on the colour type; 16-bit images repeat each byte.
struct PngShape {
    int width = 512;
    int height = 512;
    int depth = 8;
    int colourType = PNG_COLOR_TYPE_PALETTE;
    int interlace = PNG_INTERLACE_NONE;
    std::vector<png_color> palette;
};

// Byte of channel c (file order: grey or R, G, B, then alpha) of a sample value.
inline uint8_t ChannelByte(int colourType, uint32_t v, int c) {
    switch (colourType) {
        case PNG_COLOR_TYPE_RGB:
            return static_cast<uint8_t>(v >> (16 - 8 * c));
        case PNG_COLOR_TYPE_RGBA:
            return static_cast<uint8_t>(c == 3 ? v >> 24 : v >> (16 - 8 * c));
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            return static_cast<uint8_t>(c == 1 ? v >> 24 : v);
        default:
            return static_cast<uint8_t>(v);
    }
}

inline bool WriteTestPng(const std::string& path, const PngShape& s, const std::function<uint32_t(int, int)>& sample) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    int channels = 1;
    if (s.colourType == PNG_COLOR_TYPE_RGB) channels = 3;
    if (s.colourType == PNG_COLOR_TYPE_RGBA) channels = 4;
    if (s.colourType == PNG_COLOR_TYPE_GRAY_ALPHA) channels = 2;
    const int bytes = s.depth == 16 ? 2 : 1;
    std::vector<uint8_t> row(static_cast<size_t>(s.width) * channels * bytes);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, s.width, s.height, s.depth, s.colourType, s.interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (s.colourType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
    }
    png_write_info(png, info);
    if (s.depth < 8) png_set_packing(png);
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < s.height; ++y) {
            uint8_t* out = row.data();
            for (int x = 0; x < s.width; ++x) {
                const uint32_t v = sample(x, y);
                for (int c = 0; c < channels; ++c) {
                    const uint8_t byte = ChannelByte(s.colourType, v, c);
                    for (int k = 0; k < bytes; ++k) out[(c * bytes) + k] = byte;
                }
                out += channels * bytes;
            }
            png_write_row(png, row.data());
        }
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return true;
}

// The palette the texture tests use: entry i is (i * 16 mod 256, 255 - i, 3 * i mod 256).
inline std::vector<png_color> TestPalette(int entries) {
    std::vector<png_color> p(entries);
    for (int i = 0; i < entries; ++i) {
        p[i].red = static_cast<png_byte>(i * 16);
        p[i].green = static_cast<png_byte>(255 - i);
        p[i].blue = static_cast<png_byte>(3 * i);
    }
    return p;
}

inline uint16_t Expected5551(const png_color& c) {
    return static_cast<uint16_t>(0x8000 | (c.red >> 3) << 10 | (c.green >> 3) << 5 | (c.blue >> 3));
}

// A fresh folder under /tmp, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        char tmpl[] = "/tmp/kelvorine-render-XXXXXX";
        if (mkdtemp(tmpl) != nullptr) path = tmpl;
    }
    ~TempFolder() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
    std::string File(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

inline std::u16string U16(const std::string& utf8) {
    char16_t buf[kPathChars];
    EXPECT_TRUE(Utf8ToU16(utf8.c_str(), buf, kPathChars));
    return buf;
}

// A renderer linked to fresh System and MapSceneEntity objects, drawing through the installed
// headless platform (whose render device the fixture may replace before installing).
class RendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.services.echoMessages = false;
        platform.Install();
        scene->FillAngleTables();
        gr->system = sys.get();
        gr->scene = scene.get();
    }
    FaultRender& Device() { return *platform.Faults(); }

    HeadlessPlatform platform;
    std::unique_ptr<System> sys = std::make_unique<System>();
    std::unique_ptr<MapSceneEntity> scene = std::make_unique<MapSceneEntity>();
    std::unique_ptr<CDx_Gr> gr = std::make_unique<CDx_Gr>();
};

// A 512 x 512 8-bit DIB of palette indices, bottom-up as the loader builds it.
struct TestDib {
    TestDib() : bits(512 * 512, 0) {
        std::memset(&dib, 0, sizeof dib);
        dib.width = 512;
        dib.height = 512;
        dib.bitsPerPixel = 8;
        dib.bits = bits.data();
    }
    // Index of texture pixel (x, y), y counted from the top.
    uint8_t& At(int x, int y) { return bits[static_cast<size_t>(511 - y) * 512 + x]; }
    void SetColour(int index, uint8_t r, uint8_t g, uint8_t b) {
        dib.colorTable[index][0] = b;
        dib.colorTable[index][1] = g;
        dib.colorTable[index][2] = r;
    }
    std::vector<uint8_t> bits;
    Dib dib;
};

inline uint16_t Texel16(const RecordRender& r, int id, int x, int y) {
    const std::vector<uint8_t>& p = r.textures[id].pixels;
    const size_t i = (static_cast<size_t>(y) * 512 + x) * 2;
    return static_cast<uint16_t>(p[i] | p[i + 1] << 8);
}

}  // namespace rendertest
