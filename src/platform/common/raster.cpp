#include "platform/common/raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

inline uint32_t SwapRedBlue(uint32_t p) { return (p & 0xFF00FF00u) | ((p & 0xFFu) << 16) | ((p >> 16) & 0xFFu); }

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

// Spans of an untextured sprite: the pixel stage yields opaque black everywhere, so every blend
// slot reduces to a function of the destination alone (the fade overlay and the border bars).
void BlackSpan(int slot, uint32_t* dst, int n, const uint32_t* f) {
    switch (slot) {
        case 1: {
            // src * F + dest * (1 - F), src black: the destination scaled per channel.
            if (f[0] == 0 && f[1] == 0 && f[2] == 0) {
                for (int k = 0; k < n; ++k) dst[k] |= kOpaqueBlack;
                return;
            }
            const uint32_t mr = kOne - f[0], mg = kOne - f[1], mb = kOne - f[2];
            for (int k = 0; k < n; ++k) {
                const uint32_t d = dst[k];
                const uint32_t r = ((d & 255) * mr + 32768u) >> 16;
                const uint32_t g = (((d >> 8) & 255) * mg + 32768u) >> 16;
                const uint32_t b = (((d >> 16) & 255) * mb + 32768u) >> 16;
                dst[k] = r | g << 8 | b << 16 | kOpaqueBlack;
            }
            return;
        }
        case 3:
        case 4:
        case 5:
            // Source terms vanish; dest * dest colour remains.
            for (int k = 0; k < n; ++k) {
                const uint32_t d = dst[k];
                uint32_t out = kOpaqueBlack;
                for (int c = 0; c < 3; ++c) {
                    const uint32_t dc = (d >> (8 * c)) & 255;
                    out |= ((dc * Unit(dc) + 32768u) >> 16) << (8 * c);
                }
                dst[k] = out;
            }
            return;
        default:  // slots 0, 2 and no blending: black
            std::fill(dst, dst + n, kOpaqueBlack);
            return;
    }
}

using SpanFn = void (*)(uint32_t*, const uint32_t*, const uint16_t*, int, const uint32_t*);

constexpr SpanFn kSpans[7] = {ShadeSpan<0>, ShadeSpan<1>, ShadeSpan<2>, ShadeSpan<3>,
                               ShadeSpan<4>, ShadeSpan<5>, ShadeSpan<6>};
using ConstSpanFn = void (*)(uint32_t*, uint32_t, int, const uint32_t*);
constexpr ConstSpanFn kConstSpans[7] = {ConstSpan<0>, FillSpan, ConstSpan<2>, ConstSpan<3>,
                                        ConstSpan<4>, ConstSpan<5>, ConstSpan<6>};

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

RasterRender::RasterRender(bool keepImage) {
    columnStore_[0].reset(new uint16_t[kColumnStore]);
    if (keepImage) image_.reset(new uint32_t[static_cast<size_t>(kWidth) * kHeight]());
    target_ = image_.get();
}

void RasterRender::SetTarget(uint32_t* rows, int firstRow) {
    target_ = rows != nullptr ? rows : image_.get();
    targetFirst_ = rows != nullptr ? firstRow : 0;
}

RasterRender::~RasterRender() = default;

int32_t RasterRender::Create() {
    const int32_t r = RecordRender::Create();
    ++textureGeneration_;
    // The device starts with blend slot 0 and factor 0, nothing bound.
    slot_ = 0;
    std::memset(factor_, 0, sizeof factor_);
    bound_ = -1;
    return r;
}

void RasterRender::Clear() {
    RecordRender::Clear();
    if (banded_) {
        AddClearStep();
    } else {
        ClearRows(0, kHeight);
    }
}

void RasterRender::SetBanded(bool banded) {
    banded_ = banded;
    BeginSteps();
}

void RasterRender::BeginSteps() {
    if (!steps_) {
        // Made once; pages are only touched as far as frames use them.
        steps_.reset(new Step[kMaxSteps]);
        stepRows_.reset(new uint32_t[kMaxSteps]);
        memo_.reset(new DrawMemo[kMaxSteps]);
        columnStore_[1].reset(new uint16_t[kColumnStore]);
        bandSteps_.reset(new uint32_t[kMaxBandSteps]);
        memoNext_ = 0;
    }
    planned_ = false;
    ++frameNumber_;
    stepCount_ = 0;
    lastClear_ = -1;
    // The draws made in the frame that ends are what the next one compares with; its columns
    // stay where they are while this frame's go into the other store.
    memoCount_ = memoNext_;
    memoNext_ = 0;
    columnSide_ ^= 1;
    columnsUsed_ = 0;
}

void RasterRender::AddClearStep() {
    if (!steps_ || stepCount_ == kMaxSteps) return;
    planned_ = false;
    steps_[stepCount_].clear = true;
    lastClear_ = static_cast<int32_t>(stepCount_);
    stepRows_[stepCount_++] = static_cast<uint32_t>(kHeight) << 16;
}

