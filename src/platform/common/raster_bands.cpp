// Frames kept as steps and drawn band by band of rows: the bands' step lists, rows copied from
// the row above, and the clears.
#include <algorithm>
#include <cstring>

#include "platform/common/raster_pixel.h"

using namespace raster_impl;

void RasterRender::SetBanded(bool banded) {
    banded_ = banded;
    BeginSteps();
}

void RasterRender::BeginSteps() {
    if (!steps_) {
        // Made once; pages are only touched as far as frames use them.
        steps_.reset(new Step[kMaxSteps]);
        stepRows_.reset(new uint32_t[kMaxSteps]);
        memo_.reset(new DrawMemo[kMaxSteps]);
        columnStore_[1].reset(new uint16_t[kColumnStore]);
        bandSteps_.reset(new uint32_t[kMaxBandSteps]);
        memoNext_ = 0;
    }
    planned_ = false;
    ++frameNumber_;
    stepCount_ = 0;
    lastClear_ = -1;
    // The draws made in the frame that ends are what the next one compares with; its columns
    // stay where they are while this frame's go into the other store.
    memoCount_ = memoNext_;
    memoNext_ = 0;
    columnSide_ ^= 1;
    columnsUsed_ = 0;
}

void RasterRender::AddClearStep() {
    if (!steps_ || stepCount_ == kMaxSteps) return;
    planned_ = false;
    steps_[stepCount_].clear = true;
    lastClear_ = static_cast<int32_t>(stepCount_);
    stepRows_[stepCount_++] = static_cast<uint32_t>(kHeight) << 16;
}

void RasterRender::AddDrawStep(uint32_t firstIndex) {
    if (!steps_ || stepCount_ == kMaxSteps) return;
    planned_ = false;
    Step& s = steps_[stepCount_];
    s.clear = false;
    s.reused = false;
    s.place = memoNext_;
    const bool inUpload = lastUpload != nullptr && firstIndex <= lastUploadCount && lastUploadCount - firstIndex >= 4;
    if (memoNext_ == kMaxSteps || !inUpload || (keepsColour_ && alphaUnused_)) {
        // Nothing to compare by (or a draw skipped at once): made as it is.
        if (memoNext_ < kMaxSteps) memo_[memoNext_++].slot = -1;
        if (!PrepareDraw(firstIndex, true, &s.draw)) return;
    } else {
        DrawMemo& m = memo_[memoNext_++];
        const Vertex* v = lastUpload + firstIndex;
        const bool textured = TextureOf(bound_) != nullptr;
        const bool same = memoNext_ <= memoCount_ && m.generation == textureGeneration_ && m.slot == slot_ &&
                          m.texture == bound_ && m.textured == textured &&
                          std::memcmp(m.factor, factor_, sizeof m.factor) == 0 &&
                          std::memcmp(m.v, v, sizeof m.v) == 0;
        if (same && (!m.drawn || m.draw.columns < 0 || kColumnStore - columnsUsed_ >= m.draw.colEnd - m.draw.colFirst)) {
            // Made from the same as the last frame's: the same draw, its columns moved over.
            ++drawsReused;
            if (!m.drawn) return;
            s.reused = true;
            if (m.draw.columns >= 0) {
                const int n = m.draw.colEnd - m.draw.colFirst;
                std::memcpy(ColumnStore() + columnsUsed_, columnStore_[columnSide_ ^ 1].get() + m.draw.columns,
                            sizeof(uint16_t) * n);
                m.draw.columns = columnsUsed_;
                columnsUsed_ += n;
            }
            s.draw = m.draw;
        } else {
            std::memcpy(m.v, v, sizeof m.v);
            std::memcpy(m.factor, factor_, sizeof m.factor);
            m.generation = textureGeneration_;
            m.texture = bound_;
            m.slot = slot_;
            m.textured = textured;
            m.drawn = PrepareDraw(firstIndex, true, &m.draw);
            if (!m.drawn) return;
            s.draw = m.draw;
        }
    }
    stepRows_[stepCount_++] = static_cast<uint32_t>(s.draw.rowFirst) | static_cast<uint32_t>(s.draw.rowEnd) << 16;
}

