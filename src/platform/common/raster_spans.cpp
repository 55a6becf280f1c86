// The span loops of the software rasteriser: whole runs of pixels of one sprite row.
#include <algorithm>

#include "platform/common/raster_pixel.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace raster_impl {

#if KELVORINE_AVX2_SPANS
// Copying spans of a magnified sprite, 8 pixels at a time. Their columns rise by 0 or 1 texel a
// pixel, so 8 pixels sample at most 8 neighbouring texels: one load of those and one permutation
// give the 8 pixels, where a gather would fetch each texel on its own. Groups that sample
// otherwise (a mirrored sprite, a wrap, the last texels of a row) are gathered.
bool HasAvx2() {
    __builtin_cpu_init();  // may run before the run-time library's own start-up code
    return __builtin_cpu_supports("avx2");
}
const bool gHasAvx2 = HasAvx2();

template <bool Masked>
__attribute__((target("avx2"))) void SampledSpanAvx2(uint32_t* dst, const uint32_t* row, const uint16_t* cols, int n) {
    const __m256i seven = _mm256_set1_epi32(7);
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        const __m256i c = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(cols + k)));
        const int base = cols[k];
        const __m256i idx = _mm256_sub_epi32(c, _mm256_set1_epi32(base));
        const bool near = base <= kTexSide - 8 &&
                          _mm256_movemask_epi8(_mm256_cmpeq_epi32(_mm256_min_epu32(idx, seven), idx)) == -1;
        const __m256i t =
            near ? _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + base)), idx)
                 : _mm256_i32gather_epi32(reinterpret_cast<const int*>(row), c, 4);
        __m256i* out = reinterpret_cast<__m256i*>(dst + k);
        if constexpr (Masked) {
            // Alpha at least 128 is the sign bit: those texels replace the pixel.
            _mm256_storeu_si256(out, _mm256_blendv_epi8(_mm256_loadu_si256(out), t, _mm256_srai_epi32(t, 31)));
        } else {
            _mm256_storeu_si256(out, t);
        }
    }
    for (; k < n; ++k) {
        const uint32_t t = row[cols[k]];
        if (!Masked || (t >> 24) >= 128) dst[k] = t;
    }
}
#endif

// A span whose texels all replace the destination as they are (opaque in slot 0, any in slot 6).
void CopySpan(uint32_t* __restrict dst, const uint32_t* __restrict row, const uint16_t* __restrict cols, int n) {
#if KELVORINE_AVX2_SPANS
    if (gHasAvx2) return SampledSpanAvx2<false>(dst, row, cols, n);
#endif
    for (int k = 0; k < n; ++k) dst[k] = row[cols[k]];
}

// A span of texels whose alpha is 0 or 255 in blend slot 0: each covered texel replaces the pixel
// as it is, the others are not drawn.
void MaskSpan(uint32_t* __restrict dst, const uint32_t* __restrict row, const uint16_t* __restrict cols, int n) {
#if KELVORINE_AVX2_SPANS
    if (gHasAvx2) return SampledSpanAvx2<true>(dst, row, cols, n);
#endif
    for (int k = 0; k < n; ++k) {
        const uint32_t t = row[cols[k]];
        dst[k] = (t >> 24) >= 128 ? t : dst[k];
    }
}

// A span of texels side by side, each either replacing the pixel or not drawn.
KELVORINE_SPAN_CLONES void MaskRow(uint32_t* __restrict dst, const uint32_t* __restrict texels, int n) {
    for (int k = 0; k < n; ++k) dst[k] = (texels[k] >> 24) >= 128 ? texels[k] : dst[k];
}


template <int Slot>
KELVORINE_SPAN_CLONES void ShadeSpan(uint32_t* __restrict dst, const uint32_t* __restrict row,
                                     const uint16_t* __restrict cols, int n, const uint32_t* __restrict f) {
    for (int k = 0; k < n; ++k) dst[k] = ShadePixel<Slot>(row[cols[k]], dst[k], f);
}

// A span that samples one texel all along (a flat fill stretched over the span).
template <int Slot>
KELVORINE_SPAN_CLONES void ConstSpan(uint32_t* __restrict dst, uint32_t texel, int n, const uint32_t* __restrict f) {
    for (int k = 0; k < n; ++k) dst[k] = ShadePixel<Slot>(texel, dst[k], f);
}

