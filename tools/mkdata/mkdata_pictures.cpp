// The game's pictures: title backdrop (texture 0), logo, menu items, waiting and game-over pictures
// (texture 2), play backdrop, game-over bar and block cells (texture 3), panel and cursor frames
// (texture 5) and the bitmap font sheet (texture 6). Texture coordinates below are texels; most
// regions are drawn three times enlarged.
#include <algorithm>
#include <cmath>

#include "mkdata.h"

namespace mkdata {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Small fixed-seed generator, so every run places the stars and shapes identically.
class Prng {
public:
    explicit Prng(uint32_t seed) : s_(seed ? seed : 1u) {}
    uint32_t Next() {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 17;
        s_ ^= s_ << 5;
        return s_;
    }
    int Below(int n) { return int(Next() % uint32_t(n)); }
    double Unit() { return (Next() >> 8) / double(1u << 24); }

private:
    uint32_t s_;
};

double Clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// Piece colours, colour values 1..8: Z, S, T, L, J, O, I, single block.
const uint32_t kPieceColours[8] = {0xE8484F, 0x5CCB45, 0xA65CE0, 0xF08A2C,
                                   0x3D6FE8, 0xF2CB30, 0x35C8E0, 0xE86FB8};

// Draws text coverage with a vertical gradient fill, a dark outline and an optional drop shadow.
struct TextStyle {
    Rgb top, bottom, outline;
    int outlineRadius = 1;
    int shadowDx = 0, shadowDy = 0;
    Rgb shadow{0, 0, 0};
};

void StampText(Canvas& c, const Coverage& cov, int ox, int oy, const TextStyle& st) {
    const int r = st.outlineRadius;
    const int w = cov.w + 2 * r, h = cov.h + 2 * r;
    std::vector<uint8_t> mask(size_t(w) * h, 0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool on = false;
            for (int dy = -r; dy <= r && !on; ++dy)
                for (int dx = -r; dx <= r && !on; ++dx) {
                    if (dx * dx + dy * dy > r * r + r) continue;
                    on = cov.At(x - r + dx, y - r + dy) >= 48;
                }
            mask[size_t(y) * w + x] = on;
        }
    if (st.shadowDx != 0 || st.shadowDy != 0)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (mask[size_t(y) * w + x]) c.Put(ox - r + x + st.shadowDx, oy - r + y + st.shadowDy, st.shadow);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (mask[size_t(y) * w + x]) c.Put(ox - r + x, oy - r + y, st.outline);
    for (int y = 0; y < cov.h; ++y) {
        const double t = cov.h > 1 ? double(y) / (cov.h - 1) : 0.0;
        const Rgb fill = Mix(st.top, st.bottom, t);
        for (int x = 0; x < cov.w; ++x) {
            const int a = cov.At(x, y);
            if (a == 0) continue;
            c.Put(ox + x, oy + y, Mix(st.outline, fill, Clamp01((a - 24) / 200.0)));
        }
    }
}

// An 8 x 8 bevelled block: light top and left edge, dark bottom and right edge, a glint.
void DrawBlock(Canvas& c, int x0, int y0, Rgb base, int size = 8) {
    const Rgb light = Mix(base, Hex(0xFFFFFF), 0.55);
    const Rgb dark = Scale(base, 0.42);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            Rgb col;
            if (y == 0 || x == 0)
                col = (x == size - 1 || y == size - 1) ? Scale(base, 0.8) : light;
            else if (y == size - 1 || x == size - 1)
                col = dark;
            else
                col = Mix(Mix(base, Hex(0xFFFFFF), 0.12), Scale(base, 0.78), double(y - 1) / (size - 2));
            c.Put(x0 + x, y0 + y, col);
        }
    c.Put(x0 + 1, y0 + 1, Mix(base, Hex(0xFFFFFF), 0.85));
    if (size >= 8) c.Put(x0 + 2, y0 + 1, Mix(base, Hex(0xFFFFFF), 0.45));
}

// The wall cell: a riveted steel plate, 8 x 8.
void DrawWallCell(Canvas& c, int x0, int y0) {
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            Rgb col = Mix(Hex(0x6C7790), Hex(0x414A62), (x + y) / 14.0);
            if (y == 0 || x == 0) col = Hex(0xA8B2CC);
            if (y == 7 || x == 7) col = Hex(0x262B3C);
            c.Put(x0 + x, y0 + y, col);
        }
    c.Put(x0 + 3, y0 + 3, Hex(0xC8D0E4));
    c.Put(x0 + 4, y0 + 4, Hex(0x2C3244));
    c.Put(x0 + 4, y0 + 3, Hex(0x8A94AE));
    c.Put(x0 + 3, y0 + 4, Hex(0x8A94AE));
}

