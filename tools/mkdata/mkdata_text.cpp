// Text rendering with FreeType from the VL Gothic outline font.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>

#include "mkdata.h"

namespace mkdata {

namespace {
FT_Library gLib = nullptr;
FT_Face gFace = nullptr;
}  // namespace

bool OpenFont(const std::string& ttfPath) {
    if (FT_Init_FreeType(&gLib) != 0) return false;
    if (FT_New_Face(gLib, ttfPath.c_str(), 0, &gFace) != 0) {
        FT_Done_FreeType(gLib);
        gLib = nullptr;
        return false;
    }
    return true;
}

void CloseFont() {
    if (gFace) FT_Done_Face(gFace);
    if (gLib) FT_Done_FreeType(gLib);
    gFace = nullptr;
    gLib = nullptr;
}

// UTF-8 to code points; a byte that starts no valid sequence stands for itself.
std::vector<uint32_t> CodePoints(const std::string& text) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int extra = b >= 0xF0 && b < 0xF8 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        uint32_t cp = extra == 0 ? b : (b & (0x3Fu >> extra));
        bool ok = i + extra < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(text[i + k]);
            ok = (c & 0xC0) == 0x80;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok || b >= 0xF8 || (b >= 0x80 && b < 0xC0)) {
            out.push_back(b);
            ++i;
        } else {
            out.push_back(cp);
            i += 1 + extra;
        }
    }
    return out;
}

Coverage RenderText(const std::string& utf8, int emX, int emY, double embolden, int* baseline) {
    const std::vector<uint32_t> text = CodePoints(utf8);
    Coverage out;
    if (gFace == nullptr || FT_Set_Pixel_Sizes(gFace, FT_UInt(emX), FT_UInt(emY)) != 0) return out;
    const int pad = 2 + int(std::ceil(embolden));
    const int ascent = int(std::ceil(gFace->size->metrics.ascender / 64.0));
    const int descent = int(std::ceil(-gFace->size->metrics.descender / 64.0));
    // First pass: total advance.
    int width = 0;
    const FT_Pos strength = FT_Pos(std::lround(embolden * 64.0));
    for (uint32_t ch : text) {
        if (FT_Load_Char(gFace, ch, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) != 0) continue;
        width += int((gFace->glyph->advance.x + 32) >> 6) + int(std::lround(embolden));
    }
    out.w = width + 2 * pad;
    out.h = ascent + descent + 2 * pad;
    out.a.assign(size_t(out.w) * out.h, 0);
    const int base = pad + ascent;
    int penX = pad;
    for (uint32_t ch : text) {
        if (FT_Load_Char(gFace, ch, FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_LIGHT) != 0) continue;
        FT_GlyphSlot g = gFace->glyph;
        const int adv = int((g->advance.x + 32) >> 6) + int(std::lround(embolden));
        if (g->format == FT_GLYPH_FORMAT_OUTLINE && strength > 0) FT_Outline_Embolden(&g->outline, strength);
        if (FT_Render_Glyph(g, FT_RENDER_MODE_NORMAL) != 0) {
            penX += adv;
            continue;
        }
        const FT_Bitmap& bm = g->bitmap;
        for (unsigned r = 0; r < bm.rows; ++r)
            for (unsigned c = 0; c < bm.width; ++c) {
                int x = penX + g->bitmap_left + int(c);
                int y = base - g->bitmap_top + int(r);
                if (x < 0 || y < 0 || x >= out.w || y >= out.h) continue;
                uint8_t v = bm.buffer[int(r) * bm.pitch + int(c)];
                uint8_t& d = out.a[size_t(y) * out.w + x];
                d = std::max(d, v);
            }
        penX += adv;
    }
    if (baseline) *baseline = base;
    return out;
}

Coverage Crop(const Coverage& c) {
    int x0 = c.w, y0 = c.h, x1 = -1, y1 = -1;
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x)
            if (c.a[size_t(y) * c.w + x] > 0) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    Coverage out;
    if (x1 < 0) return out;
    out.w = x1 - x0 + 1;
    out.h = y1 - y0 + 1;
    out.a.resize(size_t(out.w) * out.h);
    for (int y = 0; y < out.h; ++y)
        for (int x = 0; x < out.w; ++x) out.a[size_t(y) * out.w + x] = c.a[size_t(y + y0) * c.w + x + x0];
    return out;
}

Coverage FitText(const std::string& text, int maxW, int maxH, double emboldenPerEm, double aspect) {
    // The cap height of the font is about 0.73 em; start high and shrink until the text fits.
    for (int emY = maxH * 2; emY >= 6; --emY) {
        int emX = std::max(4, int(std::lround(emY * aspect)));
        Coverage c = Crop(RenderText(text, emX, emY, emboldenPerEm * emY, nullptr));
        if (c.w > 0 && c.w <= maxW && c.h <= maxH) return c;
    }
    return Coverage{};
}

}  // namespace mkdata