void RasterRender::AddDrawStep(uint32_t firstIndex) {
    if (!steps_ || stepCount_ == kMaxSteps) return;
    planned_ = false;
    Step& s = steps_[stepCount_];
    s.clear = false;
    s.reused = false;
    s.place = memoNext_;
    const bool inUpload = lastUpload != nullptr && firstIndex <= lastUploadCount && lastUploadCount - firstIndex >= 4;
    if (memoNext_ == kMaxSteps || !inUpload || (keepsColour_ && alphaUnused_)) {
        // Nothing to compare by (or a draw skipped at once): made as it is.
        if (memoNext_ < kMaxSteps) memo_[memoNext_++].slot = -1;
        if (!PrepareDraw(firstIndex, true, &s.draw)) return;
    } else {
        DrawMemo& m = memo_[memoNext_++];
        const Vertex* v = lastUpload + firstIndex;
        const bool textured = TextureOf(bound_) != nullptr;
        const bool same = memoNext_ <= memoCount_ && m.generation == textureGeneration_ && m.slot == slot_ &&
                          m.texture == bound_ && m.textured == textured &&
                          std::memcmp(m.factor, factor_, sizeof m.factor) == 0 &&
                          std::memcmp(m.v, v, sizeof m.v) == 0;
        if (same && (!m.drawn || m.draw.columns < 0 || kColumnStore - columnsUsed_ >= m.draw.colEnd - m.draw.colFirst)) {
            // Made from the same as the last frame's: the same draw, its columns moved over.
            ++drawsReused;
            if (!m.drawn) return;
            s.reused = true;
            if (m.draw.columns >= 0) {
                const int n = m.draw.colEnd - m.draw.colFirst;
                std::memcpy(ColumnStore() + columnsUsed_, columnStore_[columnSide_ ^ 1].get() + m.draw.columns,
                            sizeof(uint16_t) * n);
                m.draw.columns = columnsUsed_;
                columnsUsed_ += n;
            }
            s.draw = m.draw;
        } else {
            std::memcpy(m.v, v, sizeof m.v);
            std::memcpy(m.factor, factor_, sizeof m.factor);
            m.generation = textureGeneration_;
            m.texture = bound_;
            m.slot = slot_;
            m.textured = textured;
            m.drawn = PrepareDraw(firstIndex, true, &m.draw);
            if (!m.drawn) return;
            s.draw = m.draw;
        }
    }
    stepRows_[stepCount_++] = static_cast<uint32_t>(s.draw.rowFirst) | static_cast<uint32_t>(s.draw.rowEnd) << 16;
}

void RasterRender::DrawSteps(int first, int end) {
    first = std::max(first, 0);
    end = std::min(end, kHeight);
    if (first >= end) return;
    // What was drawn before the last clear is wiped out by it. From a clear on, every row starts
    // alike, and a row stays a copy of the row above it until a step treats the two differently.
    const bool fromClear = lastClear_ >= 0;
    const uint32_t from = fromClear ? static_cast<uint32_t>(lastClear_) : 0;
    if (!planned_) PlanSteps();
    const StepList steps = StepsFor(from, first, end);
    const uint32_t* rowStart = nullptr;
    int copies = 0;  // rows taken from above, in the order they are made
    if (fromClear) {
        MarkRowStarts(steps, first, end);
        rowStart = rowStart_;
        // By the step each row is drawn from, rows with the same step from the top down (an
        // insertion: a band is a few dozen rows, and nothing is allocated).
        for (int j = first + 1; j < end; ++j) {
            int at = copies++;
            for (; at > 0 && rowStart_[rowOrder_[at - 1]] > rowStart_[j]; --at) rowOrder_[at] = rowOrder_[at - 1];
            rowOrder_[at] = static_cast<int16_t>(j);
        }
    }
    int next = 0;
    bool drawn = false;  // a draw since the clear: until then every row holds the clear
    // Row j takes the nearest row above it that is drawn from the same step or an earlier one:
    // the rows in between are all still copies, so up to this step they hold what it holds.
    auto copyUpTo = [&](uint32_t step) {
        for (; next < copies && rowStart_[rowOrder_[next]] <= step; ++next) {
            const int j = rowOrder_[next];
            if (!drawn) continue;
            int above = j - 1;
            while (rowStart_[above] > rowStart_[j]) --above;
            std::memcpy(Row(j), Row(above), sizeof(uint32_t) * kWidth);
            ++rowsCopied;
        }
    };
    for (uint32_t i = 0; i < steps.count; ++i) {
        const uint32_t k = steps[i];
        const uint32_t rows = RowsOf(k);
        if (static_cast<int>(rows & 0xFFFF) >= end || static_cast<int>(rows >> 16) <= first) continue;
        copyUpTo(k);
        if (steps_[k].clear) {
            ClearRows(first, end);
        } else if (k == layerFirst_ && layerEnd_ != 0) {
            DrawLayer(first, end, k, rowStart);
            drawn = true;
        } else {
            DrawPrepared(steps_[k].draw, first, end, k, rowStart);
            drawn = true;
        }
    }
    copyUpTo(kNoStep);
}

