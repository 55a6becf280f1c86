// RasterRender: a software render device for the headless backend (and for any backend that wants
// a picture without a GPU). It records calls like RecordRender and also draws them into a
// 1280 x 720 RGBA image, with the same pipeline state a hardware device gets:
//
//   [X] clip space to pixels over the whole image (x = (x_clip + 1) * 640, y = (1 - y_clip) * 360),
//       vertices snapped to 1/256 pixel, pixel centres at +0.5, top-left fill rule
//   [X] triangle strip V0..V3 as two triangles; rotated quads through general triangle set-up,
//       axis-aligned quads (every unrotated sprite) through a rectangle path with the same coverage
//   [X] point sampling with wrap addressing on 512 x 512 textures (texel = floor(u * 512) mod 512)
//   [X] the pixel stage outputs the texel as it is (the blend factor carries the sprite's colour);
//       an id with no texture yields opaque black, so the fade overlay needs no texture
//   [X] blend slots 0..5: colour factors as the device creates them, alpha ONE / ZERO
//   [X] alpha-to-coverage with one sample: a pixel is written only where the texel alpha is at
//       least 0.5, so palette index 0 (alpha 0) never reaches the image in any blend kind
//   [X] blending in 16-bit fixed point, rounded to nearest on the 8-bit target
//   [ ] depth: there is no depth buffer, z is ignored
//   [ ] triangles with a vertex beyond +-32768 pixels are dropped (no clipping); axis-aligned quads
//       of any size are drawn correctly
//
// Pixels are 32-bit values holding the bytes r, g, b, a in memory order (little-endian r | g << 8
// | b << 16 | a << 24), or b, g, r, a when the channel order is set to that of an X11 window
// surface, so the image can go to the window without a conversion pass. Main thread only.
//
// Work saved without changing a pixel of colour:
//   - a quad entirely outside the image costs its set-up only;
//   - when the owner declares the alpha channel unused, a sprite whose blend keeps every colour as
//     it is (slot 1 with a colour factor of exactly zero: src * 0 + dest * 1) is not drawn;
//   - the texel column of each pixel of a rectangle is computed once per sprite, and a row whose
//     result does not depend on the destination (every sampled texel covered and the blend
//     replacing) is copied for the following pixel rows that sample the same texel row;
//   - a prepared rectangle keeps only the pixel rows from the first to the last that sample a
//     covered texel: a glyph's empty lines above and below it cost nothing;
//   - an owner that holds a whole frame can keep it as steps, each draw prepared once
//     (AddClearStep, AddDrawStep), and then draw it band by band of rows (DrawSteps), so that a
//     band's pixels stay in the processor's cache while every sprite crossing it is drawn.
//     Each pixel goes through the same operations in the same order as with Draw4, or is a copy
//     of a pixel that did (below): the same picture, whatever the bands;
//   - a draw kept as a step that is made from the same vertices, blend and texture as the last
//     frame's draw at the same place in the order (the panels' glyphs) is taken from it, as long
//     as no texture was made or released since;
//   - drawing steps from a clear on, a pixel row is a copy of the row above it until the first
//     step that draws the two otherwise (reaches only one of them, samples another texel row for
//     it, or is a triangle): the rows of a magnified backdrop, and the panel fill over it, are
//     drawn once for every texel row instead of once for every pixel row;
//   - a band goes through the list of the steps that reach it, made once a frame;
//   - a run of unchanged steps that each replace what they draw (the panels' glyphs) is drawn
//     once into a layer, which stands in for the run while it comes back unchanged.
//
// Files by concern: raster_device.cpp (device state, single draws), raster_fills.cpp (preparing
// a draw, rectangles and triangles), raster_spans.cpp (the span loops), raster_bands.cpp (steps
// drawn band by band), raster_layer.cpp (the layer), raster_textures.cpp (the texture store);
// raster_pixel.h holds what they share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/common/record_render.h"

class RasterRender : public RecordRender {
public:
    static constexpr int kWidth = 1280;
    static constexpr int kHeight = 720;
    static constexpr int kAlphaBlock = 16;  // texels summarised together (512 / 32 bits)

