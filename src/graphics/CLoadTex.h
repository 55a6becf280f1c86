// CLoadTex: decodes one palette PNG file into one texture id of the renderer. Short-lived: built
// on the stack for a load, owns nothing. Main thread only.
#pragma once

#include <cstdint>

class CDx_Gr;

constexpr int32_t kTextureColourDepth = 16;  // the game's textures are 16-bit B5G5R5A1

class CLoadTex {
public:
    CLoadTex(CDx_Gr* renderer, int32_t colourDepth);
    virtual ~CLoadTex();

    CDx_Gr* renderer;
    int32_t colourDepth;  // 16: 16-bit textures, 32: 32-bit textures, otherwise no texture

    // Loads the 512 x 512 PNG at path into texture `id`. Palette images (1, 2, 4 or 8 bits per
    // index) keep index 0 as the transparent colour; 8-bit RGB images become opaque textures of
    // their own colours. Every failure tells the player its message about the path and returns
    // false: a missing file, more than 8 bits per channel, another colour type, a size other
    // than 512 x 512, or a file the decoder rejects (corrupt or truncated).
    bool LoadPng(int32_t id, const char16_t* path);

};
