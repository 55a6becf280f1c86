// The device side of CDx_Gr: creating and releasing the render device, drawing the sprite queue
// at the end of a frame, reacting to a removed device, and turning 8-bit DIBs into textures.
// Every device call goes through Plat().render; nothing here knows which backend draws.
#include <cstring>
#include <memory>
#include <new>

#include "graphics/CDx_Gr.h"
#include "core/Messages.h"
#include "core/System.h"

namespace {


// Blend state slot of each blend kind: kinds 0, 1 and 2 use slots 0 to 2, kind 3 uses slot 5
// (inverse blend factor over the destination colour). Slots 3 and 4 are created but unused.
constexpr int kKindSlot[4] = {0, 1, 2, 5};

// The blend kind of one queued sprite. Mode 0 tints and fades through the blend factor: a colour
// that is not fully opaque fades (kind 1), an opaque colour other than white tints (kind 2), and
// opaque white draws the texture as it is (kind 0). Mode 1 is kind 3; any other mode is kind 0.
int BlendKind(int32_t mode, uint32_t colour) {
    const uint32_t a = colour >> 24;
    if (mode == 0) {
        if (a != 255) return 1;
        if ((colour & 0x00FFFFFFu) != 0x00FFFFFFu) return 2;
        return 0;
    }
    return mode == 1 ? 3 : 0;
}

bool InTable(int32_t id) { return id >= 0 && id < kTextureSlots; }

// A DIB the texture step can read: 512 x 512 (bottom-up or top-down), 8-bit indices or 24-bit BGR.
bool UsableDib(const Dib& dib) {
    if (dib.bits == nullptr || dib.width != kTextureSide) return false;
    if (dib.height != kTextureSide && dib.height != -kTextureSide) return false;
    return dib.bitsPerPixel == 8 || dib.bitsPerPixel == 24;
}

// Start of the DIB row that holds texture row r (top first). A positive height is a bottom-up DIB.
const uint8_t* DibRow(const Dib& dib, int32_t r) {
    const int32_t stride = ((dib.bitsPerPixel * dib.width + 31) / 32) * 4;
    const int32_t h = dib.height > 0 ? dib.height : -dib.height;
    const int32_t row = dib.height > 0 ? h - 1 - r : r;
    return dib.bits + static_cast<size_t>(stride) * static_cast<size_t>(row);
}

uint16_t To5551(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<uint16_t>(0x8000u | (static_cast<uint32_t>(r >> 3) << 10) |
                                 (static_cast<uint32_t>(g >> 3) << 5) | (b >> 3));
}

}  // namespace

int32_t CDx_Gr::Create() { return Plat().render->Create(); }

bool CDx_Gr::Release() {
    PlatRender* r = Plat().render;
    r->LeaveFullscreenState();
    r->Release();
    std::memset(textureLoaded, 0, sizeof textureLoaded);
    return true;
}

void CDx_Gr::ClearHandles() {
    Plat().render->ClearHandles();
    std::memset(textureLoaded, 0, sizeof textureLoaded);
}

int32_t CDx_Gr::EndFrame() {
    PlatRender* r = Plat().render;
    // The whole array goes up every frame, whatever the count: one write-discard upload.
    r->UploadVertices(vertices, kQueueVertices);
    r->Clear();
    r->BindShaders();

    int previousKind = -1;  // none before the first sprite
    const uint32_t count = queueCount < kMaxSprites ? queueCount : kMaxSprites;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t c = queueColour[i];
        const float a = static_cast<float>(c >> 24) / 256.0f;
        const float factor[4] = {
            static_cast<float>((c >> 16) & 0xFF) / 256.0f * a,
            static_cast<float>((c >> 8) & 0xFF) / 256.0f * a,
            static_cast<float>(c & 0xFF) / 256.0f * a,
            a,
        };
        const int kind = BlendKind(queueBlendMode[i], c);
        // Kinds 1 to 3 carry the sprite's own factor, so only runs of kind 0 share one bind.
        if (kind != previousKind || kind != 0) r->SetBlend(kKindSlot[kind], factor);
        previousKind = kind;
        r->BindTexture(queueTexture[i]);
        r->Draw4(4 * i);
    }

    const int32_t result = r->Present(system != nullptr && system->vsync != 0 ? 1 : 0);
    if ((result == kDeviceRemoved || result == kDeviceReset) && system != nullptr) {
        system->deviceLost = 1;
    }
    return result;
}