#if KELVORINE_AVX2_SPANS
// The translucent fill of blend slot 1 (src * F + dest * (1 - F)) in 16-bit lanes, 8 pixels at a
// time. With G = 1 - F in 16 bits and K = src * F + 0.5 per channel, the colour is
// (K + dest * G) >> 16 = K_hi + hi(dest * G) + carry(K_lo + lo(dest * G)): the same integers as
// ShadePixel. The alpha lane gets G = 0 and K = src alpha << 16. F = 0 on a channel (G = 1 does
// not fit in 16 bits) is left to the general loop.
__attribute__((target("avx2"))) inline __m256i FillLanes(__m256i d, __m256i g, __m256i kLow, __m256i kHigh) {
    const __m256i lo = _mm256_mullo_epi16(d, g);
    const __m256i sum = _mm256_add_epi16(lo, kLow);
    // -1 where the low halves did not carry (sum >= lo, unsigned), 0 where they did.
    const __m256i noCarry = _mm256_cmpeq_epi16(_mm256_min_epu16(sum, lo), lo);
    return _mm256_add_epi16(_mm256_add_epi16(kHigh, _mm256_mulhi_epu16(d, g)), noCarry);
}

__attribute__((target("avx2"))) bool FillSpanAvx2(uint32_t* dst, uint32_t texel, int n, const uint32_t* f) {
    const uint32_t sa = texel >> 24;
    if (sa < 128) return true;  // not covered: nothing is written
    alignas(32) uint16_t g[16], kLow[16], kHigh[16];
    for (int c = 0; c < 4; ++c) {
        if (c < 3 && f[c] == 0) return false;
        const uint32_t k = c < 3 ? ((texel >> (8 * c)) & 255) * f[c] + 32768u : sa << 16;
        for (int lane = c; lane < 16; lane += 4) {
            g[lane] = static_cast<uint16_t>(c < 3 ? kOne - f[c] : 0);
            kLow[lane] = static_cast<uint16_t>(k);
            kHigh[lane] = static_cast<uint16_t>((k >> 16) + 1);  // + 1: the carry test below yields -1 or 0
        }
    }
    const __m256i vg = _mm256_load_si256(reinterpret_cast<const __m256i*>(g));
    const __m256i vkl = _mm256_load_si256(reinterpret_cast<const __m256i*>(kLow));
    const __m256i vkh = _mm256_load_si256(reinterpret_cast<const __m256i*>(kHigh));
    const __m256i zero = _mm256_setzero_si256();
    int k = 0;
    for (; k + 8 <= n; k += 8) {
        __m256i* p = reinterpret_cast<__m256i*>(dst + k);
        const __m256i d = _mm256_loadu_si256(p);
        const __m256i low = FillLanes(_mm256_unpacklo_epi8(d, zero), vg, vkl, vkh);
        const __m256i high = FillLanes(_mm256_unpackhi_epi8(d, zero), vg, vkl, vkh);
        _mm256_storeu_si256(p, _mm256_packus_epi16(low, high));
    }
    for (; k < n; ++k) dst[k] = ShadePixel<1>(texel, dst[k], f);
    return true;
}
#endif

void FillSpan(uint32_t* __restrict dst, uint32_t texel, int n, const uint32_t* __restrict f) {
#if KELVORINE_AVX2_SPANS
    if (gHasAvx2 && FillSpanAvx2(dst, texel, n, f)) return;
#endif
    ConstSpan<1>(dst, texel, n, f);
}

const SpanFn kSpans[7] = {ShadeSpan<0>, ShadeSpan<1>, ShadeSpan<2>, ShadeSpan<3>,
                               ShadeSpan<4>, ShadeSpan<5>, ShadeSpan<6>};
const ConstSpanFn kConstSpans[7] = {ConstSpan<0>, FillSpan, ConstSpan<2>, ConstSpan<3>,
                                        ConstSpan<4>, ConstSpan<5>, ConstSpan<6>};

// The texel columns of pixels [first, end) of a row whose u is u0 at x0 (1/256 pixel) and grows
// by du; returns the blocks of 16 texels they fall in, one bit a block. Where every texel
// coordinate of the row lies well within 32 bits, Wrap is done in 32-bit integers without a
// branch, so that the loop runs several columns at a time.
KELVORINE_SPAN_CLONES
uint32_t TexelColumns(double u0, double x0, double du, int first, int end, uint16_t* __restrict cols) {
    auto texel = [&](int i) { return (u0 + ((i * kSubpixel + kHalfPixel) - x0) * du) * kTexSide; };
    const double a = texel(first), b = texel(end - 1);
    uint32_t blocks = 0;
    if (a > -kSmallTexel && a < kSmallTexel && b > -kSmallTexel && b < kSmallTexel) {
        for (int i = first; i < end; ++i) {
            const int col = WrapSmall(texel(i));
            cols[i - first] = static_cast<uint16_t>(col);
            blocks |= 1u << (col / kBlock);
        }
        return blocks;
    }
    for (int i = first; i < end; ++i) {
        const int col = Wrap(u0 + ((i * kSubpixel + kHalfPixel) - x0) * du);
        cols[i - first] = static_cast<uint16_t>(col);
        blocks |= 1u << (col / kBlock);
    }
    return blocks;
}

}  // namespace raster_impl