// A rounded plate with a one-texel light rim and a vertical gradient inside.
void DrawPlate(Canvas& c, int x0, int y0, int w, int h, Rgb top, Rgb bottom, Rgb rim) {
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool cornerOut = (x == 0 || x == w - 1) && (y == 0 || y == h - 1);
            if (cornerOut) continue;
            const bool edge = x == 0 || y == 0 || x == w - 1 || y == h - 1;
            const bool corner2 = (x <= 1 || x >= w - 2) && (y <= 1 || y >= h - 2);
            Rgb col;
            if (edge || corner2)
                col = rim;
            else if (x == 1 || y == 1 || x == w - 2 || y == h - 2)
                col = Scale(bottom, 0.6);
            else
                col = Mix(top, bottom, double(y) / (h - 1));
            c.PutDither(x0 + x, y0 + y, col);
        }
}

// Wrapped vertical distance on a loop of `period` rows.
// ------------------------------------------------------------------ texture 0: title backdrop

// Region (0, 0, 512, 256), drawn 1536 x 768 and scrolled by 720 screen pixels: two copies overlap
// by 16 texel rows, so the picture repeats every 240 rows and rows 240..255 copy rows 0..15.
//
// The ranking and options panels (screen x 208..1088, texels 64..357) are half transparent, so
// the sky behind them is kept calm: the aurora, the stars and the drifting pieces fade to a
// fraction of their strength there and keep it only at the sides.
double TitleCalm(int x) {
    const double in = std::min(x - 64.0, 357.0 - x);  // texels inside the panel columns
    return Clamp01((in + 16.0) / 32.0);
}

void DrawTitleBackdrop(Canvas& c) {
    const int period = 240;
    Canvas layer;
    for (int y = 0; y < period; ++y)
        for (int x = 0; x < 512; ++x) {
            const double hx = Clamp01(1.0 - std::fabs(x - 208.0) / 250.0);
            Rgb col = Mix(Hex(0x070920), Hex(0x19205A), hx * hx);
            // Two aurora ribbons winding across the sky.
            const double c1 = 60 + 22 * std::sin(2 * kPi * x / 310.0) + 7 * std::sin(2 * kPi * x / 83.0);
            const double c2 = 180 + 26 * std::sin(2 * kPi * x / 260.0 + 1.7) + 6 * std::sin(2 * kPi * x / 71.0);
            // Signed distance to each ribbon on the loop; the glow trails further upwards, in rays.
            auto signedDist = [&](double cy) {
                double d = std::fmod(y - cy + 10.0 * period, double(period));
                return d >= period / 2.0 ? d - period : d;
            };
            auto glow = [](double d, double below, double above) {
                const double s = d > 0 ? below : above;
                return std::exp(-(d * d) / (2 * s * s));
            };
            const double rays1 = 0.55 + 0.45 * std::sin(2 * kPi * x / 23.0) * std::sin(2 * kPi * x / 61.0 + 0.5);
            const double rays2 = 0.55 + 0.45 * std::sin(2 * kPi * x / 19.0 + 1.3) * std::sin(2 * kPi * x / 47.0);
            const double i1 = glow(signedDist(c1), 4.0, 20.0) * rays1;
            const double i2 = glow(signedDist(c2), 5.0, 24.0) * rays2;
            const double keep = 1.0 - 0.75 * TitleCalm(x);
            col = Mix(col, Hex(0x2FD3B4), 0.32 * i1 * keep);
            col = Mix(col, Hex(0x8A5BE8), 0.30 * i2 * keep);
            layer.PutDither(x, y, col);
        }
    // Faint drifting pieces.
    static const int kShapes[7][4][2] = {
        {{0, 0}, {1, 0}, {1, 1}, {2, 1}}, {{1, 0}, {2, 0}, {0, 1}, {1, 1}}, {{1, 0}, {0, 1}, {1, 1}, {2, 1}},
        {{2, 0}, {0, 1}, {1, 1}, {2, 1}}, {{0, 0}, {0, 1}, {1, 1}, {2, 1}}, {{0, 0}, {1, 0}, {0, 1}, {1, 1}},
        {{0, 0}, {1, 0}, {2, 0}, {3, 0}}};
    Prng rng(0x4B454C31u);
    for (int n = 0; n < 16; ++n) {
        const int shape = rng.Below(7);
        const int px = 8 + rng.Below(400), py = rng.Below(period);
        const bool turn = rng.Below(2) == 1;
        const Rgb hue = Hex(kPieceColours[rng.Below(8)]);
        const double keep = 1.0 - 0.7 * TitleCalm(px + 10);
        for (auto& cell : kShapes[shape]) {
            const int cx = px + 7 * (turn ? cell[1] : cell[0]);
            const int cy = py + 7 * (turn ? cell[0] : cell[1]);
            for (int y = 0; y < 7; ++y)
                for (int x = 0; x < 7; ++x) {
                    const int yy = ((cy + y) % period + period) % period;
                    const bool rim = x == 0 || y == 0 || x == 6 || y == 6;
                    layer.Put(cx + x, yy, Mix(layer.Get(cx + x, yy), hue, (rim ? 0.28 : 0.10) * keep));
                }
        }
    }
    // Stars, some with a small cross.
    for (int n = 0; n < 110; ++n) {
        const int x = rng.Below(512), y = rng.Below(period);
        const double b = (0.45 + 0.55 * rng.Unit()) * (1.0 - 0.6 * TitleCalm(x));
        const Rgb star = Mix(Hex(0x9FB8FF), Hex(0xFFFFFF), rng.Unit());
        layer.Put(x, y, Mix(layer.Get(x, y), star, b));
        if (rng.Below(6) == 0) {
            const int arms[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
            for (auto& a : arms) {
                const int yy = ((y + a[1]) % period + period) % period;
                layer.Put(x + a[0], yy, Mix(layer.Get(x + a[0], yy), star, 0.45 * b));
            }
        }
    }
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) c.Put(x, y, layer.Get(x, y % period));
}

