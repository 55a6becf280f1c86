// Fills: a draw prepared from its vertices, then drawn as a rectangle of spans or as two triangles.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "platform/common/raster_pixel.h"

using namespace raster_impl;

namespace {

// Calls f with the blend slot as a compile-time constant (std::integral_constant), so that the
// pixel function of each slot is inlined into f's loops.
template <typename F>
void WithSlot(int slot, F&& f) {
    switch (slot) {
        case 0: f(std::integral_constant<int, 0>()); break;
        case 1: f(std::integral_constant<int, 1>()); break;
        case 2: f(std::integral_constant<int, 2>()); break;
        case 3: f(std::integral_constant<int, 3>()); break;
        case 4: f(std::integral_constant<int, 4>()); break;
        case 5: f(std::integral_constant<int, 5>()); break;
        default: f(std::integral_constant<int, kNoBlendSlot>()); break;
    }
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

}  // namespace

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
    const RowV vAt(d);
    const double first = vAt(d.rowFirst) * kTexSide, last = vAt(d.rowEnd - 1) * kTexSide;
    if (!(first >= 0 && first < kTexSide && last >= 0 && last < kTexSide)) return true;
    const int from = static_cast<int>(std::min(first, last)), to = static_cast<int>(std::max(first, last));
    const RowAlpha* alpha = alpha_[d.texture].get();
    int lo = from;
    while (lo <= to && (alpha[lo].covered & d.blocks) == 0) ++lo;
    if (lo > to) return false;
    int hi = to;
    while ((alpha[hi].covered & d.blocks) == 0) --hi;
    // The texel row of pixel row j, as the row loop computes it (v is in [0, 1) here).
    auto texRow = [&](int j) { return static_cast<int>(vAt(j) * kTexSide); };
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
    WithSlot(d.slot, rows);
}
