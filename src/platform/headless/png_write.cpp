#include "platform/headless/png_write.h"

#include <png.h>

#include <csetjmp>
#include <vector>

#include "platform/file.h"
#include "platform/common/text.h"

namespace {

[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

void Append(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void NoFlush(png_structp) {}

// Encodes into `out`. The only frame that arms setjmp; the vectors it touches belong to the caller.
bool Encode(png_structp png, png_infop info, const uint32_t* pixels, int width, int height,
            bool keepAlpha, std::vector<uint8_t>* out, std::vector<uint8_t>* row) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, Append, NoFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 keepAlpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);  // frames are written often; size matters less
    png_write_info(png, info);
    const int channels = keepAlpha ? 4 : 3;
    for (int y = 0; y < height; ++y) {
        const uint32_t* src = pixels + static_cast<size_t>(y) * width;
        uint8_t* dst = row->data();
        for (int x = 0; x < width; ++x, dst += channels) {
            const uint32_t p = src[x];
            dst[0] = static_cast<uint8_t>(p);
            dst[1] = static_cast<uint8_t>(p >> 8);
            dst[2] = static_cast<uint8_t>(p >> 16);
            if (keepAlpha) dst[3] = static_cast<uint8_t>(p >> 24);
        }
        png_write_row(png, row->data());
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

bool WritePngU16(const char16_t* path, const uint32_t* pixels, int width, int height, bool keepAlpha) {
    if (pixels == nullptr || width <= 0 || height <= 0 || width > 65535 || height > 65535) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<uint8_t> out;
    std::vector<uint8_t> row(static_cast<size_t>(width) * 4);
    const bool ok = Encode(png, info, pixels, width, height, keepAlpha, &out, &row);
    png_destroy_write_struct(&png, &info);
    return ok && WriteFileAtomicU16(path, out.data(), out.size());
}

bool WritePng(const char* path, const uint32_t* pixels, int width, int height, bool keepAlpha) {
    char16_t wide[kPathChars];
    if (!HostBytesToU16(path, wide, kPathChars)) return false;
    return WritePngU16(wide, pixels, width, height, keepAlpha);
}