// ------------------------------------------------------------------ texture 2: title pictures

const TextStyle kIceText = {Hex(0xF4FCFF), Hex(0x4A7BE6), Hex(0x0B0E2E), 2, 2, 2, Hex(0x03040F)};

// The logo is one 202 x 40 picture cut into two overlapping parts: texels 0..159 at (0, 0) and
// texels 66..201 at (0, 48). On screen the second part starts exactly where texel 66 of the first
// lands, so the overlap shows the same texels from either part. Texel t lands at x 446 + 3t, and
// the menu items are centred on x 656, so the art is centred on texel 70 and kept within 0..140.
constexpr int kLogoCentre = 70;

void DrawLogo(Canvas& c) {
    Canvas logo;
    const Coverage text = FitText("KELVORINE", 134, 27, 0.045, 0.68);
    const int tx = kLogoCentre - text.w / 2, ty = 1 + (27 - text.h) / 2;
    TextStyle st = kIceText;
    st.top = Hex(0x9CC2F4);
    st.bottom = Hex(0x2F74E0);
    StampText(logo, text, tx, ty, st);
    // A row of small blocks under the name.
    const int n = 20, bw = 7;
    const int bx = kLogoCentre - n * bw / 2;
    // Somewhat subdued: the options texts of FRAME SKIP stand over this row.
    for (int i = 0; i < n; ++i) DrawBlock(logo, bx + i * bw, 32, Scale(Hex(kPieceColours[(i * 3) % 8]), 0.72), 7);
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 160; ++x)
            if (logo.Opaque(x, y)) c.Put(x, y, logo.Get(x, y));
        for (int x = 0; x < 136; ++x)
            if (logo.Opaque(x + 66, y)) c.Put(x, 48 + y, logo.Get(x + 66, y));
    }
}

// Menu items: 96 x 32 at (160, 0), (160, 32), (160, 64); drawn 288 x 96 at x 512, the chosen one
// bouncing 0..16 pixels below y 400 + 96i. The cursor is a 6-pixel band drawn at y 470 + 96i, which
// is 54..70 pixels (texel row 18 and below) under the top of the bouncing item: the word, with its
// outline and shadow, keeps to rows 0..17, so the band always reads as an underline beneath it. There is no plate: a plate's
// edges under the band would make it look struck through.
void DrawMenuItems(Canvas& c) {
    const char* labels[3] = {"START", "RANKING", "OPTIONS"};
    for (int i = 0; i < 3; ++i) {
        const int x0 = 160, y0 = 32 * i;
        const Coverage text = FitText(labels[i], 88, 13, 0.06, 0.8);
        TextStyle st = {Hex(0xA8CAF6), Hex(0x5A8EE4), Hex(0x060922), 2, 1, 1, Hex(0x02030C)};
        StampText(c, text, x0 + (96 - text.w) / 2, y0 + 2 + (13 - text.h) / 2, st);
    }
}

// Waiting picture (0, 256, 512, 256), drawn over the whole screen while textures load.
void DrawWaitingBackdrop(Canvas& c) {
    Prng rng(0x57414954u);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 512; ++x) {
            const double t = Clamp01((x * 0.6 + y) / 500.0);
            Rgb col = Mix(Hex(0x1A0F3A), Hex(0x06122E), t);
            const double dx = (x - 213) / 213.0, dy = (y - 120) / 120.0;
            col = Scale(col, 1.15 - 0.45 * Clamp01(dx * dx + dy * dy));
            // A faint grid of cells.
            if (x % 12 == 0 || y % 12 == 0) col = Mix(col, Hex(0x3A4C9A), 0.18);
            c.PutDither(x, 256 + y, col);
        }
    for (int n = 0; n < 40; ++n) {
        const int cx = rng.Below(36) * 12, cy = rng.Below(21) * 12;
        const Rgb hue = Hex(kPieceColours[rng.Below(8)]);
        for (int y = 1; y < 12; ++y)
            for (int x = 1; x < 12; ++x) c.Put(cx + x, 256 + cy + y, Mix(c.Get(cx + x, 256 + cy + y), hue, 0.16));
    }
}

// "NOW LOADING" text (256, 0, 256, 44), drawn 768 x 132 with its left edge at x 400: texel 80 of
// the region lands on the middle of the screen, so the text is centred there. Row 43 stays empty:
// it is also the top row of the game-over picture.
void DrawLoadingText(Canvas& c) {
    const Coverage text = FitText("NOW LOADING...", 156, 30, 0.05, 0.9);
    StampText(c, text, 256 + 80 - text.w / 2, 3 + (34 - text.h) / 2, kIceText);
}