void RasterRender::DrawSteps(int first, int end) {
    first = std::max(first, 0);
    end = std::min(end, kHeight);
    if (first >= end) return;
    // What was drawn before the last clear is wiped out by it. From a clear on, every row starts
    // alike, and a row stays a copy of the row above it until a step treats the two differently.
    const bool fromClear = lastClear_ >= 0;
    const uint32_t from = fromClear ? static_cast<uint32_t>(lastClear_) : 0;
    if (!planned_) PlanSteps();
    const StepList steps = StepsFor(from, first, end);
    const uint32_t* rowStart = nullptr;
    int copies = 0;  // rows taken from above, in the order they are made
    if (fromClear) {
        MarkRowStarts(steps, first, end);
        rowStart = rowStart_;
        // By the step each row is drawn from, rows with the same step from the top down (an
        // insertion: a band is a few dozen rows, and nothing is allocated).
        for (int j = first + 1; j < end; ++j) {
            int at = copies++;
            for (; at > 0 && rowStart_[rowOrder_[at - 1]] > rowStart_[j]; --at) rowOrder_[at] = rowOrder_[at - 1];
            rowOrder_[at] = static_cast<int16_t>(j);
        }
    }
    int next = 0;
    bool drawn = false;  // a draw since the clear: until then every row holds the clear
    // Row j takes the nearest row above it that is drawn from the same step or an earlier one:
    // the rows in between are all still copies, so up to this step they hold what it holds.
    auto copyUpTo = [&](uint32_t step) {
        for (; next < copies && rowStart_[rowOrder_[next]] <= step; ++next) {
            const int j = rowOrder_[next];
            if (!drawn) continue;
            int above = j - 1;
            while (rowStart_[above] > rowStart_[j]) --above;
            std::memcpy(Row(j), Row(above), sizeof(uint32_t) * kWidth);
            ++rowsCopied;
        }
    };
    for (uint32_t i = 0; i < steps.count; ++i) {
        const uint32_t k = steps[i];
        const uint32_t rows = RowsOf(k);
        if (static_cast<int>(rows & 0xFFFF) >= end || static_cast<int>(rows >> 16) <= first) continue;
        copyUpTo(k);
        if (steps_[k].clear) {
            ClearRows(first, end);
        } else if (k == layerFirst_ && layerEnd_ != 0) {
            DrawLayer(first, end, k, rowStart);
            drawn = true;
        } else {
            DrawPrepared(steps_[k].draw, first, end, k, rowStart);
            drawn = true;
        }
    }
    copyUpTo(kNoStep);
}

// The steps from `from` on that may reach rows [first, end), in order: when the rows lie in one
// band of kBandRows, that band's list, made once a frame (the window draws every band of a
// frame, and a band need not look at the steps of the others); otherwise every step.
RasterRender::StepList RasterRender::StepsFor(uint32_t from, int first, int end) {
    const StepList all{nullptr, from, stepCount_ > from ? stepCount_ - from : 0};
    if (first / kBandRows != (end - 1) / kBandRows || !bandsFit_) return all;
    const int b = first / kBandRows;
    return StepList{bandSteps_.get() + bandFirst_[b], 0, bandFirst_[b + 1] - bandFirst_[b]};
}

void RasterRender::PlanSteps() {
    planned_ = true;
    PlanLayer();
    SortStepsIntoBands();
}

