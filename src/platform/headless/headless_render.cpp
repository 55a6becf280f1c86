#include <cstring>

#include "platform/headless/headless.h"

int32_t HeadlessRender::Create() {
    ++creates;
    if (createResult == 1) created = true;
    return createResult;
}

void HeadlessRender::Release() {
    ++releases;
    created = false;
    for (Texture& t : textures) {
        t.present = false;
    }
}

void HeadlessRender::ClearHandles() {
    created = false;
    for (Texture& t : textures) t.present = false;
}

void HeadlessRender::UploadVertices(const Vertex* vertices, uint32_t count) {
    lastUpload = vertices;
    lastUploadCount = count;
    if (record) calls.push_back({HeadlessRenderCall::Upload, static_cast<int32_t>(count), {}});
}

void HeadlessRender::Clear() {
    if (record) calls.push_back({HeadlessRenderCall::Clear, 0, {}});
}

void HeadlessRender::BindShaders() {
    if (record) calls.push_back({HeadlessRenderCall::Shaders, 0, {}});
}

void HeadlessRender::SetBlend(int slot, const float factor[4]) {
    if (record) {
        calls.push_back({HeadlessRenderCall::Blend, slot, {factor[0], factor[1], factor[2], factor[3]}});
    }
}

void HeadlessRender::BindTexture(int32_t id) {
    if (record) calls.push_back({HeadlessRenderCall::Texture, id, {}});
}

void HeadlessRender::Draw4(uint32_t firstIndex) {
    if (record) calls.push_back({HeadlessRenderCall::Draw, static_cast<int32_t>(firstIndex), {}});
}

int32_t HeadlessRender::Present(int syncInterval) {
    ++presents;
    if (record) calls.push_back({HeadlessRenderCall::Present, syncInterval, {}});
    return presentResult;
}

bool HeadlessRender::CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) {
    if (failTextures || id < 0 || id >= kTextures) return false;
    Texture& t = textures[id];
    size_t bytes = 512u * 512u * (format == PlatTextureFormat::B5G5R5A1 ? 2u : 4u);
    t.pixels.assign(static_cast<const uint8_t*>(pixels), static_cast<const uint8_t*>(pixels) + bytes);
    t.format = format;
    t.present = true;
    return true;
}

void HeadlessRender::ReleaseTexture(int32_t id) {
    if (id < 0 || id >= kTextures) return;
    textures[id].present = false;
}