// Game-over picture (255, 43, 181, 43), drawn 768 x 132: stretched 4.24 across and 3.07 down,
// so the text is drawn narrower to look right on screen. Column 255 and row 43 stay empty: they
// belong to the menu items and the loading text as well.
void DrawGameOver(Canvas& c) {
    DrawPlate(c, 257, 45, 178, 40, Hex(0x3A0F1C), Hex(0x12040C), Hex(0xFF9A7A));
    const Coverage text = FitText("GAME OVER", 166, 28, 0.05, 0.72);
    TextStyle st = {Hex(0xFFF0A0), Hex(0xFF4A2A), Hex(0x1A0208), 1, 1, 1, Hex(0x000000)};
    StampText(c, text, 256 + (180 - text.w) / 2, 45 + (40 - text.h) / 2, st);
}

// ------------------------------------------------------------------ texture 3: play pictures

// Play backdrop (0, 0, 512, 256), drawn at (16, 0) three times enlarged. The board covers
// texels 160..255 (the walls 160..167 and 248..255), so the well 168..247 is kept dark with faint
// cell lines; the score and level sit over a plate at the left, the six next pieces over slots
// at the right.
void DrawPlayBackdrop(Canvas& c) {
    Prng rng(0x504C4159u);
    for (int y = 0; y < 248; ++y)
        for (int x = 0; x < 512; ++x) {
            const double t = y / 240.0;
            Rgb col = Mix(Hex(0x18204E), Hex(0x090B22), t);
            const double beam = std::sin((x * 0.7 - y) * 2 * kPi / 160.0);
            col = Mix(col, Hex(0x2A3A80), 0.10 * Clamp01(beam));
            if ((x + y) % 16 == 0 && (x - y + 1024) % 16 == 0) col = Mix(col, Hex(0x6A80D0), 0.35);
            c.PutDither(x, y, col);
        }
    for (int n = 0; n < 60; ++n) {
        const int x = rng.Below(512), y = rng.Below(240);
        if (x >= 150 && x < 266) continue;
        c.Put(x, y, Mix(c.Get(x, y), Hex(0xDDE8FF), 0.35 + 0.4 * rng.Unit()));
    }
    // Glow around the board.
    for (int y = 0; y < 240; ++y)
        for (int k = 1; k <= 6; ++k) {
            const double a = 0.38 * (1.0 - (k - 1) / 6.0);
            c.Put(160 - k, y, Mix(c.Get(160 - k, y), Hex(0x5FC8FF), a));
            c.Put(255 + k, y, Mix(c.Get(255 + k, y), Hex(0x5FC8FF), a));
        }
    // The well behind the playing area, rows 0..223, with the cell lines every 8 texels.
    for (int y = 0; y < 240; ++y)
        for (int x = 160; x < 256; ++x) {
            Rgb col = Hex(0x070919);
            if (x >= 168 && x < 248 && y < 224 && ((x - 168) % 8 == 0 || y % 8 == 0))
                col = Mix(col, Hex(0x2A3468), 0.55);
            c.Put(x, y, col);
        }
    // The walls and the floor as the board draws them (board cell (column, row) lands on texel
    // (160 + 8 column, 8 row)), so the well keeps its frame while a pause hides the board.
    for (int row = 0; row <= 28; ++row) {
        DrawWallCell(c, 160, 8 * row);
        DrawWallCell(c, 248, 8 * row);
    }
    for (int col = 1; col <= 10; ++col) DrawWallCell(c, 160 + 8 * col, 8 * 28);
    // Score and level plates. The score plate reaches further left, where its label stands: a score
    // of ten digits begins at texel 98.
    DrawPlate(c, 58, 2, 100, 30, Hex(0x1E2A66), Hex(0x0B1034), Hex(0x7FA6F0));
    DrawPlate(c, 88, 36, 70, 30, Hex(0x1E2A66), Hex(0x0B1034), Hex(0x7FA6F0));
    // Next-piece slots: (264, 8), (312, 8), (360, 8), (360, 56), (360, 104), (360, 152), each 32 x 32.
    const int slots[6][2] = {{264, 8}, {312, 8}, {360, 8}, {360, 56}, {360, 104}, {360, 152}};
    for (int i = 0; i < 6; ++i) {
        const Rgb rim = i == 0 ? Hex(0xBFE8FF) : Hex(0x6F8AD8);
        DrawPlate(c, slots[i][0] - 2, slots[i][1] - 2, 36, 36, Hex(0x101640), Hex(0x070A1E), rim);
    }
    const Coverage next = FitText("NEXT", 30, 9, 0.06, 0.9);
    TextStyle st = {Hex(0xFFFFFF), Hex(0x9FD8FF), Hex(0x05071A), 1, 1, 1, Hex(0x05071A)};
    StampText(c, next, 264 + (32 - next.w) / 2, 45, st);
    // The score's digits stand on texel rows 9..22 (capitals of the doubled font at y 24): the
    // label sits level with them, left of the first digit.
    const Coverage score = FitText("SCORE", 30, 9, 0.06, 0.9);
    StampText(c, score, 63, 16 - score.h / 2, st);
}

