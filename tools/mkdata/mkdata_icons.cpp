// Application icons for desktop menus, cut from the game's own block cells: a T piece landing on a
// small stack, four cells across, at each size of the hicolor icon theme.
#include <png.h>

#include <cstring>
#include <vector>

#include "mkdata.h"

namespace mkdata {

namespace {

// Block cells of texture 3: cell v at (192 + 8v, 256), 8 x 8 texels; 0 is empty.
constexpr int kCellTexels = 8;
constexpr int kCellsX = 192;
constexpr int kCellsY = 256;
constexpr int kGrid = 4;
constexpr int kPattern[kGrid][kGrid] = {
    {0, 0, 3, 0},  // T, violet
    {0, 3, 3, 3},
    {7, 6, 6, 4},  // I cyan, O yellow, L orange
    {7, 6, 6, 4},
};
constexpr int kSupersample = 4;  // per axis, for sizes that are not a multiple of 32

struct Image {
    int w = 0, h = 0;
    std::vector<uint8_t> rgba;
};

bool ReadRgba(const std::string& path, Image* out) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    image.format = PNG_FORMAT_RGBA;
    out->w = static_cast<int>(image.width);
    out->h = static_cast<int>(image.height);
    out->rgba.assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, out->rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    return true;
}

bool WriteRgba(const std::string& path, const Image& img) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(img.w);
    image.height = static_cast<png_uint_32>(img.h);
    image.format = PNG_FORMAT_RGBA;
    return png_image_write_to_file(&image, path.c_str(), 0, img.rgba.data(), 0, nullptr) != 0;
}

// One icon of size x size pixels; each pixel averages kSupersample^2 point samples of the cells.
Image DrawIcon(const Image& cells, int size) {
    Image icon;
    icon.w = icon.h = size;
    icon.rgba.assign(size_t(size) * size * 4, 0);
    const double texelsPerPixel = double(kGrid * kCellTexels) / size;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            double sum[4] = {0, 0, 0, 0};
            for (int sy = 0; sy < kSupersample; ++sy) {
                for (int sx = 0; sx < kSupersample; ++sx) {
                    const int tx = int((x + (sx + 0.5) / kSupersample) * texelsPerPixel);
                    const int ty = int((y + (sy + 0.5) / kSupersample) * texelsPerPixel);
                    const int v = kPattern[ty / kCellTexels][tx / kCellTexels];
                    if (v == 0) continue;
                    const int cx = kCellsX + kCellTexels * v + tx % kCellTexels;
                    const int cy = kCellsY + ty % kCellTexels;
                    const uint8_t* p = &cells.rgba[(size_t(cy) * cells.w + cx) * 4];
                    const double a = p[3] / 255.0;
                    for (int k = 0; k < 3; ++k) sum[k] += p[k] * a;
                    sum[3] += a;
                }
            }
            uint8_t* out = &icon.rgba[(size_t(y) * size + x) * 4];
            const double n = kSupersample * kSupersample;
            if (sum[3] > 0) {
                for (int k = 0; k < 3; ++k) out[k] = uint8_t(sum[k] / sum[3] + 0.5);
            }
            out[3] = uint8_t(sum[3] / n * 255.0 + 0.5);
        }
    }
    return icon;
}

}  // namespace

bool WriteIcons(const std::string& dataDir, const std::string& outDir, std::string* problem) {
    const std::string source = dataDir + "/grp/grp_0003.png";
    Image cells;
    if (!ReadRgba(source, &cells) || cells.w < 512 || cells.h < 512) {
        *problem = "cannot read the block cells in " + source;
        return false;
    }
    // Every cell the icon uses must be opaque in its centre, or the data has no blocks to show.
    for (const auto& row : kPattern) {
        for (int v : row) {
            if (v == 0) continue;
            const int cx = kCellsX + kCellTexels * v + kCellTexels / 2, cy = kCellsY + kCellTexels / 2;
            if (cells.rgba[(size_t(cy) * cells.w + cx) * 4 + 3] == 0) {
                *problem = "no block cell " + std::to_string(v) + " in " + source;
                return false;
            }
        }
    }
    for (int size : {48, 64, 128, 256}) {
        const std::string dim = std::to_string(size) + "x" + std::to_string(size);
        const std::string folder = outDir + "/" + dim + "/apps";
        if (!MakeFolder(outDir) || !MakeFolder(outDir + "/" + dim) || !MakeFolder(folder)) {
            *problem = "cannot create folder " + folder;
            return false;
        }
        if (!WriteRgba(folder + "/kelvorine.png", DrawIcon(cells, size))) {
            *problem = "cannot write " + folder + "/kelvorine.png";
            return false;
        }
    }
    return true;
}

}  // namespace mkdata