void RasterRender::SortStepsIntoBands() {
    bandsFit_ = false;
    const uint32_t from = lastClear_ >= 0 ? static_cast<uint32_t>(lastClear_) : 0;
    // Counted by band, then placed: a step that crosses several bands is in each of their lists.
    uint32_t count[kBands] = {};
    uint32_t total = 0;
    for (uint32_t k = from; k < stepCount_; ++k) {
        const uint32_t rows = RowsOf(k);
        const int r0 = static_cast<int>(rows & 0xFFFF), r1 = static_cast<int>(rows >> 16);
        if (r0 >= r1) continue;
        for (int b = r0 / kBandRows; b <= (r1 - 1) / kBandRows; ++b) ++count[b];
        total += static_cast<uint32_t>((r1 - 1) / kBandRows - r0 / kBandRows + 1);
    }
    if (total > kMaxBandSteps) return;
    bandFirst_[0] = 0;
    for (int b = 0; b < kBands; ++b) bandFirst_[b + 1] = bandFirst_[b] + count[b];
    uint32_t next[kBands];
    std::memcpy(next, bandFirst_, sizeof next);
    for (uint32_t k = from; k < stepCount_; ++k) {
        const uint32_t rows = RowsOf(k);
        const int r0 = static_cast<int>(rows & 0xFFFF), r1 = static_cast<int>(rows >> 16);
        if (r0 >= r1) continue;
        for (int b = r0 / kBandRows; b <= (r1 - 1) / kBandRows; ++b) bandSteps_[next[b]++] = k;
    }
    bandsFit_ = true;
}

// Notes, for each row of [first, end), the first step after the first of `steps` that draws it
// otherwise than the row above (kNoStep: none does): a step reaching only one of the two, or a
// rectangle sampling another texel row for it, or any triangle. The first row is drawn from the
// first step.
void RasterRender::MarkRowStarts(const StepList& steps, int first, int end) {
    std::fill(rowStart_ + first, rowStart_ + end, kNoStep);
    rowStart_[first] = steps.count > 0 ? steps[0] : kNoStep;
    auto mark = [&](int j, uint32_t k) { rowStart_[j] = std::min(rowStart_[j], k); };
    for (uint32_t i = 1; i < steps.count; ++i) {
        const uint32_t k = steps[i];
        const uint32_t rows = RowsOf(k);
        const int r0 = std::max(static_cast<int>(rows & 0xFFFF), first);
        const int r1 = std::min(static_cast<int>(rows >> 16), end);
        if (r0 >= r1) continue;
        if (k == layerFirst_ && layerEnd_ != 0) {
            // A row of the layer differs from the row above where either holds covered pixels.
            const int top = static_cast<int>(rows & 0xFFFF), bottom = static_cast<int>(rows >> 16);
            for (int j = r0; j < std::min(bottom + 1, end); ++j) {
                if ((j < bottom && LayerRowCovered(j)) || (j > top && LayerRowCovered(j - 1))) mark(j, k);
            }
            continue;
        }
        // The rows where it starts and where it stops differ from the row above.
        mark(r0, k);
        if (r1 < end) mark(r1, k);
        const PreparedDraw& d = steps_[k].draw;
        if (d.rect && TextureOf(d.texture) == nullptr) continue;  // every row alike
        if (d.rect) {
            const TexelRow texelRow(d, r0, r1);
            if (!texelRow.Steep()) {
                int above = texelRow(r0);
                for (int j = r0 + 1; j < r1; ++j) {
                    const int row = texelRow(j);
                    if (row != above) mark(j, k);
                    above = row;
                }
                continue;
            }
        }
        // A triangle, or a rectangle with a texel row a pixel row or more: every row its own.
        for (int j = r0 + 1; j < r1; ++j) mark(j, k);
    }
}

void RasterRender::DrawStepsInBands() {
    for (int first = 0; first < kHeight; first += kBandRows) DrawSteps(first, std::min(first + kBandRows, kHeight));
}

int32_t RasterRender::Present(int syncInterval) {
    const int32_t result = RecordRender::Present(syncInterval);
    if (banded_ && image_) {
        SetTarget(nullptr, 0);
        DrawStepsInBands();
    }
    if (banded_) BeginSteps();
    return result;
}

void RasterRender::ClearRows(int first, int end) {
    first = std::max(first, 0);
    end = std::min(end, kHeight);
    if (first >= end) return;
    std::memset(Row(first), 0, sizeof(uint32_t) * kWidth * (end - first));
}
