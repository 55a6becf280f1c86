#include <cstring>

#include "platform/common/record_render.h"

int32_t RecordRender::Create() {
    ++creates;
    created = true;
    return 1;
}

void RecordRender::Release() {
    ++releases;
    created = false;
    for (Texture& t : textures) {
        t.present = false;
    }
}

void RecordRender::ClearHandles() {
    created = false;
    for (Texture& t : textures) t.present = false;
}

void RecordRender::UploadVertices(const Vertex* vertices, uint32_t count) {
    lastUpload = vertices;
    lastUploadCount = count;
    if (record) calls.push_back({RecordRenderCall::Upload, static_cast<int32_t>(count), {}});
}

void RecordRender::Clear() {
    if (record) calls.push_back({RecordRenderCall::Clear, 0, {}});
}

void RecordRender::BindShaders() {
    if (record) calls.push_back({RecordRenderCall::Shaders, 0, {}});
}

void RecordRender::SetBlend(int slot, const float factor[4]) {
    if (record) {
        calls.push_back({RecordRenderCall::Blend, slot, {factor[0], factor[1], factor[2], factor[3]}});
    }
}

void RecordRender::BindTexture(int32_t id) {
    if (record) calls.push_back({RecordRenderCall::Texture, id, {}});
}

void RecordRender::Draw4(uint32_t firstIndex) {
    if (record) calls.push_back({RecordRenderCall::Draw, static_cast<int32_t>(firstIndex), {}});
}

int32_t RecordRender::Present(int syncInterval) {
    ++presents;
    if (record) calls.push_back({RecordRenderCall::Present, syncInterval, {}});
    return 0;
}

// Never removed, and never in an exclusive full screen to leave.
int32_t RecordRender::RemovedReason() { return 0; }

void RecordRender::LeaveFullscreenState() {}

bool RecordRender::CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) {
    if (id < 0 || id >= kTextureSlots) return false;
    Texture& t = textures[id];
    size_t bytes = size_t{kTextureSide} * kTextureSide * (format == PlatTextureFormat::B5G5R5A1 ? 2u : 4u);
    if (keepTexturePixels) {
        t.pixels.assign(static_cast<const uint8_t*>(pixels), static_cast<const uint8_t*>(pixels) + bytes);
    }
    t.format = format;
    t.present = true;
    return true;
}

void RecordRender::ReleaseTexture(int32_t id) {
    if (id < 0 || id >= kTextureSlots) return;
    textures[id].present = false;
}

int32_t FaultRender::Create() {
    const bool wasCreated = created;
    RecordRender::Create();
    if (createResult != 1) created = wasCreated;  // a failed create leaves the device as it was
    return createResult;
}

int32_t FaultRender::Present(int syncInterval) {
    RecordRender::Present(syncInterval);
    return presentResult;
}

bool FaultRender::CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) {
    return !failTextures && RecordRender::CreateTexture(id, format, pixels);
}
