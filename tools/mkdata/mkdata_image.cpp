// Canvas and palette PNG output.
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "mkdata.h"

namespace mkdata {

namespace {

uint8_t Clamp8(double v) {
    if (v <= 0.0) return 0;
    if (v >= 255.0) return 255;
    return static_cast<uint8_t>(v + 0.5);
}

// The game keeps 5 bits per channel; replicate the top bits so 31 maps back to 255.
uint8_t Snap5(uint8_t v) {
    uint8_t q = static_cast<uint8_t>(v >> 3);
    return static_cast<uint8_t>((q << 3) | (q >> 2));
}

uint32_t Pack(uint8_t r, uint8_t g, uint8_t b) {
    return 0xFF000000u | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}

const int kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// Ordered dithering of one channel to the 5-bit grid (steps of 255/31).
uint8_t Dither5(double v, int x, int y) {
    const double step = 255.0 / 31.0;
    double t = (kBayer[y & 3][x & 3] + 0.5) / 16.0;
    double q = std::floor(v / step + t);
    if (q < 0) q = 0;
    if (q > 31) q = 31;
    return Clamp8(q * step);
}

}  // namespace

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scale(Rgb a, double k) { return {a.r * k, a.g * k, a.b * k}; }

Rgb Hex(uint32_t rgb) {
    return {double((rgb >> 16) & 255), double((rgb >> 8) & 255), double(rgb & 255)};
}

Canvas::Canvas() : px_(size_t(kSize) * kSize, 0u) {}

void Canvas::Put(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= kSize || y >= kSize) return;
    px_[y * kSize + x] = Pack(Clamp8(c.r), Clamp8(c.g), Clamp8(c.b));
}

void Canvas::PutDither(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= kSize || y >= kSize) return;
    px_[y * kSize + x] = Pack(Dither5(c.r, x, y), Dither5(c.g, x, y), Dither5(c.b, x, y));
}

void Canvas::Blend(int x, int y, Rgb c, double alpha) {
    if (x < 0 || y < 0 || x >= kSize || y >= kSize) return;
    if (!Opaque(x, y)) {
        Put(x, y, c);
        return;
    }
    Put(x, y, Mix(Get(x, y), c, alpha));
}

void Canvas::Clear(int x, int y, int w, int h) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i)
            if (i >= 0 && j >= 0 && i < kSize && j < kSize) px_[j * kSize + i] = 0;
}

void Canvas::Fill(int x, int y, int w, int h, Rgb c) {
    for (int j = y; j < y + h; ++j)
        for (int i = x; i < x + w; ++i) Put(i, j, c);
}

bool Canvas::Opaque(int x, int y) const {
    return x >= 0 && y >= 0 && x < kSize && y < kSize && px_[y * kSize + x] != 0;
}

Rgb Canvas::Get(int x, int y) const {
    uint32_t v = (x >= 0 && y >= 0 && x < kSize && y < kSize) ? px_[y * kSize + x] : 0;
    return {double((v >> 16) & 255), double((v >> 8) & 255), double(v & 255)};
}