// The steps from `from` on that may reach rows [first, end), in order: when the rows lie in one
// band of kBandRows, that band's list, made once a frame (the window draws every band of a
// frame, and a band need not look at the steps of the others); otherwise every step.
RasterRender::StepList RasterRender::StepsFor(uint32_t from, int first, int end) {
    const StepList all{nullptr, from, stepCount_ > from ? stepCount_ - from : 0};
    if (first / kBandRows != (end - 1) / kBandRows || !bandsFit_) return all;
    const int b = first / kBandRows;
    return StepList{bandSteps_.get() + bandFirst_[b], 0, bandFirst_[b + 1] - bandFirst_[b]};
}

void RasterRender::PlanSteps() {
    planned_ = true;
    PlanLayer();
    SortStepsIntoBands();
}

void RasterRender::PlanLayer() {
    layerFirst_ = layerEnd_ = 0;
    // The longest run of steps that replace what they draw and were taken from the last frame.
    auto joins = [&](uint32_t k) { return !steps_[k].clear && steps_[k].reused && steps_[k].draw.replaces; };
    uint32_t best = 0, bestCount = 0;
    for (uint32_t k = lastClear_ >= 0 ? static_cast<uint32_t>(lastClear_) : 0; k < stepCount_;) {
        uint32_t e = k;
        while (e < stepCount_ && joins(e)) ++e;
        if (e - k > bestCount) {
            best = k;
            bestCount = e - k;
        }
        k = e + 1;
    }
    if (bestCount < kLayerSteps) {
        layerFrame_ = 0;
        return;
    }
    // Each step of the run is the last frame's at its place: if the last frame had a run of the
    // same places, this is that run, and what was found for it holds (the layer, or that it did
    // not fit, which is then not tried again).
    const uint32_t placeFirst = steps_[best].place, placeLast = steps_[best + bestCount - 1].place;
    const bool same = layerFrame_ != 0 && layerFrame_ + 1 >= frameNumber_ && placeFirst == layerPlaceFirst_ &&
                      placeLast == layerPlaceLast_ && bestCount == layerCount_;
    if (!same) {
        layerFits_ = MakeLayer(best, best + bestCount);
        layerPlaceFirst_ = placeFirst;
        layerPlaceLast_ = placeLast;
        layerCount_ = bestCount;
    }
    if (layerFits_ && layerFrame_ != frameNumber_) ++layerFrames;
    layerFrame_ = frameNumber_;
    if (!layerFits_) return;
    layerFirst_ = best;
    layerEnd_ = best + bestCount;
}

// Draws steps [first, end) in order into the layer, kBandRows rows at a time, from rows that hold
// nothing (0: alpha 0, not covered). False when its spans would hold more than kLayerPixels.
bool RasterRender::MakeLayer(uint32_t first, uint32_t end) {
    if (!layerPixels_) {
        layerPixels_.reset(new (std::nothrow) uint32_t[kLayerPixels]);
        layerScratch_.reset(new (std::nothrow) uint32_t[static_cast<size_t>(kBandRows) * kWidth]);
        if (!layerPixels_ || !layerScratch_) {
            layerPixels_.reset();
            return false;
        }
    }
    int top = kHeight, bottom = 0, left = kWidth, right = 0;
    for (uint32_t k = first; k < end; ++k) {
        const PreparedDraw& d = steps_[k].draw;
        top = std::min(top, d.rowFirst);
        bottom = std::max(bottom, d.rowEnd);
        left = std::min(left, d.colFirst);
        right = std::max(right, d.colEnd);
    }
    uint32_t* const savedTarget = target_;
    const int savedFirst = targetFirst_;
    uint32_t used = 0;
    for (int b = top; b < bottom; b += kBandRows) {
        const int be = std::min(b + kBandRows, bottom);
        SetTarget(layerScratch_.get(), b);
        std::memset(layerScratch_.get(), 0, sizeof(uint32_t) * kWidth * (be - b));
        for (uint32_t k = first; k < end; ++k) DrawPrepared(steps_[k].draw, b, be, k, nullptr);
        for (int j = b; j < be; ++j) {
            const uint32_t* row = Row(j);
            int x0 = left, x1 = right;
            while (x0 < x1 && (row[x0] >> 24) < 128) ++x0;
            while (x1 > x0 && (row[x1 - 1] >> 24) < 128) --x1;
            if (used + static_cast<uint32_t>(x1 - x0) > kLayerPixels) {
                target_ = savedTarget;
                targetFirst_ = savedFirst;
                return false;
            }
            layerSpan_[j][0] = static_cast<int16_t>(x0);
            layerSpan_[j][1] = static_cast<int16_t>(x1);
            layerOffset_[j] = used;
            std::memcpy(layerPixels_.get() + used, row + x0, sizeof(uint32_t) * (x1 - x0));
            used += static_cast<uint32_t>(x1 - x0);
        }
    }
    target_ = savedTarget;
    targetFirst_ = savedFirst;
    layerRows_ = static_cast<uint32_t>(top) | static_cast<uint32_t>(bottom) << 16;
    ++layersMade;
    return true;
}