// ------------------------------------------------------------------ the controls legend

// Small text straight onto the picture: the pen starts at x on baseline row `base`; anti-aliased
// edges are sharpened a little, since the picture is drawn three times enlarged. Returns the
// advance width.
int PutText(Canvas& c, const std::string& text, int x, int base, int em, Rgb fg, double embolden = 0.35) {
    int baseline = 0;
    const Coverage cov = RenderText(text, em, em, embolden, &baseline);
    const int pad = 2 + int(std::ceil(embolden));
    for (int y = 0; y < cov.h; ++y)
        for (int i = 0; i < cov.w; ++i) {
            const double a = Clamp01((cov.At(i, y) / 255.0 - 0.2) / 0.55);
            if (a <= 0) continue;
            const int px = x - pad + i, py = base - baseline + y;
            c.Put(px, py, Mix(c.Get(px, py), fg, a));
        }
    return cov.w - 2 * pad;
}

int TextWidth(const std::string& text, int em, double embolden = 0.35) {
    const Coverage cov = Crop(RenderText(text, em, em, embolden, nullptr));
    return cov.w;
}

constexpr int kCapH = 11;  // key caps and pad buttons are 11 texels tall (33 pixels on screen)

// A key cap at (x, y), at least 11 texels wide, its label centred; returns its width.
int KeyCap(Canvas& c, int x, int y, const std::string& label, int em = 9) {
    const int tw = TextWidth(label, em, 0.5);
    const int w = std::max(kCapH, tw + 6);
    for (int j = 0; j < kCapH; ++j)
        for (int i = 0; i < w; ++i) {
            const bool corner = (i == 0 || i == w - 1) && (j == 0 || j == kCapH - 1);
            if (corner) continue;
            Rgb col = Mix(Hex(0x3A4E96), Hex(0x1C2858), j / double(kCapH - 1));
            if (j == 0 || i == 0 || i == w - 1) col = Hex(0x9FB8EC);
            if (j == kCapH - 1) col = Hex(0x0A0F2A);
            if (j == kCapH - 2 && i > 0 && i < w - 1) col = Hex(0x141C44);
            c.Put(x + i, y + j, col);
        }
    // Ink bounds decide the centring (the pen origin of the label is not its ink).
    int baseline = 0;
    const Coverage cov = RenderText(label, em, em, 0.5, &baseline);
    int x0 = cov.w, x1 = -1;
    for (int j = 0; j < cov.h; ++j)
        for (int i = 0; i < cov.w; ++i)
            if (cov.At(i, j) > 50) {
                x0 = std::min(x0, i);
                x1 = std::max(x1, i);
            }
    const int pad = 2 + 1;
    const int penX = x + (w - (x1 - x0 + 1)) / 2 - (x0 - pad);
    PutText(c, label, penX, y + 8, em, Hex(0xFFFFFF), 0.5);
    return w;
}

// Inside test of a triangle, for the little icons below.
bool InTriangle(double px, double py, const double t[6]) {
    auto side = [&](int a, int b) {
        return (t[b] - t[a]) * (py - t[a + 1]) - (t[b + 1] - t[a + 1]) * (px - t[a]);
    };
    const double d1 = side(0, 2), d2 = side(2, 4), d3 = side(4, 0);
    return !((d1 < 0 || d2 < 0 || d3 < 0) && (d1 > 0 || d2 > 0 || d3 > 0));
}

// Paints the texels of a size x size icon whose 4 x 4 supersamples are half inside `inside`.
template <class F>
void PaintIcon(Canvas& c, int x, int y, int size, Rgb col, F inside) {
    for (int j = 0; j < size; ++j)
        for (int i = 0; i < size; ++i) {
            int n = 0;
            for (int sj = 0; sj < 4; ++sj)
                for (int si = 0; si < 4; ++si) n += inside(i + (si + 0.5) / 4, j + (sj + 0.5) / 4);
            if (n >= 8) c.Put(x + i, y + j, col);
        }
}

// An arrow key cap: dir 0 left, 1 right, 2 down.
int ArrowCap(Canvas& c, int x, int y, int dir) {
    static const char* const kRight[5] = {"....X..", "....XX.", "XXXXXXX", "....XX.", "....X.."};
    KeyCap(c, x, y, " ");
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 7; ++i) {
            if (kRight[j][i] != 'X') continue;
            if (dir == 0) c.Put(x + 2 + (6 - i), y + 2 + j, Hex(0xFFFFFF));
            if (dir == 1) c.Put(x + 2 + i, y + 2 + j, Hex(0xFFFFFF));
            if (dir == 2) c.Put(x + 3 + j, y + 1 + i, Hex(0xFFFFFF));
        }
    return kCapH;
}

