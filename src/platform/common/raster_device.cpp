// The software rasteriser's device state: construction, the clear, the blend and draws made at
// once.
#include <algorithm>
#include <cstring>

#include "platform/common/raster_pixel.h"

using namespace raster_impl;

RasterRender::RasterRender(bool keepImage) {
    columnStore_[0].reset(new uint16_t[kColumnStore]);
    if (keepImage) image_.reset(new uint32_t[static_cast<size_t>(kWidth) * kHeight]());
    target_ = image_.get();
}

RasterRender::~RasterRender() = default;

int32_t RasterRender::Create() {
    const int32_t r = RecordRender::Create();
    ++textureGeneration_;
    // The device starts with blend slot 0 and factor 0, nothing bound.
    slot_ = 0;
    std::memset(factor_, 0, sizeof factor_);
    bound_ = -1;
    return r;
}

void RasterRender::Clear() {
    RecordRender::Clear();
    if (banded_) {
        AddClearStep();
    } else {
        ClearRows(0, kHeight);
    }
}

void RasterRender::SetBlend(int slot, const float factor[4]) {
    RecordRender::SetBlend(slot, factor);
    slot_ = slot >= 0 && slot < kNoBlendSlot ? slot : kNoBlendSlot;
    for (int i = 0; i < 4; ++i) {
        float f = factor[i];
        if (!(f > 0.0f)) f = 0.0f;
        if (f > 1.0f) f = 1.0f;
        factor_[i] = static_cast<uint32_t>(std::lround(static_cast<double>(f) * kOne));
    }
    if (bgr_) std::swap(factor_[0], factor_[2]);
    // src * F + dest * (1 - F) with F exactly zero is dest on every colour channel, whatever the
    // texel; only the alpha channel (src alpha) would change.
    keepsColour_ = slot_ == 1 && factor[0] == 0.0f && factor[1] == 0.0f && factor[2] == 0.0f;
}

void RasterRender::Draw4(uint32_t firstIndex) {
    RecordRender::Draw4(firstIndex);
    if (banded_) {
        AddDrawStep(firstIndex);
        return;
    }
    PreparedDraw d;
    if (PrepareDraw(firstIndex, false, &d)) DrawPrepared(d, 0, kHeight, 0, nullptr);
}