namespace {

struct Box {
    std::vector<std::pair<uint32_t, uint32_t>> colours;  // (rgb, count)
};

int Channel(uint32_t rgb, int c) { return (rgb >> (16 - 8 * c)) & 255; }

// Median cut over the colour histogram, deterministic (stable sorts, fixed tie rules).
std::vector<uint32_t> MedianCut(std::vector<std::pair<uint32_t, uint32_t>> hist, size_t n) {
    std::vector<Box> boxes(1);
    boxes[0].colours = std::move(hist);
    while (boxes.size() < n) {
        int best = -1, bestAxis = 0, bestRange = 0;
        for (size_t i = 0; i < boxes.size(); ++i) {
            if (boxes[i].colours.size() < 2) continue;
            for (int c = 0; c < 3; ++c) {
                int lo = 255, hi = 0;
                for (auto& e : boxes[i].colours) {
                    lo = std::min(lo, Channel(e.first, c));
                    hi = std::max(hi, Channel(e.first, c));
                }
                if (hi - lo > bestRange) {
                    bestRange = hi - lo;
                    best = int(i);
                    bestAxis = c;
                }
            }
        }
        if (best < 0) break;
        auto& v = boxes[best].colours;
        std::stable_sort(v.begin(), v.end(), [bestAxis](auto& a, auto& b) {
            return Channel(a.first, bestAxis) < Channel(b.first, bestAxis);
        });
        uint64_t total = 0, acc = 0;
        for (auto& e : v) total += e.second;
        size_t cut = 1;
        for (size_t i = 0; i + 1 < v.size(); ++i) {
            acc += v[i].second;
            cut = i + 1;
            if (acc * 2 >= total) break;
        }
        Box other;
        other.colours.assign(v.begin() + cut, v.end());
        v.resize(cut);
        boxes.push_back(std::move(other));
    }
    std::vector<uint32_t> pal;
    for (auto& b : boxes) {
        double s[3] = {0, 0, 0};
        double w = 0;
        for (auto& e : b.colours) {
            for (int c = 0; c < 3; ++c) s[c] += double(Channel(e.first, c)) * e.second;
            w += e.second;
        }
        uint8_t r = Snap5(Clamp8(s[0] / w)), g = Snap5(Clamp8(s[1] / w)), bl = Snap5(Clamp8(s[2] / w));
        pal.push_back((uint32_t(r) << 16) | (uint32_t(g) << 8) | bl);
    }
    return pal;
}

int Nearest(uint32_t rgb, const std::vector<uint32_t>& pal) {
    int best = 0;
    long bestD = -1;
    for (size_t i = 0; i < pal.size(); ++i) {
        long d = 0;
        for (int k = 0; k < 3; ++k) {
            const long dd = Channel(rgb, k) - Channel(pal[i], k);
            d += dd * dd;
        }
        if (bestD < 0 || d < bestD) {
            bestD = d;
            best = int(i);
        }
    }
    return best;
}

// A few rounds of k-means after the median cut: each entry moves to the weighted mean of the
// colours that map to it, which keeps dark gradients from drifting in hue.
void RefinePalette(const std::vector<std::pair<uint32_t, uint32_t>>& hist, std::vector<uint32_t>& pal) {
    for (int round = 0; round < 6; ++round) {
        std::vector<double> sum(pal.size() * 3, 0.0), weight(pal.size(), 0.0);
        for (auto& e : hist) {
            const int i = Nearest(e.first, pal);
            for (int k = 0; k < 3; ++k) sum[i * 3 + k] += double(Channel(e.first, k)) * e.second;
            weight[i] += e.second;
        }
        for (size_t i = 0; i < pal.size(); ++i) {
            if (weight[i] == 0) continue;
            const uint8_t r = Snap5(Clamp8(sum[i * 3] / weight[i]));
            const uint8_t g = Snap5(Clamp8(sum[i * 3 + 1] / weight[i]));
            const uint8_t b = Snap5(Clamp8(sum[i * 3 + 2] / weight[i]));
            pal[i] = (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
        }
    }
}

}  // namespace

bool WritePalettePng(const Canvas& c, const std::string& path) {
    const int n = Canvas::kSize;
    // Histogram of the snapped opaque colours.
    std::map<uint32_t, uint32_t> counts;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            uint32_t v = c.Raw(x, y);
            if (v == 0) continue;
            uint32_t rgb = (uint32_t(Snap5((v >> 16) & 255)) << 16) |
                           (uint32_t(Snap5((v >> 8) & 255)) << 8) | Snap5(v & 255);
            ++counts[rgb];
        }
    std::vector<std::pair<uint32_t, uint32_t>> hist(counts.begin(), counts.end());
    std::vector<uint32_t> pal;
    if (hist.size() <= 255) {
        for (auto& e : hist) pal.push_back(e.first);
    } else {
        pal = MedianCut(hist, 255);
    }
    if (hist.size() > 255) RefinePalette(hist, pal);
    std::map<uint32_t, uint8_t> index;
    for (auto& e : hist) {
        int best = 0;
        long bestD = -1;
        for (size_t i = 0; i < pal.size(); ++i) {
            long d = 0;
            for (int k = 0; k < 3; ++k) {
                long dd = Channel(e.first, k) - Channel(pal[i], k);
                d += dd * dd;
            }
            if (bestD < 0 || d < bestD) {
                bestD = d;
                best = int(i);
            }
        }
        index[e.first] = uint8_t(best + 1);
    }

    std::vector<uint8_t> rows(size_t(n) * n, 0);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            uint32_t v = c.Raw(x, y);
            if (v == 0) continue;
            uint32_t rgb = (uint32_t(Snap5((v >> 16) & 255)) << 16) |
                           (uint32_t(Snap5((v >> 8) & 255)) << 8) | Snap5(v & 255);
            rows[size_t(y) * n + x] = index[rgb];
        }

    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (png == nullptr || info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, n, n, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color plte[256] = {};
    for (size_t i = 0; i < pal.size(); ++i) {
        plte[i + 1].red = uint8_t(pal[i] >> 16);
        plte[i + 1].green = uint8_t(pal[i] >> 8);
        plte[i + 1].blue = uint8_t(pal[i]);
    }
    png_set_PLTE(png, info, plte, int(pal.size() + 1));
    // Index 0 is transparent in the game anyway; the chunk lets ordinary viewers show it too.
    png_byte trans[1] = {0};
    png_set_tRNS(png, info, trans, 1, nullptr);
    png_set_compression_level(png, 9);
    png_write_info(png, info);
    for (int y = 0; y < n; ++y) png_write_row(png, &rows[size_t(y) * n]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

}  // namespace mkdata