// The layer's rows within [first, end), those not left as copies of the row above: each covered
// pixel replaces the one there.
void RasterRender::DrawLayer(int first, int end, uint32_t step, const uint32_t* rowStart) {
    const int top = std::max(static_cast<int>(layerRows_ & 0xFFFF), first);
    const int bottom = std::min(static_cast<int>(layerRows_ >> 16), end);
    for (int j = top; j < bottom; ++j) {
        if ((rowStart != nullptr && rowStart[j] > step) || !LayerRowCovered(j)) continue;
        const int x0 = layerSpan_[j][0];
        MaskRow(Row(j) + x0, layerPixels_.get() + layerOffset_[j], layerSpan_[j][1] - x0);
    }
}

void RasterRender::SortStepsIntoBands() {
    bandsFit_ = false;
    const uint32_t from = lastClear_ >= 0 ? static_cast<uint32_t>(lastClear_) : 0;
    // Counted by band, then placed: a step that crosses several bands is in each of their lists.
    uint32_t count[kBands] = {};
    uint32_t total = 0;
    for (uint32_t k = from; k < stepCount_; ++k) {
        const uint32_t rows = RowsOf(k);
        const int r0 = static_cast<int>(rows & 0xFFFF), r1 = static_cast<int>(rows >> 16);
        if (r0 >= r1) continue;
        for (int b = r0 / kBandRows; b <= (r1 - 1) / kBandRows; ++b) ++count[b];
        total += static_cast<uint32_t>((r1 - 1) / kBandRows - r0 / kBandRows + 1);
    }
    if (total > kMaxBandSteps) return;
    bandFirst_[0] = 0;
    for (int b = 0; b < kBands; ++b) bandFirst_[b + 1] = bandFirst_[b] + count[b];
    uint32_t next[kBands];
    std::memcpy(next, bandFirst_, sizeof next);
    for (uint32_t k = from; k < stepCount_; ++k) {
        const uint32_t rows = RowsOf(k);
        const int r0 = static_cast<int>(rows & 0xFFFF), r1 = static_cast<int>(rows >> 16);
        if (r0 >= r1) continue;
        for (int b = r0 / kBandRows; b <= (r1 - 1) / kBandRows; ++b) bandSteps_[next[b]++] = k;
    }
    bandsFit_ = true;
}

// Notes, for each row of [first, end), the first step after the first of `steps` that draws it
// otherwise than the row above (kNoStep: none does): a step reaching only one of the two, or a
// rectangle sampling another texel row for it, or any triangle. The first row is drawn from the
// first step.
void RasterRender::MarkRowStarts(const StepList& steps, int first, int end) {
    std::fill(rowStart_ + first, rowStart_ + end, kNoStep);
    rowStart_[first] = steps.count > 0 ? steps[0] : kNoStep;
    auto mark = [&](int j, uint32_t k) { rowStart_[j] = std::min(rowStart_[j], k); };
    for (uint32_t i = 1; i < steps.count; ++i) {
        const uint32_t k = steps[i];
        const uint32_t rows = RowsOf(k);
        const int r0 = std::max(static_cast<int>(rows & 0xFFFF), first);
        const int r1 = std::min(static_cast<int>(rows >> 16), end);
        if (r0 >= r1) continue;
        if (k == layerFirst_ && layerEnd_ != 0) {
            // A row of the layer differs from the row above where either holds covered pixels.
            const int top = static_cast<int>(rows & 0xFFFF), bottom = static_cast<int>(rows >> 16);
            for (int j = r0; j < std::min(bottom + 1, end); ++j) {
                if ((j < bottom && LayerRowCovered(j)) || (j > top && LayerRowCovered(j - 1))) mark(j, k);
            }
            continue;
        }
        // The rows where it starts and where it stops differ from the row above.
        mark(r0, k);
        if (r1 < end) mark(r1, k);
        const PreparedDraw& d = steps_[k].draw;
        if (d.rect && TextureOf(d.texture) == nullptr) continue;  // every row alike
        if (d.rect) {
            const TexelRow texelRow(d, r0, r1);
            if (!texelRow.Steep()) {
                int above = texelRow(r0);
                for (int j = r0 + 1; j < r1; ++j) {
                    const int row = texelRow(j);
                    if (row != above) mark(j, k);
                    above = row;
                }
                continue;
            }
        }
        // A triangle, or a rectangle with a texel row a pixel row or more: every row its own.
        for (int j = r0 + 1; j < r1; ++j) mark(j, k);
    }
}

