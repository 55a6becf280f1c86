// kelvorine-mkdata: generates the default data folder (pictures, font sheet, effects, music, lists).
// Everything is drawn or synthesised here from code, so the output is the same bytes on every run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mkdata {

// ------------------------------------------------------------------ pictures

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t);     // a + (b - a) * t
Rgb Scale(Rgb a, double k);          // every channel times k, clamped later
Rgb Hex(uint32_t rgb);               // 0xRRGGBB

// A 512 x 512 picture. A pixel is transparent (palette index 0) or an opaque colour; colours
// are snapped to the 5-bit channels of the game's 16-bit textures when the picture is written.
class Canvas {
public:
    static constexpr int kSize = 512;
    Canvas();
    void Put(int x, int y, Rgb c);                 // opaque pixel, no dithering
    void PutDither(int x, int y, Rgb c);           // opaque pixel, ordered dithering to 5 bits
    void Blend(int x, int y, Rgb c, double alpha); // over an opaque pixel (or onto nothing: Put)
    void Clear(int x, int y, int w, int h);        // transparent
    void Fill(int x, int y, int w, int h, Rgb c);
    bool Opaque(int x, int y) const;
    Rgb Get(int x, int y) const;
    uint32_t Raw(int x, int y) const { return px_[y * kSize + x]; }  // 0 or 0xFF000000 | rgb

private:
    std::vector<uint32_t> px_;
};

// Palette PNG (colour type 3, 8 bits), index 0 transparent. False when the file cannot be written.
bool WritePalettePng(const Canvas& c, const std::string& path);

// Coverage bitmap of a text line (0..255 per texel).
struct Coverage {
    int w = 0, h = 0;
    std::vector<uint8_t> a;
    uint8_t At(int x, int y) const {
        return (x < 0 || y < 0 || x >= w || y >= h) ? 0 : a[y * w + x];
    }
};

// FreeType text rendering from the VL Gothic font file.
bool OpenFont(const std::string& ttfPath);
void CloseFont();
// Renders UTF-8 text with an em of emX x emY pixels; embolden in pixels; baseline row returned in
// *baseline.
Coverage RenderText(const std::string& text, int emX, int emY, double embolden, int* baseline);
// Largest rendering (tight bounds) of text that fits maxW x maxH.
Coverage FitText(const std::string& text, int maxW, int maxH, double emboldenPerEm, double aspect);
// Tight crop of a coverage bitmap.
Coverage Crop(const Coverage& c);

bool DrawAllPictures(const std::string& grpDir);   // grp_0000/0002/0003/0005/0006.png
bool DrawFontSheet(Canvas& c);                    // texture 6

// ------------------------------------------------------------------ sounds

constexpr int kRate = 44100;

// Interleaved stereo 16-bit PCM.
struct Pcm {
    std::vector<int16_t> s;  // L, R, L, R ...
    uint32_t Frames() const { return static_cast<uint32_t>(s.size() / 2); }
};

struct Music {
    Pcm pcm;
    uint32_t loopStart = 0;   // sample frames
    uint32_t loopLength = 0;  // sample frames
};

Music ComposePlayMusic();
Music ComposeQuietLoop();
Pcm MakeEffectConfirm();    // effect 0: menus and pause
Pcm MakeEffectFourLines();  // effect 11
Pcm MakeEffectLines();      // effect 14: one to three lines
Pcm MakeEffectTick();       // every unused effect id

bool WriteWav(const Pcm& p, const std::string& path);
bool WriteOgg(const Pcm& p, const std::string& path, float quality);
bool WriteLoopFile(const std::string& musicPath, uint32_t loopStart, uint32_t loopLength);

// ------------------------------------------------------------------ files

bool WriteBytes(const std::string& path, const void* data, size_t size);
bool MakeFolder(const std::string& path);
// UTF-16 LE list with a byte-order mark: one record of exactly 16 code units + CR LF per name;
// shorter names are padded with zero units.
std::vector<uint8_t> BuildList(const std::vector<std::string>& names);

// ------------------------------------------------------------------ desktop icons

// OUT/<n>x<n>/apps/kelvorine.png for n = 48, 64, 128, 256, drawn from the block cells of the
// data folder's texture 3. False with *problem when the cells cannot be read or a file written.
bool WriteIcons(const std::string& dataDir, const std::string& outDir, std::string* problem);

}  // namespace mkdata
