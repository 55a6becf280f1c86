// The texture store: an RGBA copy of each texture in the image's channel order, with the alpha
// summaries of its rows.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/common/raster_pixel.h"

using namespace raster_impl;

void RasterRender::Release() {
    RecordRender::Release();
    ++textureGeneration_;
}

void RasterRender::ClearHandles() {
    RecordRender::ClearHandles();
    ++textureGeneration_;
}

void RasterRender::ReleaseTexture(int32_t id) {
    RecordRender::ReleaseTexture(id);
    ++textureGeneration_;
}

void RasterRender::SetBgrOrder(bool bgr) {
    if (bgr == bgr_) return;
    bgr_ = bgr;
    ++textureGeneration_;
    std::swap(factor_[0], factor_[2]);
    for (int id = 0; id < kTextureSlots; ++id) {
        uint32_t* t = rgba_[id].get();
        if (t == nullptr) continue;
        for (int i = 0; i < kTexSide * kTexSide; ++i) t[i] = SwapRedBlue(t[i]);
    }
    if (uint32_t* p = image_.get()) {
        for (int i = 0; i < kWidth * kHeight; ++i) p[i] = SwapRedBlue(p[i]);
    }
}

void RasterRender::BindTexture(int32_t id) {
    RecordRender::BindTexture(id);
    bound_ = id;
}

bool RasterRender::CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) {
    ++textureGeneration_;
    if (!RecordRender::CreateTexture(id, format, pixels)) return false;
    if (!rgba_[id]) rgba_[id].reset(new (std::nothrow) uint32_t[kTexSide * kTexSide]);
    if (!alpha_[id]) alpha_[id].reset(new (std::nothrow) RowAlpha[kTexSide]);
    if (!rgba_[id] || !alpha_[id]) {
        textures[id].present = false;
        return false;
    }
    uint32_t* out = rgba_[id].get();
    const int red = bgr_ ? 16 : 0, blue = bgr_ ? 0 : 16;
    if (format == PlatTextureFormat::B5G5R5A1) {
        // 5-bit channels widened through a table; alpha is 0 or 255.
        uint32_t wide[32];
        for (uint32_t v = 0; v < 32; ++v) wide[v] = (v * 255 + 15) / 31;
        const uint8_t* p = static_cast<const uint8_t*>(pixels);
        for (int i = 0; i < kTexSide * kTexSide; ++i) {
            const uint32_t q = static_cast<uint32_t>(p[2 * i] | p[2 * i + 1] << 8);
            out[i] = wide[(q >> 10) & 31] << red | wide[(q >> 5) & 31] << 8 | wide[q & 31] << blue |
                     ((q & 0x8000) ? 0xFF000000u : 0u);
        }
    } else {
        std::memcpy(out, pixels, sizeof(uint32_t) * kTexSide * kTexSide);
        if (bgr_) {
            for (int i = 0; i < kTexSide * kTexSide; ++i) out[i] = SwapRedBlue(out[i]);
        }
    }
    // What each block of 16 texels of a row holds, one bit a block.
    RowAlpha* rows = alpha_[id].get();
    for (int y = 0; y < kTexSide; ++y) {
        RowAlpha r{0, 0, 0, 0, 0};
        for (int b = 0; b < kTexSide / kBlock; ++b) {
            bool any = false, full = true, opaque = true, binary = true, uniform = true;
            for (int x = b * kBlock; x < (b + 1) * kBlock; ++x) {
                const uint32_t a = out[y * kTexSide + x] >> 24;
                uniform = uniform && out[y * kTexSide + x] == out[y * kTexSide + b * kBlock];
                any = any || a >= 128;
                full = full && a >= 128;
                opaque = opaque && a == 255;
                binary = binary && (a == 0 || a == 255);
            }
            const uint32_t bit = 1u << b;
            if (any) r.covered |= bit;
            if (full) r.full |= bit;
            if (opaque) r.opaque |= bit;
            if (binary) r.binary |= bit;
            if (uniform) r.uniform |= bit;
        }
        rows[y] = r;
    }
    return true;
}
