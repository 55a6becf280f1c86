// The sprite queue of CDx_Gr: construction, BeginFrame and DrawSprite. Every sprite's four
// vertices are computed at call time into the fixed vertex array; the device side (EndFrame)
// uploads the array once per frame and draws the slots in call order.
#include <cstdlib>
#include <cstring>
#include <new>

#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "core/System.h"

namespace {

constexpr float kDefaultTexelInset = 0.000001f;
// Logical screen to clip space. The vertical factor is the single-precision constant 0.00138888,
// a little less than 1/720, so the top and bottom edges land at +-0.9999936 rather than +-1.
constexpr float kClipX = 0.00078125f;
constexpr float kClipY = 0.00138888f;
constexpr float kDepthScale = 0.0001f;
constexpr float kRotatedDepth = 0.8192f;
constexpr float kByteToUnit = 1.0f / 256.0f;  // 255 gives 0.99609375
constexpr int32_t kLargeTextureIds = 528;  // ids from here on are 128 x 128 textures

// Texture coordinates of a sprite's corners: V0 (left bottom), V1 (left top), V2 (right bottom),
// V3 (right top) share these four edges.
struct TextureEdges {
    float uLeft, uRight, vBottom, vTop;
};

// Steps 2-3: the source rectangle's edges in texture units (512 or 128 texels a side), nudged by
// the texel inset b according to the mirroring.
TextureEdges EdgesOf(const DrawParam& p, float b) {
    const float g = p.texture < kLargeTextureIds ? (1.0f / 512.0f) : (1.0f / 128.0f);
    const float u0 = static_cast<float>(p.srcX) * g;
    const float u1 = static_cast<float>(p.srcX + p.srcW) * g;
    const float v0 = static_cast<float>(p.srcY) * g;
    const float v1 = static_cast<float>(p.srcY + p.srcH) * g;
    switch (p.flip) {
    case 1:  // mirrored horizontally
        return {u1 - b, u0 - b, v1 + b, v0 + b};
    case 2:  // mirrored vertically
        return {u0 + b, u1 + b, v0 - b, v1 + b};
    case 3:  // both
        return {u1 + b, u0 - b, v0 - b, v1 + b};
    default:
        return {u0 + b, u1 + b, v1 + b, v0 + b};
    }
}

// Step 6: the four corners rotated in the screen plane, then about the vertical axis, then about
// the horizontal axis, without perspective. Angles are reduced to one turn.
void Rotate(const DrawParam& p, const MapSceneEntity& scene, float vx[4], float vy[4], float vz[4]) {
    const int az = p.angleZ & 255, ay = p.angleY & 255, ax = p.angleX & 255;
    const float cz = static_cast<float>(scene.cosTable[az]);
    const float sz = static_cast<float>(scene.sinTable[az]);
    const float cy = static_cast<float>(scene.cosTable[ay]);
    const float sy = static_cast<float>(scene.sinTable[ay]);
    const float cx = static_cast<float>(scene.cosTable[ax]);
    const float sx = static_cast<float>(scene.sinTable[ax]);
    for (int i = 0; i < 4; ++i) {
        const float x1 = vx[i] * cz - vy[i] * sz;
        const float y1 = vx[i] * sz + vy[i] * cz;
        const float x2 = x1 * cy + vz[i] * sy;
        const float z1 = vz[i] * cy - x1 * sy;
        const float y2 = y1 * cx - z1 * sx;
        const float z2 = y1 * sx + z1 * cx;
        vx[i] = x2;
        vy[i] = y2;
        vz[i] = z2;
    }
}

}  // namespace

CDx_Gr::CDx_Gr()
    : system(nullptr),
      scene(nullptr),
      vertices(nullptr),
      queueCount(0),
      queueDirty(0),
      drawObserver(nullptr),
      drawObserverContext(nullptr) {
    std::memset(queueTexture, 0, sizeof queueTexture);
    std::memset(queueColour, 0, sizeof queueColour);
    std::memset(queueBlendMode, 0, sizeof queueBlendMode);
    std::memset(textureLoaded, 0, sizeof textureLoaded);
    // Zeroed pages straight from the system: only the slots a frame writes ever become resident
    // (a play frame uses about 90 KB of the 2.16 MB).
    vertices = static_cast<Vertex*>(std::calloc(kQueueVertices, sizeof(Vertex)));
    if (vertices == nullptr) throw std::bad_alloc();
}