void RasterRender::DrawStepsInBands() {
    for (int first = 0; first < kHeight; first += kBandRows) DrawSteps(first, std::min(first + kBandRows, kHeight));
}

int32_t RasterRender::Present(int syncInterval) {
    const int32_t result = RecordRender::Present(syncInterval);
    if (banded_ && image_) {
        SetTarget(nullptr, 0);
        DrawStepsInBands();
    }
    if (banded_) BeginSteps();
    return result;
}

void RasterRender::ClearRows(int first, int end) {
    first = std::max(first, 0);
    end = std::min(end, kHeight);
    if (first >= end) return;
    std::memset(Row(first), 0, sizeof(uint32_t) * kWidth * (end - first));
}

void RasterRender::SetBlend(int slot, const float factor[4]) {
    RecordRender::SetBlend(slot, factor);
    slot_ = slot >= 0 && slot < kNoBlendSlot ? slot : kNoBlendSlot;
    for (int i = 0; i < 4; ++i) {
        float f = factor[i];
        if (!(f > 0.0f)) f = 0.0f;
        if (f > 1.0f) f = 1.0f;
        factor_[i] = static_cast<uint32_t>(std::lround(static_cast<double>(f) * kOne));
    }
    if (bgr_) std::swap(factor_[0], factor_[2]);
    // src * F + dest * (1 - F) with F exactly zero is dest on every colour channel, whatever the
    // texel; only the alpha channel (src alpha) would change.
    keepsColour_ = slot_ == 1 && factor[0] == 0.0f && factor[1] == 0.0f && factor[2] == 0.0f;
}

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

