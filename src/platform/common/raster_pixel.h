// The software rasteriser's shared pieces: fixed-point blending, texel addressing and the span
// loops. Internal to the rasteriser's files (raster*.cpp); nothing else includes it.
#pragma once

#include <cmath>
#include <cstdint>

#include "platform/common/raster.h"

namespace raster_impl {

// Helpers inlined where they are used; each file of the rasteriser has its own copy.
namespace {

constexpr int kTexSide = kTextureSide;
constexpr int kTexMask = kTexSide - 1;
constexpr double kSubpixel = 256.0;          // vertices snap to 1/256 pixel
constexpr double kHalfPixel = 128.0;         // pixel centre offset, in 1/256 pixel
constexpr double kMaxTriangleCoord = 32768.0 * 256.0;
constexpr uint32_t kOpaqueBlack = 0xFF000000u;
constexpr uint32_t kOne = 65536;             // blend factor 1.0 in 16-bit fixed point
constexpr int kNoBlendSlot = 6;              // slots 6..9 hold no state: blending off
constexpr int kBlock = RasterRender::kAlphaBlock;
constexpr int kTexelsALine = 64 / sizeof(uint32_t);  // texels in a cache line of 64 bytes

// x / 255 in 16-bit fixed point, for the per-pixel factors (source alpha, destination colour):
// round(x * 65536 / 255) is 257 x plus one from 128 on (65536 = 255 * 257 + 1).
inline uint32_t Unit(uint32_t x) { return 257 * x + (x >> 7); }

// The span loops are written without branches so that the compiler can run them several pixels
// at a time; where the toolchain can choose code by processor at load time they are built twice,
// for AVX2 and for the plain instruction set. Both compute the same integers.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__) && \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define KELVORINE_SPAN_CLONES __attribute__((target_clones("avx2", "default")))
#define KELVORINE_AVX2_SPANS 1
#else
#define KELVORINE_SPAN_CLONES
#define KELVORINE_AVX2_SPANS 0
#endif

// One pixel of blend slot Slot over destination d. Alpha-to-coverage with one sample: the pixel
// is covered only when the pixel stage's alpha is at least 0.5. Colour: src * SF + dest * DF per
// channel, rounded and saturated; alpha: src. An opaque texel in slot 0 comes out as it is
// (SF = 1, DF = 0).
template <int Slot>
inline uint32_t ShadePixel(uint32_t texel, uint32_t d, const uint32_t* f) {
    if constexpr (Slot == kNoBlendSlot) {
        return texel;
    } else {
        const uint32_t sa = texel >> 24;
        uint32_t out = sa << 24;
        for (int c = 0; c < 3; ++c) {
            const uint32_t sc = (texel >> (8 * c)) & 255;
            const uint32_t dc = (d >> (8 * c)) & 255;
            uint32_t sf, df;
            if constexpr (Slot == 0) {
                sf = Unit(sa);
                df = kOne - sf;
            } else if constexpr (Slot == 1) {
                sf = f[c];
                df = kOne - f[c];
            } else if constexpr (Slot == 2) {
                sf = f[c];
                df = 0;
            } else if constexpr (Slot == 3) {
                sf = Unit(sa);
                df = Unit(dc);
            } else if constexpr (Slot == 4) {
                sf = f[c];
                df = Unit(dc);
            } else {
                sf = kOne - f[c];
                df = Unit(dc);
            }
            uint32_t v = (sc * sf + dc * df + 32768u) >> 16;
            // Slots 0 to 2 weigh source and destination by at most one in all: no overflow.
            if constexpr (Slot >= 3) v = v > 255 ? 255 : v;
            out |= v << (8 * c);
        }
        return sa >= 128 ? out : d;
    }
}

// One pixel on its own (the triangle path): uncovered and opaque texels take the short way.
template <int Slot>
void Shade(uint32_t* dst, uint32_t texel, const uint32_t* f) {
    if constexpr (Slot != kNoBlendSlot) {
        const uint32_t sa = texel >> 24;
        if (sa < 128) return;
        if (Slot == 0 && sa == 255) {
            *dst = texel;
            return;
        }
    }
    *dst = ShadePixel<Slot>(texel, *dst, f);
}

inline uint32_t SwapRedBlue(uint32_t p) { return (p & 0xFF00FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu); }

// Texel index of coordinate t with wrap addressing.
inline int Wrap(double t) {
    const double x = t * kTexSide;
    if (!(x > -1e15 && x < 1e15)) return 0;  // NaN or absurd: any texel will do, never out of range
    int64_t i = static_cast<int64_t>(x);     // truncates toward zero; floor below
    if (static_cast<double>(i) > x) --i;
    return static_cast<int>(i & kTexMask);
}

// Wrap for x = t * 512 with |x| below 2^30: the same texel, in 32-bit integers.
constexpr double kSmallTexel = 1073741824.0;  // 2^30
inline int WrapSmall(double x) {
    const int32_t t = static_cast<int32_t>(x);                       // toward zero
    return (t - (static_cast<double>(t) > x ? 1 : 0)) & kTexMask;    // floor
}

// The texture coordinate v at the centre of pixel row j of a prepared rectangle (V1 is its top,
// V0 its bottom); what the row samples and what the summaries are asked about agree through it.
struct RowV {
    explicit RowV(const RasterRender::PreparedDraw& d)
        : top(d.p[1]), dv((d.p[0].v - d.p[1].v) / (d.p[0].y - d.p[1].y)) {}
    double operator()(int j) const { return top.v + ((j * kSubpixel + kHalfPixel) - top.y) * dv; }
    const RasterRender::Pixel2& top;
    double dv;
};

// The texel row pixel row j of a prepared rectangle samples, as the row loop reads it. Where the
// texel coordinates of rows [j0, j1) lie well within 32 bits the wrap is done in integers; both
// ways give the same row.
struct TexelRow {
    TexelRow(const RasterRender::PreparedDraw& d, int j0, int j1) : v(d) {
        const double first = v(j0) * kTexSide, last = v(j1 - 1) * kTexSide;
        small = first > -kSmallTexel && first < kSmallTexel && last > -kSmallTexel && last < kSmallTexel;
    }
    int operator()(int j) const { return small ? WrapSmall(v(j) * kTexSide) : Wrap(v(j)); }
    // At least one texel row a pixel row: no two pixel rows sample the same texel row (nearly:
    // rounding may leave a pair that does, which is then merely drawn twice).
    bool Steep() const { return !(std::fabs(v.dv) * kSubpixel * kTexSide < 1.0); }
    RowV v;
    bool small;
};

// First pixel whose centre is at or after edge e (1/256 pixel), clamped to [0, limit].
inline int FirstCentreAtOrAfter(double e, int limit) {
    const double i = std::ceil((e - kHalfPixel) / kSubpixel);
    if (!(i > 0)) return 0;
    return i > limit ? limit : static_cast<int>(i);
}

}  // namespace

// Spans of kept texel columns (see raster_spans.cpp). `row` is a texel row, `cols` the texel
// column of each of the n pixels; f the blend factor, 0..65536.
void CopySpan(uint32_t* __restrict dst, const uint32_t* __restrict row, const uint16_t* __restrict cols, int n);
void MaskSpan(uint32_t* __restrict dst, const uint32_t* __restrict row, const uint16_t* __restrict cols, int n);
void MaskRow(uint32_t* __restrict dst, const uint32_t* __restrict texels, int n);

using SpanFn = void (*)(uint32_t*, const uint32_t*, const uint16_t*, int, const uint32_t*);
using ConstSpanFn = void (*)(uint32_t*, uint32_t, int, const uint32_t*);
// By blend slot 0..5 and 6 (no blending).
extern const SpanFn kSpans[7];
extern const ConstSpanFn kConstSpans[7];

// The texel columns of pixels [first, end) of a row whose u is u0 at x0 (1/256 pixel) and grows
// by du; returns the blocks of 16 texels they fall in, one bit a block. Where every texel
// coordinate of the row lies well within 32 bits, Wrap is done in 32-bit integers without a
// branch, so that the loop runs several columns at a time.
uint32_t TexelColumns(double u0, double x0, double du, int first, int end, uint16_t* __restrict cols);

}  // namespace raster_impl
