// The layer: a run of unchanged glyph steps drawn once into a picture of its own, which stands
// in for the run while it comes back unchanged.
#include <algorithm>
#include <cstring>
#include <new>

#include "platform/common/raster_pixel.h"

using namespace raster_impl;

void RasterRender::PlanLayer() {
    layerFirst_ = layerEnd_ = 0;
    // The longest run of steps that replace what they draw and were taken from the last frame.
    auto joins = [&](uint32_t k) { return !steps_[k].clear && steps_[k].reused && steps_[k].draw.replaces; };
    uint32_t best = 0, bestCount = 0;
    for (uint32_t k = lastClear_ >= 0 ? static_cast<uint32_t>(lastClear_) : 0; k < stepCount_;) {
        uint32_t e = k;
        while (e < stepCount_ && joins(e)) ++e;
        if (e - k > bestCount) {
            best = k;
            bestCount = e - k;
        }
        k = e + 1;
    }
    if (bestCount < kLayerSteps) {
        layerFrame_ = 0;
        return;
    }
    // Each step of the run is the last frame's at its place: if the last frame had a run of the
    // same places, this is that run, and what was found for it holds (the layer, or that it did
    // not fit, which is then not tried again).
    const uint32_t placeFirst = steps_[best].place, placeLast = steps_[best + bestCount - 1].place;
    const bool same = layerFrame_ != 0 && layerFrame_ + 1 >= frameNumber_ && placeFirst == layerPlaceFirst_ &&
                      placeLast == layerPlaceLast_ && bestCount == layerCount_;
    if (!same) {
        layerFits_ = MakeLayer(best, best + bestCount);
        layerPlaceFirst_ = placeFirst;
        layerPlaceLast_ = placeLast;
        layerCount_ = bestCount;
    }
    if (layerFits_ && layerFrame_ != frameNumber_) ++layerFrames;
    layerFrame_ = frameNumber_;
    if (!layerFits_) return;
    layerFirst_ = best;
    layerEnd_ = best + bestCount;
}

// Draws steps [first, end) in order into the layer, kBandRows rows at a time, from rows that hold
// nothing (0: alpha 0, not covered). False when its spans would hold more than kLayerPixels.
bool RasterRender::MakeLayer(uint32_t first, uint32_t end) {
    if (!layerPixels_) {
        layerPixels_.reset(new (std::nothrow) uint32_t[kLayerPixels]);
        layerScratch_.reset(new (std::nothrow) uint32_t[static_cast<size_t>(kBandRows) * kWidth]);
        if (!layerPixels_ || !layerScratch_) {
            layerPixels_.reset();
            return false;
        }
    }
    int top = kHeight, bottom = 0, left = kWidth, right = 0;
    for (uint32_t k = first; k < end; ++k) {
        const PreparedDraw& d = steps_[k].draw;
        top = std::min(top, d.rowFirst);
        bottom = std::max(bottom, d.rowEnd);
        left = std::min(left, d.colFirst);
        right = std::max(right, d.colEnd);
    }
    uint32_t* const savedTarget = target_;
    const int savedFirst = targetFirst_;
    uint32_t used = 0;
    for (int b = top; b < bottom; b += kBandRows) {
        const int be = std::min(b + kBandRows, bottom);
        SetTarget(layerScratch_.get(), b);
        std::memset(layerScratch_.get(), 0, sizeof(uint32_t) * kWidth * (be - b));
        for (uint32_t k = first; k < end; ++k) DrawPrepared(steps_[k].draw, b, be, k, nullptr);
        for (int j = b; j < be; ++j) {
            const uint32_t* row = Row(j);
            int x0 = left, x1 = right;
            while (x0 < x1 && (row[x0] >> 24) < 128) ++x0;
            while (x1 > x0 && (row[x1 - 1] >> 24) < 128) --x1;
            if (used + static_cast<uint32_t>(x1 - x0) > kLayerPixels) {
                target_ = savedTarget;
                targetFirst_ = savedFirst;
                return false;
            }
            layerSpan_[j][0] = static_cast<int16_t>(x0);
            layerSpan_[j][1] = static_cast<int16_t>(x1);
            layerOffset_[j] = used;
            std::memcpy(layerPixels_.get() + used, row + x0, sizeof(uint32_t) * (x1 - x0));
            used += static_cast<uint32_t>(x1 - x0);
        }
    }
    target_ = savedTarget;
    targetFirst_ = savedFirst;
    layerRows_ = static_cast<uint32_t>(top) | static_cast<uint32_t>(bottom) << 16;
    ++layersMade;
    return true;
}

// The layer's rows within [first, end), those not left as copies of the row above: each covered
// pixel replaces the one there.
void RasterRender::DrawLayer(int first, int end, uint32_t step, const uint32_t* rowStart) {
    const int top = std::max(static_cast<int>(layerRows_ & 0xFFFF), first);
    const int bottom = std::min(static_cast<int>(layerRows_ >> 16), end);
    for (int j = top; j < bottom; ++j) {
        if ((rowStart != nullptr && rowStart[j] > step) || !LayerRowCovered(j)) continue;
        const int x0 = layerSpan_[j][0];
        MaskRow(Row(j) + x0, layerPixels_.get() + layerOffset_[j], layerSpan_[j][1] - x0);
    }
}