// A turning arrow, 11 x 11 texels: a ring open at the top right with the head at its top end,
// pointing right (clockwise); mirrored for counter-clockwise.
void TurnIcon(Canvas& c, int x, int y, bool clockwise, Rgb col) {
    const double kDeg = kPi / 180.0;
    const double cx = 5.5, cy = 5.8;
    const double end = 272 * kDeg;
    const double ex = cx + 4.2 * std::cos(end), ey = cy + 4.2 * std::sin(end);
    const double tx = -std::sin(end), ty = std::cos(end);  // direction of travel
    const double nx = std::cos(end), ny = std::sin(end);   // outwards
    const double head[6] = {ex + tx * 3.2, ey + ty * 3.2, ex + nx * 2.6, ey + ny * 2.6, ex - nx * 2.6, ey - ny * 2.6};
    PaintIcon(c, x, y, 11, col, [&](double u, double v) {
        if (!clockwise) u = 11 - u;
        const double dx = u - cx, dy = v - cy, r = std::sqrt(dx * dx + dy * dy);
        double th = std::atan2(dy, dx) / kDeg;
        if (th < 0) th += 360;
        const bool arc = r >= 3.5 && r <= 4.9 && !(th > 272 && th < 340);
        return arc || InTriangle(u, v, head);
    });
}

// A round pad button with its letter, in the button's colour.
void PadButton(Canvas& c, int x, int y, const char* letter, Rgb hue) {
    for (int j = 0; j < kCapH; ++j)
        for (int i = 0; i < kCapH; ++i) {
            const double dx = i - 5.0, dy = j - 5.0, r = std::sqrt(dx * dx + dy * dy);
            if (r > 5.6) continue;
            Rgb col = Mix(Scale(hue, 0.75), Scale(hue, 0.35), j / 10.0);
            if (r > 4.6) col = j < 5 ? Mix(hue, Hex(0xFFFFFF), 0.45) : Scale(hue, 0.25);
            c.Put(x + i, y + j, col);
        }
    const int w = TextWidth(letter, 8);
    int baseline = 0;
    const Coverage cov = RenderText(letter, 8, 8, 0.35, &baseline);
    int x0 = cov.w;
    for (int j = 0; j < cov.h; ++j)
        for (int i = 0; i < cov.w; ++i)
            if (cov.At(i, j) > 50) x0 = std::min(x0, i);
    PutText(c, letter, x + (kCapH - w) / 2 - (x0 - 3), y + 8, 8, Hex(0xFFFFFF));
}

// The D-pad: a grey cross.
void PadCross(Canvas& c, int x, int y) {
    for (int j = 0; j < kCapH; ++j)
        for (int i = 0; i < kCapH; ++i) {
            const bool arm = (i >= 3 && i <= 7) || (j >= 3 && j <= 7);
            if (!arm) continue;
            const bool edge = i == 0 || j == 0 || i == 10 || j == 10 || ((i == 3 || i == 7) && (j < 3 || j > 7)) ||
                              ((j == 3 || j == 7) && (i < 3 || i > 7));
            Rgb col = Mix(Hex(0x7A8294), Hex(0x3A404E), j / 10.0);
            if (edge) col = j < 5 || i < 5 ? Hex(0xC8D0E0) : Hex(0x20242E);
            if (i == 5 && j == 5) col = Hex(0x2A2E3A);
            c.Put(x + i, y + j, col);
        }
}

// The keys and pad buttons, in the empty part of the play backdrop left of the board and under
// the score and level (texels 6..150 x 72..232, drawn at x 34..466, y 216..696). It says only what
// the game does: Z and C (and Up in a game) rotate clockwise and are the menus' OK; only that key
// held stops sideways moves; X rotates the other way; A pauses and resumes; Esc ends the program
// at once, game and all. S does nothing, so it is not shown. The pad's face buttons are given with
// the numbers the options use for them.
void DrawControlsLegend(Canvas& c) {
    DrawPlate(c, 6, 72, 145, 161, Hex(0x141C4C), Hex(0x080C26), Hex(0x5F7FC8));
    const Rgb heading = Hex(0x9FD8FF), text = Hex(0xE8F0FF), note = Hex(0xB8C8EC), turn = Hex(0xFFE08A);
    const int left = 13, column = 45;
    PutText(c, "KEYBOARD", left, 84, 9, heading);
    int y = 89;
    auto line = [&](const char* what) {
        PutText(c, what, column, y + 8, 9, text);
        y += 14;
    };
    ArrowCap(c, left, y, 0);
    ArrowCap(c, left + 13, y, 1);
    line("move");
    ArrowCap(c, left, y, 2);
    line("faster");
    KeyCap(c, left + KeyCap(c, left, y, "Z") + 2, y, "C");
    int x = column + PutText(c, "rotate", column, y + 8, 9, text) + 3;
    TurnIcon(c, x, y, true, turn);
    PutText(c, "/ OK", x + 14, y + 8, 9, text);
    y += 14;
    KeyCap(c, left, y, "X");
    x = column + PutText(c, "rotate", column, y + 8, 9, text) + 3;
    TurnIcon(c, x, y, false, turn);
    y += 13;
    // The note under the two rotate rows, with the clockwise arrow it is about.
    x = left + PutText(c, "while", left, y + 8, 8, note) + 2;
    TurnIcon(c, x, y, true, turn);
    PutText(c, "is held: no sideways move", x + 13, y + 8, 8, note);
    y += 14;
    KeyCap(c, left, y, "A");
    line("pause / resume");
    KeyCap(c, left, y, "Esc");
    line("quit now (game lost)");
    int ax = left + KeyCap(c, left, y, "Alt");
    ax += PutText(c, "+", ax + 1, y + 8, 9, text) + 2;
    ax += KeyCap(c, ax, y, "Enter");
    PutText(c, "full screen", ax + 5, y + 8, 9, text);
    y += 17;
    // The pad: its heading shares the row with the D-pad; each face button carries the number
    // that the options' button rows use for it.
    PutText(c, "PAD", left, y + 8, 9, heading);
    PadCross(c, column - 14, y);
    line("move");
    const char* letters[4] = {"A", "B", "X", "Y"};
    const char* numbers[4] = {"0", "1", "2", "3"};
    const uint32_t hues[4] = {0x3FB848, 0xD83A3A, 0x3A6AE0, 0xE0B020};
    x = left;
    for (int i = 0; i < 4; ++i) {
        // Not emboldened: the zero's inner dot would close up into an 8.
        x += PutText(c, numbers[i], x, y + 8, 9, text, 0.0) + 1;
        PadButton(c, x, y, letters[i], Hex(hues[i]));
        x += kCapH + 4;
    }
    PutText(c, "in OPTIONS", x + 1, y + 8, 9, text);
}