    // Without keepImage the device holds no image of its own: its owner gives it rows to draw
    // into with SetTarget before drawing.
    explicit RasterRender(bool keepImage = true);
    ~RasterRender() override;

    int32_t Create() override;
    void Clear() override;
    void SetBlend(int slot, const float factor[4]) override;
    void BindTexture(int32_t id) override;
    void Draw4(uint32_t firstIndex) override;
    bool CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) override;

    // The image: kWidth * kHeight pixels, top row first (nullptr without one).
    const uint32_t* Pixels() const { return image_.get(); }
    uint32_t Pixel(int x, int y) const { return image_[static_cast<size_t>(y) * kWidth + x]; }

    // Blend state as last bound (slot 0 with factor 0 after Create).
    int BlendSlot() const { return slot_; }

    // Channel order of the image: false r, g, b, a in memory (the default), true b, g, r, a.
    // Textures already made are converted, so it may be changed at any time.
    void SetBgrOrder(bool bgr);
    bool BgrOrder() const { return bgr_; }

    // Declares that nothing reads the alpha channel of the image (a window surface without one),
    // which lets colour-preserving sprites be skipped.
    void SetAlphaUnused(bool unused) { alphaUnused_ = unused; }

    // Sprites skipped because their blend leaves every colour unchanged.
    uint64_t spritesSkipped = 0;

    struct Pixel2 {
        double x, y;  // snapped, in 1/256 pixel
        double u, v;
    };
    // One draw with the blend state and texture bound when it was prepared.
    struct PreparedDraw {
        Pixel2 p[4];
        uint32_t factor[4];
        int32_t texture;        // bound id, -1 none
        int slot;
        bool rect;              // axis-aligned: drawn by the rectangle path
        bool unitColumns;       // rectangle with kept columns: one texel a pixel, left to right
        int rowFirst, rowEnd;   // the rows it can touch
        int colFirst, colEnd;   // rectangle: its pixel columns
        int32_t columns;        // rectangle: its texel columns in the column store, -1 not kept
        uint32_t blocks;        // rectangle with kept columns: the blocks of 16 texels they fall in
        bool replaces;          // each pixel it draws becomes the texel as it is, whatever it held
    };
    // A frame kept as steps, to be drawn band by band of rows. BeginSteps forgets the last
    // frame's; AddClearStep and AddDrawStep keep a clear and a draw (with the state bound now), in
    // order, as long as there is room; DrawSteps draws every step that reaches rows [first, end)
    // of the target. Each pixel ends as it would with Clear and Draw4, whatever the bands.
    static constexpr uint32_t kMaxSteps = 14970u * 3u + 64u;
    static constexpr int kBandRows = 32;  // rows a band holds in the window's software path
    void BeginSteps();
    void AddClearStep();
    void AddDrawStep(uint32_t firstIndex);
    void DrawSteps(int first, int end);
    // All the rows of the target, band by band of kBandRows rows.
    void DrawStepsInBands();
    uint32_t StepCount() const { return stepCount_; }
    // With `banded`, Clear and Draw4 keep steps and Present draws them into the image in bands of
    // kBandRows rows, as the window's software path does. Off by default: each draw goes into the
    // image at once.
    void SetBanded(bool banded);
    int32_t Present(int syncInterval) override;

    // Drawing goes to `rows`, which holds image rows from firstRow on, instead of the image
    // (nullptr: back to the image). Only rows it holds may then be cleared or drawn.
    void SetTarget(uint32_t* rows, int firstRow) {
        target_ = rows != nullptr ? rows : image_.get();
        targetFirst_ = rows != nullptr ? firstRow : 0;
    }

    // Draws kept as steps that were made again from what the last frame's draw at the same
    // place was made from, and so taken from it.
    uint64_t drawsReused = 0;
    // Rows copied from the row above for the steps that draw the two alike (before the first
    // step that does not), instead of being drawn by those steps.
    uint64_t rowsCopied = 0;
    // Layers made, and frames drawn with a layer standing in for a run of steps (see below).
    uint64_t layersMade = 0;
    uint64_t layerFrames = 0;

    void Release() override;
    void ClearHandles() override;
    void ReleaseTexture(int32_t id) override;

