// PNG output of rendered images, for tests, the replay tool and screenshots of the software device.
#pragma once

#include <cstdint>

// Writes a width x height image (pixels: bytes r, g, b, a in memory order, top row first) as a PNG
// file. The presented picture ignores alpha, so by default an opaque RGB file is written;
// keepAlpha writes RGBA. The file is replaced atomically: on any failure (encoder error, a path
// that cannot be written) false is returned and an older file stays as it was.
bool WritePngU16(const char16_t* path, const uint32_t* pixels, int width, int height, bool keepAlpha = false);
// The same with a UTF-8 path (command-line arguments).
bool WritePng(const char* path, const uint32_t* pixels, int width, int height, bool keepAlpha = false);