int32_t CDx_Gr::CheckDevice() {
    PlatRender* r = Plat().render;
    const int32_t reason = r->RemovedReason();
    if (reason == 0) return 0;
    if (reason == kDeviceHung || reason == kDeviceReset) {
        Release();
        const int32_t created = Create();
        Tell(MessageId::kDeviceFailed);
        if (created != 1) return created;
        r->RemovedReason();
        return 0;
    }
    Tell(MessageId::kDeviceFailed);
    return reason;
}

// 16-bit texture (B5G5R5A1): palette index 0 is transparent magenta, every other index its
// palette colour, opaque. A 24-bit DIB becomes an opaque texture of its own colours.
bool CDx_Gr::CreateTexture16(int32_t id, const Dib& dib) {
    if (!InTable(id) || !UsableDib(dib)) return false;
    std::unique_ptr<uint16_t[]> pixels(new (std::nothrow) uint16_t[kTextureSide * kTextureSide]);
    if (!pixels) return false;

    uint16_t lookup[256];
    lookup[0] = 0x7C1F;
    for (int i = 1; i < 256; ++i) {
        lookup[i] = To5551(dib.colorTable[i][2], dib.colorTable[i][1], dib.colorTable[i][0]);
    }
    for (int32_t r = 0; r < kTextureSide; ++r) {
        const uint8_t* src = DibRow(dib, r);
        uint16_t* dst = pixels.get() + static_cast<size_t>(r) * kTextureSide;
        if (dib.bitsPerPixel == 8) {
            for (int32_t x = 0; x < kTextureSide; ++x) dst[x] = lookup[src[x]];
        } else {
            for (int32_t x = 0; x < kTextureSide; ++x) {
                dst[x] = To5551(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
            }
        }
    }
    if (!Plat().render->CreateTexture(id, PlatTextureFormat::B5G5R5A1, pixels.get())) return false;
    textureLoaded[id] = true;
    Plat().render->BindTexture(id);
    return true;
}

// 32-bit texture (R8G8B8A8): index 0 is bytes 255, 0, 255, 0; every other index R, G, B, 255.
bool CDx_Gr::CreateTexture32(int32_t id, const Dib& dib) {
    if (!InTable(id) || !UsableDib(dib)) return false;
    std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[kTextureSide * kTextureSide * 4]);
    if (!pixels) return false;

    uint8_t lookup[256][4];
    lookup[0][0] = 255;
    lookup[0][1] = 0;
    lookup[0][2] = 255;
    lookup[0][3] = 0;
    for (int i = 1; i < 256; ++i) {
        lookup[i][0] = dib.colorTable[i][2];
        lookup[i][1] = dib.colorTable[i][1];
        lookup[i][2] = dib.colorTable[i][0];
        lookup[i][3] = 255;
    }
    for (int32_t r = 0; r < kTextureSide; ++r) {
        const uint8_t* src = DibRow(dib, r);
        uint8_t* dst = pixels.get() + static_cast<size_t>(r) * kTextureSide * 4;
        for (int32_t x = 0; x < kTextureSide; ++x, dst += 4) {
            if (dib.bitsPerPixel == 8) {
                std::memcpy(dst, lookup[src[x]], 4);
            } else {
                dst[0] = src[3 * x + 2];
                dst[1] = src[3 * x + 1];
                dst[2] = src[3 * x];
                dst[3] = 255;
            }
        }
    }
    if (!Plat().render->CreateTexture(id, PlatTextureFormat::R8G8B8A8, pixels.get())) return false;
    textureLoaded[id] = true;
    Plat().render->BindTexture(id);
    return true;
}

void CDx_Gr::ReleaseTexture(int32_t id) {
    Plat().render->ReleaseTexture(id);
    if (InTable(id)) textureLoaded[id] = false;
}