const uint32_t* RasterRender::TextureOf(int32_t id) const {
    return id >= 0 && id < kTextureSlots && textures[id].present ? rgba_[id].get() : nullptr;
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

void RasterRender::Draw4(uint32_t firstIndex) {
    RecordRender::Draw4(firstIndex);
    if (banded_) {
        AddDrawStep(firstIndex);
        return;
    }
    PreparedDraw d;
    if (PrepareDraw(firstIndex, false, &d)) DrawPrepared(d, 0, kHeight, 0, nullptr);
}

bool RasterRender::PrepareDraw(uint32_t firstIndex, bool keepColumns, PreparedDraw* out) {
    if (lastUpload == nullptr || firstIndex > lastUploadCount || lastUploadCount - firstIndex < 4) return false;
    if (keepsColour_ && alphaUnused_) {
        ++spritesSkipped;
        return false;
    }
    const Vertex* v = lastUpload + firstIndex;
    PreparedDraw& d = *out;
    Pixel2* p = d.p;
    for (int i = 0; i < 4; ++i) {
        const double x = (static_cast<double>(v[i].x) + 1.0) * (kWidth / 2.0);
        const double y = (1.0 - static_cast<double>(v[i].y)) * (kHeight / 2.0);
        if (!std::isfinite(x) || !std::isfinite(y)) return false;
        p[i] = {std::nearbyint(x * kSubpixel), std::nearbyint(y * kSubpixel), v[i].u, v[i].v};
    }
    std::memcpy(d.factor, factor_, sizeof d.factor);
    d.texture = bound_;
    d.slot = slot_;
    d.columns = -1;
    d.unitColumns = false;
    d.replaces = false;
    d.blocks = 0;
    // Every unrotated sprite: V0 left bottom, V1 left top, V2 right bottom, V3 right top, with
    // u following x and v following y.
    d.rect = p[0].x == p[1].x && p[2].x == p[3].x && p[0].y == p[2].y && p[1].y == p[3].y && p[0].u == p[1].u &&
             p[2].u == p[3].u && p[0].v == p[2].v && p[1].v == p[3].v;
    if (!d.rect) {
        // Rows of the box around both triangles; each triangle keeps to its own box within it.
        double minY = p[0].y, maxY = p[0].y;
        for (int i = 1; i < 4; ++i) {
            minY = std::min(minY, p[i].y);
            maxY = std::max(maxY, p[i].y);
        }
        d.rowFirst = FirstCentreAtOrAfter(minY, kHeight);
        d.rowEnd = FirstCentreAtOrAfter(maxY + 1, kHeight);
        return d.rowFirst < d.rowEnd;
    }
    // The rectangle covers the pixels whose centres lie in [min x, max x) x [min y, max y): the
    // same set the two triangles cover under the top-left rule.
    const Pixel2& left = p[0];
    const Pixel2& right = p[2];
    d.colFirst = FirstCentreAtOrAfter(std::min(left.x, right.x), kWidth);
    d.colEnd = FirstCentreAtOrAfter(std::max(left.x, right.x), kWidth);
    d.rowFirst = FirstCentreAtOrAfter(std::min(p[0].y, p[1].y), kHeight);
    d.rowEnd = FirstCentreAtOrAfter(std::max(p[0].y, p[1].y), kHeight);
    if (d.colFirst >= d.colEnd || d.rowFirst >= d.rowEnd) return false;
    const int n = d.colEnd - d.colFirst;
    if (keepColumns && TextureOf(d.texture) != nullptr && kColumnStore - columnsUsed_ >= n) {
        d.columns = columnsUsed_;
        columnsUsed_ += n;
        uint16_t* cols = ColumnStore() + d.columns;
        d.blocks = FillColumns(d, cols);
        if (d.slot != kNoBlendSlot && !TrimToCoveredRows(d)) {
            // Every texel it samples is transparent: not a pixel would change (a space glyph).
            columnsUsed_ -= n;
            return false;
        }
        // Drawn at the texture's own size (the glyphs): a row's texels lie side by side.
        d.unitColumns = cols[n - 1] - cols[0] == n - 1;
        for (int k = 1; k < n && d.unitColumns; ++k) d.unitColumns = cols[k] == cols[k - 1] + 1;
        // Blend slot 0 with every texel it samples of alpha 0 or 255: a covered texel comes out
        // as it is, the others leave the pixel.
        if (d.slot == 0) {
            const RowAlpha* alpha = alpha_[d.texture].get();
            const TexelRow texelRow(d, d.rowFirst, d.rowEnd);
            d.replaces = true;
            for (int j = d.rowFirst; j < d.rowEnd && d.replaces; ++j) {
                d.replaces = (alpha[texelRow(j)].binary & d.blocks) == d.blocks;
            }
        }
    }
    return true;
}

// Narrows a prepared rectangle to the pixel rows from the first to the last that sample a covered
// texel (alpha >= 128) in its columns; false when no row does. Rows outside write nothing (a
// glyph's empty lines above and below it). Answered from the row summaries when the texel rows
// run without wrapping, where the texel row of a pixel row moves one way only; otherwise every
// row is kept.
bool RasterRender::TrimToCoveredRows(PreparedDraw& d) const {
    const RowV v(d);
    const double first = v(d.rowFirst) * kTexSide, last = v(d.rowEnd - 1) * kTexSide;
    if (!(first >= 0 && first < kTexSide && last >= 0 && last < kTexSide)) return true;
    const int from = static_cast<int>(std::min(first, last)), to = static_cast<int>(std::max(first, last));
    const RowAlpha* alpha = alpha_[d.texture].get();
    int lo = from;
    while (lo <= to && (alpha[lo].covered & d.blocks) == 0) ++lo;
    if (lo > to) return false;
    int hi = to;
    while ((alpha[hi].covered & d.blocks) == 0) --hi;
    // The texel row of pixel row j, as the row loop computes it (v is in [0, 1) here).
    auto texRow = [&](int j) { return static_cast<int>(v(j) * kTexSide); };
    const bool down = first <= last;  // texel rows grow with pixel rows
    // Pixel rows before texel row lo (or after hi when they run upwards) form a prefix; the rows
    // past the other end a suffix. Both found by halving.
    auto before = [&](int j) { return down ? texRow(j) < lo : texRow(j) > hi; };
    auto after = [&](int j) { return down ? texRow(j) > hi : texRow(j) < lo; };
    int a = d.rowFirst, b = d.rowEnd;  // first row not before: in [a, b]
    while (a < b) {
        const int m = a + (b - a) / 2;
        if (before(m)) a = m + 1; else b = m;
    }
    int c = a, e = d.rowEnd;  // first row after: in [c, e]
    while (c < e) {
        const int m = c + (e - c) / 2;
        if (after(m)) e = m; else c = m + 1;
    }
    d.rowFirst = a;
    d.rowEnd = c;
    return a < c;
}

// The texel column of each pixel of a prepared rectangle; returns the blocks of 16 texels they
// fall in, one bit a block.
uint32_t RasterRender::FillColumns(const PreparedDraw& d, uint16_t* cols) const {
    const Pixel2& left = d.p[0];
    const Pixel2& right = d.p[2];
    return TexelColumns(left.u, left.x, (right.u - left.u) / (right.x - left.x), d.colFirst, d.colEnd, cols);
}

void RasterRender::DrawPrepared(const PreparedDraw& d, int rowFirst, int rowEnd, uint32_t step,
                                const uint32_t* rowStart) {
    rowFirst = std::max(rowFirst, d.rowFirst);
    rowEnd = std::min(rowEnd, d.rowEnd);
    if (rowFirst >= rowEnd) return;
    if (d.rect) {
        DrawRect(d, rowFirst, rowEnd, step, rowStart);
        return;
    }
    // Every row a triangle reaches is drawn from it or an earlier step (see MarkRowStarts).
    DrawTriangle(d, d.p[0], d.p[1], d.p[2], rowFirst, rowEnd);
    DrawTriangle(d, d.p[1], d.p[3], d.p[2], rowFirst, rowEnd);
}

// A quad whose edges follow the pixel grid, with u a function of x and v of y.
void RasterRender::DrawRect(const PreparedDraw& d, int j0, int j1, uint32_t step, const uint32_t* rowStart) {
    const int i0 = d.colFirst, n = d.colEnd - d.colFirst;
    const uint32_t* tex = TextureOf(d.texture);
    if (tex == nullptr) {
        for (int j = j0; j < j1; ++j) {
            if (rowStart == nullptr || rowStart[j] <= step) BlackSpan(d.slot, Row(j) + i0, n, d.factor);
        }
        return;
    }
    const uint16_t* cols = cols_;
    uint32_t blocks = d.blocks;
    if (d.columns >= 0) {
        cols = ColumnStore() + d.columns;
    } else {
        blocks = FillColumns(d, cols_);
    }
    const SpanFn span = kSpans[d.slot];
    const RowAlpha* alpha = alpha_[d.texture].get();
    const TexelRow texelRow(d, j0, j1);
    // A wide magnified sprite (the backdrop) reads each texel row for several pixel rows; the next
    // one is asked for while this one is drawn, as its first lines would otherwise come late.
    const int left = std::min<int>(cols[0], cols[n - 1]) & ~(kTexelsALine - 1);
    const int right = std::max<int>(cols[0], cols[n - 1]);
    const int ahead = right - left >= 4 * kTexelsALine && !texelRow.Steep() ? (texelRow.v.dv > 0) - (texelRow.v.dv < 0) : 0;
    int lastRow = -1;                 // texel row of the previous pixel row drawn
    const uint32_t* lastDst = nullptr;  // that pixel row, when its result ignored the destination
    for (int j = j0; j < j1; ++j) {
        if (rowStart != nullptr && rowStart[j] > step) continue;  // still a copy of the row above
        const int texRow = texelRow(j);
        uint32_t* dst = Row(j) + i0;
        if (texRow == lastRow && lastDst != nullptr) {
            // Same texels, same columns, same blend, destination not read: the same pixels.
            std::memcpy(dst, lastDst, sizeof(uint32_t) * n);
            lastDst = dst;
            continue;
        }
        const uint32_t* row = tex + static_cast<size_t>(texRow) * kTexSide;
        const RowAlpha& a = alpha[texRow];
        if (ahead != 0 && texRow != lastRow) {
            const uint32_t* next = tex + static_cast<size_t>((texRow + ahead) & kTexMask) * kTexSide;
            for (int c = left; c <= right; c += kTexelsALine) __builtin_prefetch(next + c);
        }
        lastRow = texRow;
        lastDst = nullptr;
        if (d.slot == kNoBlendSlot || (d.slot == 0 && (a.opaque & blocks) == blocks)) {
            if (d.unitColumns) {
                std::memcpy(dst, row + cols[0], sizeof(uint32_t) * n);
            } else {
                CopySpan(dst, row, cols, n);
            }
            lastDst = dst;
        } else if ((a.covered & blocks) == 0) {
            // No sampled texel is covered: nothing is written.
        } else if (d.slot == 0 && (a.binary & blocks) == blocks) {
            // Each texel either replaces the pixel or is not drawn.
            if (d.unitColumns) {
                MaskRow(dst, row + cols[0], n);
            } else {
                MaskSpan(dst, row, cols, n);
            }
        } else if ((blocks & (blocks - 1)) == 0 && (a.uniform & blocks) != 0) {
            kConstSpans[d.slot](dst, row[cols[0]], n, d.factor);  // one block of one colour: a flat fill
        } else {
            span(dst, row, cols, n, d.factor);
            if (d.slot == 2 && (a.full & blocks) == blocks) lastDst = dst;  // src * F + dest * 0, all covered
        }
    }
}

// General triangle: integer edge functions on the snapped vertices, top-left fill rule, texture
// coordinates from exact barycentric weights at each pixel centre.
void RasterRender::DrawTriangle(const PreparedDraw& d, const Pixel2& a0, const Pixel2& b0, const Pixel2& c0,
                                int rowFirst, int rowEnd) {
    for (const Pixel2* q : {&a0, &b0, &c0}) {
        if (std::fabs(q->x) > kMaxTriangleCoord || std::fabs(q->y) > kMaxTriangleCoord) return;
    }
    struct P {
        int64_t x, y;
        double u, v;
    };
    P a{static_cast<int64_t>(a0.x), static_cast<int64_t>(a0.y), a0.u, a0.v};
    P b{static_cast<int64_t>(b0.x), static_cast<int64_t>(b0.y), b0.u, b0.v};
    P c{static_cast<int64_t>(c0.x), static_cast<int64_t>(c0.y), c0.u, c0.v};
    int64_t area = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    if (area == 0) return;
    if (area < 0) {  // no culling: both windings draw
        std::swap(b, c);
        area = -area;
    }

    // Edge e of (from, to): E(p) = (to.x - from.x)(p.y - from.y) - (to.y - from.y)(p.x - from.x),
    // positive inside. A top edge (horizontal, going right) or a left edge (going up) owns the
    // pixel centres exactly on it; the others do not.
    struct Edge {
        int64_t stepX, stepY, value;  // value at the first pixel centre of the box
        int64_t bias;
    };
    const int64_t minX = std::min({a.x, b.x, c.x}), maxX = std::max({a.x, b.x, c.x});
    const int64_t minY = std::min({a.y, b.y, c.y}), maxY = std::max({a.y, b.y, c.y});
    const int i0 = FirstCentreAtOrAfter(static_cast<double>(minX), kWidth);
    const int i1 = FirstCentreAtOrAfter(static_cast<double>(maxX) + 1, kWidth);
    const int j0 = FirstCentreAtOrAfter(static_cast<double>(minY), kHeight);
    const int j1 = FirstCentreAtOrAfter(static_cast<double>(maxY) + 1, kHeight);
    if (i0 >= i1 || j0 >= j1) return;
    const int64_t px0 = static_cast<int64_t>(i0) * 256 + 128, py0 = static_cast<int64_t>(j0) * 256 + 128;

    auto makeEdge = [&](const P& from, const P& to) {
        const int64_t dx = to.x - from.x, dy = to.y - from.y;
        const bool topLeft = (dy == 0 && dx > 0) || dy < 0;
        return Edge{-dy * 256, dx * 256, dx * (py0 - from.y) - dy * (px0 - from.x), topLeft ? 0 : -1};
    };
    Edge ea = makeEdge(b, c);  // opposite a
    Edge eb = makeEdge(c, a);  // opposite b
    Edge ec = makeEdge(a, b);  // opposite c
    // Only rows [rowFirst, rowEnd) of the box are drawn: the edges move on to the first of them.
    const int jFirst = std::max(j0, rowFirst), jEnd = std::min(j1, rowEnd);
    if (jFirst >= jEnd) return;
    for (Edge* e : {&ea, &eb, &ec}) e->value += static_cast<int64_t>(jFirst - j0) * e->stepY;

    const uint32_t* tex = TextureOf(d.texture);
    const double inv = 1.0 / static_cast<double>(area);
    // u and v are affine in the pixel position: a value at the start of each row, a step per pixel.
    const double duX = (ea.stepX * a.u + eb.stepX * b.u + ec.stepX * c.u) * inv;
    const double dvX = (ea.stepX * a.v + eb.stepX * b.v + ec.stepX * c.v) * inv;

    // The rows, with the pixel function of the blend slot inlined.
    auto rows = [&](auto slot) {
        for (int j = jFirst; j < jEnd; ++j) {
            int64_t wa = ea.value, wb = eb.value, wc = ec.value;
            double u = (static_cast<double>(wa) * a.u + static_cast<double>(wb) * b.u + static_cast<double>(wc) * c.u) * inv;
            double v = (static_cast<double>(wa) * a.v + static_cast<double>(wb) * b.v + static_cast<double>(wc) * c.v) * inv;
            uint32_t* dst = Row(j);
            for (int i = i0; i < i1; ++i) {
                if (wa + ea.bias >= 0 && wb + eb.bias >= 0 && wc + ec.bias >= 0) {
                    const uint32_t texel = tex != nullptr ? tex[Wrap(v) * kTexSide + Wrap(u)] : kOpaqueBlack;
                    Shade<decltype(slot)::value>(dst + i, texel, d.factor);
                }
                wa += ea.stepX;
                wb += eb.stepX;
                wc += ec.stepX;
                u += duX;
                v += dvX;
            }
            ea.value += ea.stepY;
            eb.value += eb.stepY;
            ec.value += ec.stepY;
        }
    };
    switch (d.slot) {
        case 0: rows(std::integral_constant<int, 0>()); break;
        case 1: rows(std::integral_constant<int, 1>()); break;
        case 2: rows(std::integral_constant<int, 2>()); break;
        case 3: rows(std::integral_constant<int, 3>()); break;
        case 4: rows(std::integral_constant<int, 4>()); break;
        case 5: rows(std::integral_constant<int, 5>()); break;
        default: rows(std::integral_constant<int, kNoBlendSlot>()); break;
    }
}
