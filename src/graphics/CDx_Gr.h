// CDx_Gr: the renderer. Keeps the per-frame sprite queue, turns it into device calls at the end of
// the frame, and owns the texture table through the render device of the platform layer.
// Main thread only.
#pragma once

#include <cstdint>

#include "graphics/DrawParam.h"
#include "platform/platform.h"

class System;
class MapSceneEntity;

constexpr uint32_t kSpriteSlots = kRenderQueueSlots;  // queue slots; the last one is never drawn
constexpr uint32_t kMaxSprites = kSpriteSlots - 1;    // most sprites drawn in one frame
constexpr uint32_t kQueueVertices = kRenderQueueVertices;
constexpr int32_t kFadeTexture = 120;       // never loaded: draws opaque black

// DXGI result codes the main loop reacts to.
constexpr int32_t kDeviceRemoved = kRenderDeviceRemoved;
constexpr int32_t kDeviceHung = kRenderDeviceHung;
constexpr int32_t kDeviceReset = kRenderDeviceReset;

// 8-bit (or 24-bit) bottom-up device-independent bitmap with its colour table: the loader's hand-
// over to the texture step.
struct Dib {
    int32_t width;
    int32_t height;
    int32_t bitsPerPixel;   // 8 or 24
    uint8_t* bits;          // bottom-up rows, stride ((bitsPerPixel * width + 31) / 32) * 4
    uint8_t colorTable[256][4];  // RGBQUAD: blue, green, red, reserved
};

class CDx_Gr {
public:
    CDx_Gr();
    virtual ~CDx_Gr();

    System* system;            // links set by start-up
    MapSceneEntity* scene;

    // Sprite queue.
    int32_t queueTexture[kSpriteSlots];
    uint32_t queueColour[kSpriteSlots];
    int32_t queueBlendMode[kSpriteSlots];
    Vertex* vertices;          // kQueueVertices, allocated once by the constructor
    uint32_t queueCount;
    uint32_t queueDirty;       // slots [0, queueDirty) may hold data; all later slots are zero

    bool textureLoaded[kTextureSlots];  // ids outside the table are empty slots

    // Trace hook: when set, every DrawSprite call is reported before it is queued (replay tool,
    // tests). Null in the game.
    void (*drawObserver)(const DrawParam& p, void* context);
    void* drawObserverContext;

    int32_t Create();          // 1 or a negative failure code
    bool Release();
    void ClearHandles();
    void BeginFrame();
    int32_t DrawSprite(const DrawParam& p);  // always 1
    int32_t EndFrame();        // the present result
    int32_t CheckDevice();
    bool CreateTexture16(int32_t id, const Dib& dib);
    bool CreateTexture32(int32_t id, const Dib& dib);
    void ReleaseTexture(int32_t id);
};
