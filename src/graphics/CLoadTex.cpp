// Palette PNG decoding with libpng into a 512 x 512 DIB, then into a texture of the renderer.
//
// libpng reports decoder errors (bad CRC, a truncated stream, broken zlib data) by calling the
// error callback, which must not return. The callback jumps back into Decode(), the only frame
// that arms setjmp; Decode() keeps nothing that needs cleaning up, and LoadPng() frees the libpng
// structures, the pixel buffer and the file on every path. A damaged file is a failed load with a
// message, never a stop inside the decoder.
#include "graphics/CLoadTex.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "graphics/CDx_Gr.h"
#include "platform/file.h"
#include "platform/platform.h"
#include "platform/common/text.h"
#include "core/Messages.h"


namespace {

constexpr png_uint_32 kSide = kTextureSide;
constexpr size_t kMaxImageBytes = kSide * kSide * 3;  // the largest image: 8-bit RGB

enum class Step { Ok, TooManyColours, BadColourType, BadSize, Corrupt };

[[noreturn]] void OnPngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void OnPngWarning(png_structp, png_const_charp) {}

// Our own read callback: the FILE stays on the side of the C runtime that opened it.
void ReadBytes(png_structp png, png_bytep data, size_t length) {
    FILE* f = static_cast<FILE*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, f) != length) png_error(png, "unexpected end of file");
}

// Reads the header and the whole image into `pixels` as a bottom-up DIB (stride 512 for 8-bit
// indices, 1536 for BGR), filling `dib`. Writes only through its pointer arguments, so a jump
// back from the error callback leaves nothing half-owned here.
Step Decode(png_structp png, png_infop info, uint8_t* pixels, Dib* dib) {
    png_bytep rows[kSide];
    if (setjmp(png_jmpbuf(png))) return Step::Corrupt;

    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, type = 0, interlace = 0, compression = 0, filter = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, &interlace, &compression, &filter);

    if (depth > 8) return Step::TooManyColours;
    if (depth < 8) png_set_packing(png);  // one byte per index

    int bitsPerPixel;
    if (type == PNG_COLOR_TYPE_PALETTE) {
        bitsPerPixel = 8;
        png_colorp palette = nullptr;
        int entries = 0;
        if (png_get_PLTE(png, info, &palette, &entries) != 0 && palette != nullptr) {
            if (entries > 256) entries = 256;
            for (int i = 0; i < entries; ++i) {
                dib->colorTable[i][0] = palette[i].blue;
                dib->colorTable[i][1] = palette[i].green;
                dib->colorTable[i][2] = palette[i].red;
                dib->colorTable[i][3] = 0;
            }
        }
    } else if (type == PNG_COLOR_TYPE_RGB) {
        bitsPerPixel = 24;
    } else {
        return Step::BadColourType;
    }
    // The texture is always 512 x 512; rows of another size would land in the wrong places.
    if (width != kSide || height != kSide) return Step::BadSize;

    const size_t stride = kSide * static_cast<size_t>(bitsPerPixel / 8);
    for (png_uint_32 i = 0; i < kSide; ++i) rows[i] = pixels + stride * (kSide - 1 - i);
    png_read_image(png, rows);
    png_read_end(png, nullptr);

    if (bitsPerPixel == 24) {
        // RGB to the DIB's BGR order.
        for (size_t k = 0; k < stride * kSide; k += 3) {
            const uint8_t t = pixels[k];
            pixels[k] = pixels[k + 2];
            pixels[k + 2] = t;
        }
    }
    dib->width = static_cast<int32_t>(kSide);
    dib->height = static_cast<int32_t>(kSide);
    dib->bitsPerPixel = bitsPerPixel;
    dib->bits = pixels;
    return Step::Ok;
}

}  // namespace

CLoadTex::CLoadTex(CDx_Gr* r, int32_t depth) : renderer(r), colourDepth(depth) {}

CLoadTex::~CLoadTex() = default;

bool CLoadTex::LoadPng(int32_t id, const char16_t* path) {
    // A folder opens as a stream on some systems; only a regular file is a texture file.
    FILE* f = OpenFileU16(path, "rb");
    if (f == nullptr) {
        TellOpenFailure(path, errno);
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnPngError, OnPngWarning);
    if (png == nullptr) {
        std::fclose(f);
        Tell(MessageId::kPngNoReadStruct, path);
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        std::fclose(f);
        Tell(MessageId::kPngNoInfoStruct, path);
        return false;
    }
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[kMaxImageBytes]);
    if (!pixels) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        Tell(MessageId::kPngNoMemory, path);
        return false;
    }
    png_set_read_fn(png, f, ReadBytes);

    Dib dib;
    std::memset(&dib, 0, sizeof dib);
    const Step step = Decode(png, info, pixels.get(), &dib);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);

    switch (step) {
        case Step::Ok:
            break;
        case Step::TooManyColours:
            Tell(MessageId::kPngTooManyColours, path);
            return false;
        case Step::BadColourType:
            Tell(MessageId::kPngBadColourType, path);
            return false;
        case Step::BadSize:
            Tell(MessageId::kPngBadSize, path);
            return false;
        case Step::Corrupt:
            Tell(MessageId::kPngCorrupt, path);
            return false;
    }

    if (colourDepth == 16) return renderer->CreateTexture16(id, dib);
    if (colourDepth == 32) return renderer->CreateTexture32(id, dib);
    return true;
}