CDx_Gr::~CDx_Gr() {
    std::free(vertices);
    vertices = nullptr;
}

// Empties the queue: the count, the texture and colour arrays and the whole vertex array are
// cleared. The blend-mode array keeps its old values; every queued slot overwrites its own.
// Only the slots written since the last clear can be non-zero, so only those are cleared: the
// arrays end up exactly as a clear of the whole queue leaves them, at a fraction of the cost.
void CDx_Gr::BeginFrame() {
    uint32_t dirty = queueDirty > queueCount ? queueDirty : queueCount;
    if (dirty > kSpriteSlots) dirty = kSpriteSlots;
    queueCount = 0;
    queueDirty = 0;
    std::memset(queueTexture, 0, sizeof queueTexture[0] * dirty);
    std::memset(queueColour, 0, sizeof queueColour[0] * dirty);
    std::memset(vertices, 0, sizeof(Vertex) * 4 * dirty);
}

int32_t CDx_Gr::DrawSprite(const DrawParam& p) {
    if (drawObserver != nullptr) drawObserver(p, drawObserverContext);

    // 1. Slot: once the queue holds kMaxSprites, later sprites all land in the last slot, which
    //    is never drawn.
    const uint32_t s = queueCount;
    if (s >= queueDirty) queueDirty = s + 1;
    queueTexture[s] = p.texture;
    queueColour[s] = p.colour;
    queueBlendMode[s] = p.blendMode;
    if (queueCount < kMaxSprites) ++queueCount;

    // 2-3. Texture edges.
    const TextureEdges e = EdgesOf(p, system != nullptr ? system->texelInset : kDefaultTexelInset);

    // 4. Corners relative to the pivot.
    const float fx = static_cast<float>(p.x);
    const float fy = static_cast<float>(p.y);
    const float px = fx + p.pivotX;
    const float py = fy + p.pivotY;
    const float left = (fx - px) * p.scaleX;
    const float right = (fx + static_cast<float>(p.w) - px) * p.scaleX;
    const float top = (fy - py) * p.scaleY;
    const float bottom = (fy + static_cast<float>(p.h) - py) * p.scaleY;

    float vx[4] = {left, left, right, right};
    float vy[4] = {bottom, top, bottom, top};
    float vz[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    float zBase = 0.0f;

    // 6. Rotation; rotated sprites sit behind flat ones.
    if ((p.angleZ | p.angleY | p.angleX) != 0) {
        zBase = kRotatedDepth;
        if (scene != nullptr) Rotate(p, *scene, vx, vy, vz);
    }

    // 9. Colour from the bytes of ARGB.
    const float r = static_cast<float>((p.colour >> 16) & 0xFF) * kByteToUnit;
    const float gr = static_cast<float>((p.colour >> 8) & 0xFF) * kByteToUnit;
    const float bl = static_cast<float>(p.colour & 0xFF) * kByteToUnit;
    const float a = static_cast<float>(p.colour >> 24) * kByteToUnit;

    // 7-8, 10. Back to screen space, then clip space, into the slot's four vertices.
    const float us[4] = {e.uLeft, e.uLeft, e.uRight, e.uRight};
    const float vs[4] = {e.vBottom, e.vTop, e.vBottom, e.vTop};
    Vertex* out = vertices + static_cast<size_t>(s) * 4;
    for (int i = 0; i < 4; ++i) {
        const float X = px + vx[i];
        const float Y = py + vy[i];
        out[i].x = -(1280.0f - 2.0f * X) * kClipX;
        out[i].y = (720.0f - 2.0f * Y) * kClipY;
        out[i].z = vz[i] * kDepthScale + zBase;
        out[i].r = r;
        out[i].g = gr;
        out[i].b = bl;
        out[i].a = a;
        out[i].u = us[i];
        out[i].v = vs[i];
    }
    return 1;
}