// The key hint right of the word on the title's START item (160, 0, 96, 32): the Z key cap, the
// key that starts the game. The word stays centred like the other items; the cap keeps to rows
// 3..13, above the cursor band, and to the item's free columns.
void DrawStartHint(Canvas& c) {
    const Coverage word = FitText("START", 88, 13, 0.06, 0.8);
    KeyCap(c, 160 + (96 + word.w) / 2 + 5, 3, "Z");
}

// Game-over bar (0, 248, 416, 8): a row of hollow grey blocks, stretched across the screen. The
// bars climb over the whole picture while the game ends, so only each block's top and left edge
// is opaque (neighbouring blocks share one line, 3 pixels on screen) and the score and level read
// through the transparent interiors.
void DrawGameOverBar(Canvas& c) {
    const Rgb top = Mix(Hex(0x747B90), Hex(0xFFFFFF), 0.55), side = Hex(0x9AA2B8);
    for (int i = 0; i < 52; ++i) {
        const int x0 = 8 * i, y0 = 248;
        for (int k = 0; k < 8; ++k) {
            c.Put(x0 + k, y0, top);
            if (k > 0) c.Put(x0, y0 + k, side);
        }
        c.Clear(x0 + 1, y0 + 1, 7, 7);
    }
}

// Block cells (192 + 8v, 256, 8, 8): v 0 empty, 1..8 the pieces, 9 the wall.
void DrawCells(Canvas& c) {
    c.Clear(192, 256, 8, 8);
    for (int v = 1; v <= 8; ++v) DrawBlock(c, 192 + 8 * v, 256, Hex(kPieceColours[v - 1]));
    DrawWallCell(c, 192 + 72, 256);
}

// ------------------------------------------------------------------ texture 5: panels and cursor

// Ten panel themes at k = 16 * theme and the cursor frame at k = 160: fill (k, 0, 16, 16), and a
// 16 x 16 frame at (k, 16) whose 4 x 4 corners and edge pieces are cut out by the menus (edge
// pieces are stretched along their edge, so they are uniform in that direction).
//
// The panel fill is drawn at half opacity over the title's logo and items, so it is kept nearly
// black with only a trace of its theme's hue: white text then stands out from whatever shows
// through.
//
// The cursor frame is drawn both as a 20-pixel box around options text and as a 6-pixel band
// under the chosen title item (its top rows 16..17, then its bottom rows 28..31). Its fill is
// dark, since text is drawn over it. Its top and sides are a lit line, bright outside and dark
// inside; its bottom, which runs through the lower part of the options texts, only glows faintly
// and fades to dark outwards. Squeezed into the title's band that gives a bright line with a glow
// beneath it: an underline.
void DrawFrames(Canvas& c) {
    const uint32_t themes[10] = {0x2F4FC8, 0x1F9FA0, 0x3FA848, 0x9AA030, 0xD08A2A,
                                 0xC83A3A, 0xC03A9A, 0x7A46D0, 0x7A8294, 0x2A2E3C};
    for (int t = 0; t < 11; ++t) {
        const int k = 16 * t;
        const bool cursor = t == 10;
        const Rgb base = cursor ? Hex(0x5FA8FF) : Hex(themes[t]);
        // Grey (8) and black (9) carry less colour, so they may be a little lighter.
        const double lift = t == 8 || t == 9 ? 1.4 : 1.0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const Rgb top = cursor ? Hex(0x0E1C4C) : Scale(base, 0.13 * lift);
                const Rgb bottom = cursor ? Hex(0x050A22) : Scale(base, 0.05 * lift);
                c.Put(k + x, y, Mix(top, bottom, y / 15.0));  // no dithering: the fill is stretched 55-fold
            }
        // Ring texels by their distance d from the outer edge (0..3).
        const Rgb panelRing[4] = {Scale(base, 0.30), Mix(base, Hex(0xFFFFFF), 0.6), base, Scale(base, 0.45)};
        const Rgb litRing[4] = {Hex(0xFFFFFF), Hex(0x2A4C8A), Hex(0x142650), Hex(0x0A1434)};
        const Rgb bottomRing[4] = {Hex(0x0A1434), Hex(0x14244E), Hex(0x2A4A80), Hex(0x4F86C8)};
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                const int dx = std::min(x, 15 - x), dy = std::min(y, 15 - y);
                int d = std::min(dx, dy);
                // Rounded corners: the outermost corner texels are cut, the next ring follows.
                if (dx + dy < 2) continue;
                if (dx + dy < 4 && d < 2) d = std::max(0, dx + dy - 2);
                Rgb col = Scale(base, 0.3);
                if (d < 4 && !cursor) col = panelRing[d];
                if (d < 4 && cursor) col = (15 - y <= dx) ? bottomRing[d] : litRing[d];
                c.Put(k + x, 16 + y, col);
            }
    }
}

}  // namespace

