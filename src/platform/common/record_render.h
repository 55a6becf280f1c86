// RecordRender: a render device without a display. It keeps every texture it is given (512 x 512,
// 16 or 32 bits) and can record each call in order; it never fails. The software rasteriser draws
// on top of it. FaultRender adds failure injection for the device's results: the headless
// backend's own device, for the tests and the replay tool, and nothing that ships.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"

// One recorded call of the render device, in call order.
struct RecordRenderCall {
    enum Kind { Upload, Clear, Shaders, Blend, Texture, Draw, Present } kind;
    int32_t value;       // blend slot, texture id, first index, sync interval, vertex count
    float factor[4];     // blend factor
};

class RecordRender : public PlatRender {
public:
    KELVORINE_PLAT_RENDER_OVERRIDES

    struct Texture {
        bool present = false;
        PlatTextureFormat format = PlatTextureFormat::B5G5R5A1;
        std::vector<uint8_t> pixels;  // 512 x 512, 2 or 4 bytes each, top row first
    };
    Texture textures[kTextureSlots];
    // Whether CreateTexture keeps a copy of the pixels it is given (a device that converts them
    // into a form of its own turns this off).
    bool keepTexturePixels = true;

    // Recording (off by default: the replay tool and benchmarks run without it).
    bool record = false;
    std::vector<RecordRenderCall> calls;
    const Vertex* lastUpload = nullptr;
    uint32_t lastUploadCount = 0;
    int creates = 0, releases = 0, presents = 0;
    bool created = false;
};

// A recording device whose results are set by its owner.
class FaultRender : public RecordRender {
public:
    int32_t Create() override;
    int32_t Present(int syncInterval) override;
    int32_t RemovedReason() override { return removedReason; }
    bool CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) override;

    int32_t createResult = 1;  // what Create returns (1 success)
    int32_t presentResult = 0;
    int32_t removedReason = 0;
    bool failTextures = false;
};
