// DrawParam: the sprite draw-parameter record, 23 fields of 32 bits. Callers zero the whole record,
// then fill what they need (a zeroed record has colour 0: fully transparent, and scale 0).
#pragma once

#include <cstdint>

struct DrawParam {
    int32_t x;           // left edge of the destination, logical pixels
    int32_t y;           // top edge of the destination
    int32_t reserved2;
    int32_t w;           // destination width before scaling
    int32_t h;           // destination height before scaling
    int32_t srcX;        // source rectangle, texels
    int32_t srcY;
    int32_t srcW;
    int32_t srcH;
    int32_t reserved9;
    int32_t reserved10;
    float scaleX;        // scale about the pivot, 1.0 = none
    float scaleY;
    int32_t flip;        // 0 none, 1 mirror horizontally, 2 vertically, 3 both; others act as 0
    float pivotX;        // pivot offset from x, logical pixels
    float pivotY;
    int32_t reserved16;
    int32_t angleX;      // rotation about the horizontal axis, 256ths of a turn
    int32_t angleY;      // about the vertical axis
    int32_t angleZ;      // in the screen plane
    int32_t blendMode;   // 0 tint and fade from colour, 1 blend kind 3, others kind 0
    uint32_t colour;     // ARGB, alpha in the top byte; 0xFFFFFFFF untinted and opaque
    int32_t texture;     // texture id
};
static_assert(sizeof(DrawParam) == 92, "DrawParam is 23 fields of 32 bits");

// The record most screens draw with: a destination and a source rectangle, no scaling, rotation
// or mirroring, blend mode 0 and the given colour; every other field zero.
inline DrawParam MakeDrawParam(int32_t texture, int32_t x, int32_t y, int32_t w, int32_t h,
                               int32_t srcX, int32_t srcY, int32_t srcW, int32_t srcH,
                               uint32_t colour = 0xFFFFFFFFu) {
    DrawParam p{};
    p.x = x;
    p.y = y;
    p.w = w;
    p.h = h;
    p.srcX = srcX;
    p.srcY = srcY;
    p.srcW = srcW;
    p.srcH = srcH;
    p.scaleX = 1.0f;
    p.scaleY = 1.0f;
    p.colour = colour;
    p.texture = texture;
    return p;
}