private:
    // Makes the draw of the four vertices at firstIndex of the last upload ready, with the
    // current blend and texture. False when it draws nothing (outside the image, skipped, or not
    // in the upload). With keepColumns its texel columns are kept in this frame's column store,
    // as long as there is room, until BeginSteps.
    bool PrepareDraw(uint32_t firstIndex, bool keepColumns, PreparedDraw* out);
    // Draws the part of a prepared draw, step `step` of the frame, in rows [rowFirst, rowEnd),
    // leaving out the rows that are drawn from a later step on (rowStart, by row; nullptr: none).
    void DrawPrepared(const PreparedDraw& d, int rowFirst, int rowEnd, uint32_t step, const uint32_t* rowStart);
    // The steps DrawSteps and MarkRowStarts go through for rows [first, end): a band's list, or
    // every step from `from` on.
    struct StepList {
        const uint32_t* list;  // nullptr: from, from + 1, ...
        uint32_t from, count;
        uint32_t operator[](uint32_t i) const { return list != nullptr ? list[i] : from + i; }
    };
    StepList StepsFor(uint32_t from, int first, int end);
    void MarkRowStarts(const StepList& steps, int first, int end);
    // Clears rows [first, end), as Clear does all of the image.
    void ClearRows(int first, int end);
    uint16_t* ColumnStore() const { return columnStore_[columnSide_].get(); }
    void DrawRect(const PreparedDraw& d, int rowFirst, int rowEnd, uint32_t step, const uint32_t* rowStart);
    void DrawTriangle(const PreparedDraw& d, const Pixel2& a, const Pixel2& b, const Pixel2& c, int rowFirst,
                      int rowEnd);
    // The RGBA copy of texture id, nullptr when it is not present.
    const uint32_t* TextureOf(int32_t id) const {
        return id >= 0 && id < kTextureSlots && textures[id].present ? rgba_[id].get() : nullptr;
    }
    uint32_t FillColumns(const PreparedDraw& d, uint16_t* cols) const;
    bool TrimToCoveredRows(PreparedDraw& d) const;

    uint32_t* Row(int j) const { return target_ + static_cast<ptrdiff_t>(j - targetFirst_) * kWidth; }

    std::unique_ptr<uint32_t[]> image_;
    uint32_t* target_ = nullptr;  // where row targetFirst_ is drawn
    int targetFirst_ = 0;
    // RGBA8 copy of every loaded texture, made when it is created; valid while the id is present.
    std::unique_ptr<uint32_t[]> rgba_[kTextureSlots];
    // The alpha of each row of that copy, by blocks of kAlphaBlock texels, one bit a block: some
    // texel covered (alpha >= 128), every texel covered, every texel opaque, every alpha 0 or 255,
    // every texel the same.
    struct RowAlpha {
        uint32_t covered, full, opaque, binary, uniform;
    };
    std::unique_ptr<RowAlpha[]> alpha_[kTextureSlots];
    bool bgr_ = false;
    bool alphaUnused_ = false;
    bool keepsColour_ = false;  // the bound blend is src * 0 + dest * 1 on every colour channel
    int slot_ = 0;
    uint32_t factor_[4] = {};   // blend factor, 0..65536
    int32_t bound_ = -1;        // bound texture id, -1 none
    uint16_t cols_[kWidth] = {};  // texel column of each pixel of the current rectangle
    // Texel columns of prepared rectangles: this frame's store, and the last frame's.
    static constexpr int kColumnStore = 64 * kWidth;
    std::unique_ptr<uint16_t[]> columnStore_[2];
    int columnSide_ = 0;
    int columnsUsed_ = 0;
    // What the last frame's draws kept as steps were made from (the vertices, the state bound
    // then and the textures' generation, which every texture made, released or converted moves
    // on) and what each gave, by their place in the frame's order.
    struct DrawMemo {
        Vertex v[4];
        uint32_t factor[4];
        uint64_t generation;
        int32_t texture;
        int slot;          // -1: nothing to compare with
        bool textured;     // the texture was present
        bool drawn;
        PreparedDraw draw;
    };
    std::unique_ptr<DrawMemo[]> memo_;
    uint32_t memoCount_ = 0;  // entries made in the last frame
    uint32_t memoNext_ = 0;   // the place of the next draw of this frame
    uint64_t textureGeneration_ = 0;
    // The kept steps, and the rows each reaches (first | end << 16) so that a band looks past
    // the steps it does not cross without reading them.
    struct Step {
        bool clear;
        bool reused;     // the draw was taken from the last frame's at the same place
        uint32_t place;  // that place in the frame's order
        PreparedDraw draw;
    };
    std::unique_ptr<Step[]> steps_;
    std::unique_ptr<uint32_t[]> stepRows_;
    uint32_t stepCount_ = 0;
    int32_t lastClear_ = -1;  // the last clear step, -1 none
    // While drawing steps: the step each row is drawn from; before it the row is a copy of the
    // row above. The rows in the order they are copied.
    static constexpr uint32_t kNoStep = ~0u;
    uint32_t rowStart_[kHeight] = {};
    int16_t rowOrder_[kHeight] = {};
    // The steps from the last clear on that reach each band of kBandRows rows, in order, so that
    // a band does not look at the others' (made when the first band is drawn; invalid when a step
    // is added). A band's list is bandSteps_[bandFirst_[b], bandFirst_[b + 1]).
    static constexpr int kBands = (kHeight + kBandRows - 1) / kBandRows;
    static constexpr uint32_t kMaxBandSteps = 4 * kMaxSteps;
    std::unique_ptr<uint32_t[]> bandSteps_;
    uint32_t bandFirst_[kBands + 1] = {};
    bool planned_ = false;   // the lists (and the layer) are those of the steps kept now
    bool bandsFit_ = false;  // and the lists held them all
    // Done before the first band of the steps kept now is drawn: the layer, then the lists.
    void PlanSteps();
    void SortStepsIntoBands();
    // The rows step k reaches as DrawSteps sees it (first | end << 16): the layer's rows for the
    // first step of its run, none for the others.
    uint32_t RowsOf(uint32_t k) const {
        if (layerEnd_ != 0 && k >= layerFirst_ && k < layerEnd_) return k == layerFirst_ ? layerRows_ : 0;
        return stepRows_[k];
    }

    // The layer: a run of at least kLayerSteps steps in a row that each replace the pixels they
    // draw and were each taken from the last frame (the panels' glyphs) is drawn once, in order,
    // into a picture of its own; from then on, for as long as the same run comes back each
    // frame, that picture is put where the run's first step is drawn and the run's other steps
    // are passed over. Each pixel gets the last texel of the run that covers it, as with the
    // steps themselves. Kept by row: the span from the first to the last covered pixel.
    // A run of large opaque sprites (the game's well) would fill much of the image and gain
    // nothing: the layer holds at most a quarter of the image's pixels.
    static constexpr uint32_t kLayerSteps = 32;
    static constexpr uint32_t kLayerPixels = kWidth * kHeight / 4;
    void PlanLayer();
    bool MakeLayer(uint32_t first, uint32_t end);
    void DrawLayer(int first, int end, uint32_t step, const uint32_t* rowStart);
    bool LayerRowCovered(int j) const { return layerSpan_[j][1] > layerSpan_[j][0]; }
    std::unique_ptr<uint32_t[]> layerPixels_;  // the rows' spans, one after the other
    std::unique_ptr<uint32_t[]> layerScratch_;  // kBandRows rows the run is drawn into
    uint32_t layerOffset_[kHeight] = {};        // where each row's span starts in layerPixels_
    int16_t layerSpan_[kHeight][2] = {};         // each row's span: first column, end column
    uint32_t layerRows_ = 0;                     // the rows the layer holds (first | end << 16)
    uint32_t layerFirst_ = 0, layerEnd_ = 0;     // its run's steps this frame; layerEnd_ 0: none
    // What it was made from: the places of its first and last steps and the steps in between,
    // and the last frame that run was seen in (0: none), as BeginSteps counts them.
    uint32_t layerPlaceFirst_ = 0, layerPlaceLast_ = 0, layerCount_ = 0;
    uint64_t layerFrame_ = 0;
    bool layerFits_ = false;  // the layer of that run was made
    uint64_t frameNumber_ = 1;
    bool banded_ = false;
};