// ------------------------------------------------------------------ texture 6: font sheet

// 16 x 16 cells of 16 x 32 texels; the cell of code ch is at ((ch % 16) * 16, (ch / 16 % 16) * 32).
// Texts are drawn with an advance of half the cell (game texts, doubled) or 10 pixels (options),
// so every glyph keeps within 10 texels of its cell.
//
// The options screen draws its 20-pixel selection frames from 2 pixels below a text's top, and its
// digit frames 30 pixels wide from 10 pixels left of the digit's cell: a frame is centred on cell
// row 12 and, for the digits, on cell column 5. So the capitals stand on row 21 (rows 2..21 with
// their outline) and the ink, outline included, is centred on column 5 as far as the one-texel
// margin allows (the widest glyphs take columns 1..10).
constexpr int kFontBaseline = 21;
constexpr double kFontInkCentre = 5.0;

bool DrawFontSheet(Canvas& c) {
    TextStyle st = {Hex(0xFFFFFF), Hex(0xD8E6FF), Hex(0x080A18), 1, 0, 0, Hex(0)};
    bool any = false;
    for (int ch = 0x21; ch < 0x7F; ++ch) {
        int baseline = 0;
        const char s[2] = {char(ch), 0};
        Coverage g = RenderText(s, 14, 22, 0.9, &baseline);
        // Stamp the glyph with its pen baseline on row kFontBaseline, measure the outlined ink, then
        // copy it across so that ink is centred on kFontInkCentre.
        const int cellX = (ch % 16) * 16, cellY = (ch / 16 % 16) * 32;
        Canvas cell;
        StampText(cell, g, 64, cellY + kFontBaseline - baseline, st);
        int x0 = Canvas::kSize, x1 = -1;
        for (int y = cellY; y < cellY + 32; ++y)
            for (int x = 0; x < 160; ++x)
                if (cell.Opaque(x, y)) {
                    x0 = std::min(x0, x);
                    x1 = std::max(x1, x);
                }
        if (x1 < 0) return false;
        const int left = std::max(1, int(std::lround(kFontInkCentre - (x1 - x0 + 1) / 2.0)));
        const int shift = cellX + left - x0;
        // Keep a one-texel margin inside the cell, so neighbouring cells never bleed together.
        for (int y = cellY + 1; y < cellY + 31; ++y)
            for (int x = cellX + 1; x < cellX + 15; ++x)
                if (cell.Opaque(x - shift, y)) {
                    c.Put(x, y, cell.Get(x - shift, y));
                    any = true;
                }
    }
    return any;
}

bool DrawAllPictures(const std::string& grpDir) {
    Canvas title;
    DrawTitleBackdrop(title);
    Canvas menu;
    DrawLogo(menu);
    DrawMenuItems(menu);
    DrawLoadingText(menu);
    DrawGameOver(menu);
    DrawWaitingBackdrop(menu);
    Canvas play;
    DrawPlayBackdrop(play);
    DrawControlsLegend(play);
    DrawStartHint(menu);
    DrawGameOverBar(play);
    DrawCells(play);
    Canvas frames;
    DrawFrames(frames);
    Canvas font;
    if (!DrawFontSheet(font)) return false;
    return WritePalettePng(title, grpDir + "/grp_0000.png") && WritePalettePng(menu, grpDir + "/grp_0002.png") &&
           WritePalettePng(play, grpDir + "/grp_0003.png") && WritePalettePng(frames, grpDir + "/grp_0005.png") &&
           WritePalettePng(font, grpDir + "/grp_0006.png");
}

}  // namespace mkdata
