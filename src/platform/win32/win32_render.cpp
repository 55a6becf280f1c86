// Direct3D 11 device of the Win32 backend: swap chain of the game window, the sprite pipeline
// (SampleVS.cso / SamplePS.cso from the current folder, else from beside the program), six blend states, one dynamic vertex
// buffer for the whole sprite queue, one identity index buffer, and the texture table.
#include <d3d11.h>
#include <dxgi.h>

#include <cfloat>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/win32/win32_platform.h"

namespace {

constexpr UINT kSprites = kRenderQueueSlots;
constexpr UINT kVertices = kRenderQueueVertices;
constexpr UINT kVertexBytes = kVertices * sizeof(Vertex);  // 2,155,680
constexpr UINT kIndices = kVertices;  // 0, 1, 2, ...: four a sprite
constexpr int kBlendSlots = 10;
constexpr int kBlendCreated = 6;

template <typename T>
void SafeRelease(T*& p) {
    if (p != nullptr) {
        p->Release();
        p = nullptr;
    }
}

// A compiled shader from the current folder; when that has none (the game started from a
// shortcut or another folder), the one beside the program. Null when neither opens.
FILE* OpenShader(const wchar_t* name) {
    FILE* f = _wfopen(name, L"rb");
    if (f != nullptr) return f;
    wchar_t path[1024];
    const DWORD n = GetModuleFileNameW(nullptr, path, 1024);
    if (n == 0 || n >= 1024) return nullptr;  // no name, or cut short
    wchar_t* slash = std::wcsrchr(path, L'\\');
    if (slash == nullptr) return nullptr;
    const size_t folder = static_cast<size_t>(slash + 1 - path);
    if (folder + std::wcslen(name) + 1 > 1024) return nullptr;
    std::wcscpy(slash + 1, name);
    return _wfopen(path, L"rb");
}

// Reads a whole compiled shader; false when the file cannot be opened or read.
bool ReadShader(const wchar_t* name, std::vector<unsigned char>* bytes) {
    FILE* f = OpenShader(name);
    if (f == nullptr) return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(f) : -1;
    ok = ok && size > 0 && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes->resize(static_cast<size_t>(size));
        ok = std::fread(bytes->data(), 1, bytes->size(), f) == bytes->size();
    }
    std::fclose(f);
    if (!ok) bytes->clear();  // an empty shader makes the device's create call fail
    return true;
}

class Render final : public PlatRender {
public:
    KELVORINE_PLAT_RENDER_OVERRIDES

private:
    HRESULT CreateDeviceAndSwapChain(HWND window, UINT w, UINT h);
    HRESULT CreateTargetAndStates(UINT w, UINT h);
    HRESULT CreateShaders();
    HRESULT CreateBuffers();
    HRESULT CreateSampler();
    HRESULT CreateBlendStates();
    HRESULT CreateBlackTexture();

    ID3D11Device* device_ = nullptr;
    ID3D11DeviceContext* context_ = nullptr;
    IDXGISwapChain* swapChain_ = nullptr;
    ID3D11RenderTargetView* target_ = nullptr;
    IDXGIFactory* factory_ = nullptr;
    IDXGIOutput* output_ = nullptr;
    D3D_DRIVER_TYPE driverType_ = D3D_DRIVER_TYPE_UNKNOWN;
    D3D_FEATURE_LEVEL featureLevel_ = D3D_FEATURE_LEVEL_10_0;
    ID3D11InputLayout* layout_ = nullptr;
    ID3D11VertexShader* vertexShader_ = nullptr;
    ID3D11PixelShader* pixelShader_ = nullptr;
    ID3D11Buffer* vertexBuffer_ = nullptr;
    ID3D11Buffer* indexBuffer_ = nullptr;
    ID3D11DepthStencilState* depthState_ = nullptr;
    ID3D11RasterizerState* rasterizer_ = nullptr;
    ID3D11Texture2D* textures_[kTextureSlots] = {};
    ID3D11ShaderResourceView* views_[kTextureSlots] = {};
    ID3D11SamplerState* sampler_ = nullptr;
    ID3D11BlendState* blend_[kBlendSlots] = {};
    // Bound for ids without a texture: a 1 x 1 opaque black texel, so the full-screen fade
    // overlay (id 120, never loaded) darkens by its colour's alpha.
    ID3D11Texture2D* blackTexture_ = nullptr;
    ID3D11ShaderResourceView* blackView_ = nullptr;
    UINT indices_[kIndices] = {};
};

HRESULT Render::CreateBlendStates() {
    struct Factors {
        D3D11_BLEND src, dest;
    };
    static const Factors kFactors[kBlendCreated] = {
        {D3D11_BLEND_SRC_ALPHA, D3D11_BLEND_INV_SRC_ALPHA},     // kind 0
        {D3D11_BLEND_BLEND_FACTOR, D3D11_BLEND_INV_BLEND_FACTOR},  // kind 1
        {D3D11_BLEND_BLEND_FACTOR, D3D11_BLEND_ZERO},          // kind 2
        {D3D11_BLEND_SRC_ALPHA, D3D11_BLEND_DEST_COLOR},       // unused
        {D3D11_BLEND_BLEND_FACTOR, D3D11_BLEND_DEST_COLOR},    // unused
        {D3D11_BLEND_INV_BLEND_FACTOR, D3D11_BLEND_DEST_COLOR},  // kind 3
    };
    for (int i = 0; i < kBlendCreated; ++i) {
        D3D11_BLEND_DESC d = {};
        d.AlphaToCoverageEnable = TRUE;
        d.IndependentBlendEnable = FALSE;
        D3D11_RENDER_TARGET_BLEND_DESC& t = d.RenderTarget[0];
        t.BlendEnable = TRUE;
        t.SrcBlend = kFactors[i].src;
        t.DestBlend = kFactors[i].dest;
        t.BlendOp = D3D11_BLEND_OP_ADD;
        t.SrcBlendAlpha = D3D11_BLEND_ONE;
        t.DestBlendAlpha = D3D11_BLEND_ZERO;
        t.BlendOpAlpha = D3D11_BLEND_OP_ADD;
        t.RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;
        HRESULT hr = device_->CreateBlendState(&d, &blend_[i]);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT Render::CreateBlackTexture() {
    static const UINT32 kBlack = 0xFF000000;  // R8G8B8A8: 0, 0, 0, 255
    D3D11_TEXTURE2D_DESC d = {};
    d.Width = 1;
    d.Height = 1;
    d.MipLevels = 1;
    d.ArraySize = 1;
    d.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    d.SampleDesc.Count = 1;
    d.Usage = D3D11_USAGE_IMMUTABLE;
    d.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA init = {&kBlack, 4, 4};
    HRESULT hr = device_->CreateTexture2D(&d, &init, &blackTexture_);
    if (FAILED(hr)) return hr;
    return device_->CreateShaderResourceView(blackTexture_, nullptr, &blackView_);
}

HRESULT Render::CreateDeviceAndSwapChain(HWND window, UINT w, UINT h) {
    DXGI_SWAP_CHAIN_DESC sc = {};
    sc.BufferDesc.Width = w;
    sc.BufferDesc.Height = h;
    sc.BufferDesc.RefreshRate = {60, 1};
    sc.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    sc.BufferDesc.ScanlineOrdering = DXGI_MODE_SCANLINE_ORDER_UNSPECIFIED;
    sc.BufferDesc.Scaling = DXGI_MODE_SCALING_UNSPECIFIED;
    sc.SampleDesc = {1, 0};
    sc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
    sc.BufferCount = 1;
    sc.OutputWindow = window;
    sc.Windowed = TRUE;
    sc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
    sc.Flags = 0;

    static const D3D_FEATURE_LEVEL kLevels[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0,
                                                D3D_FEATURE_LEVEL_10_1, D3D_FEATURE_LEVEL_10_0};
    static const D3D_DRIVER_TYPE kDrivers[] = {D3D_DRIVER_TYPE_HARDWARE, D3D_DRIVER_TYPE_WARP,
                                               D3D_DRIVER_TYPE_REFERENCE};
    HRESULT hr = E_FAIL;
    for (D3D_DRIVER_TYPE driver : kDrivers) {
        hr = D3D11CreateDeviceAndSwapChain(nullptr, driver, nullptr, 0, kLevels, 4, D3D11_SDK_VERSION, &sc,
                                           &swapChain_, &device_, &featureLevel_, &context_);
        if (SUCCEEDED(hr)) {
            driverType_ = driver;
            break;
        }
    }
    if (FAILED(hr)) return hr;

    hr = swapChain_->GetContainingOutput(&output_);
    if (FAILED(hr)) return hr;
    hr = swapChain_->GetParent(__uuidof(IDXGIFactory), reinterpret_cast<void**>(&factory_));
    if (FAILED(hr)) return hr;
    // Window changes and Alt+Enter belong to the game, never to DXGI.
    hr = factory_->MakeWindowAssociation(window, DXGI_MWA_NO_WINDOW_CHANGES | DXGI_MWA_NO_ALT_ENTER);
    if (FAILED(hr)) return hr;
    return S_OK;
}

// The back buffer as the render target, the blend and depth states, the viewport and the
// rasteriser state.
HRESULT Render::CreateTargetAndStates(UINT w, UINT h) {
    HRESULT hr;
    ID3D11Texture2D* back = nullptr;
    hr = swapChain_->GetBuffer(0, __uuidof(ID3D11Texture2D), reinterpret_cast<void**>(&back));
    if (FAILED(hr)) return hr;
    hr = device_->CreateRenderTargetView(back, nullptr, &target_);
    back->Release();
    if (FAILED(hr)) return hr;
    context_->OMSetRenderTargets(1, &target_, nullptr);

    hr = CreateBlendStates();
    if (FAILED(hr)) return hr;
    static const float kZero[4] = {0, 0, 0, 0};
    context_->OMSetBlendState(blend_[0], kZero, 0xFFFFFFFF);

    D3D11_DEPTH_STENCIL_DESC ds = {};
    ds.DepthEnable = TRUE;
    ds.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ALL;
    ds.DepthFunc = D3D11_COMPARISON_LESS;
    ds.StencilEnable = FALSE;
    hr = device_->CreateDepthStencilState(&ds, &depthState_);
    if (FAILED(hr)) return hr;
    context_->OMSetDepthStencilState(depthState_, 0);

    D3D11_VIEWPORT vp = {0.0f, 0.0f, static_cast<float>(w), static_cast<float>(h), 0.0f, 1.0f};
    context_->RSSetViewports(1, &vp);
    D3D11_RASTERIZER_DESC rs = {};
    rs.FillMode = D3D11_FILL_SOLID;
    rs.CullMode = D3D11_CULL_NONE;
    rs.FrontCounterClockwise = FALSE;
    rs.DepthClipEnable = FALSE;
    rs.ScissorEnable = FALSE;
    rs.MultisampleEnable = FALSE;
    rs.AntialiasedLineEnable = FALSE;
    hr = device_->CreateRasterizerState(&rs, &rasterizer_);
    if (FAILED(hr)) return hr;
    context_->RSSetState(rasterizer_);
    return S_OK;
}

// The compiled shaders beside the program and the vertex layout; -1 when a file cannot be read.
HRESULT Render::CreateShaders() {
    HRESULT hr;
    std::vector<unsigned char> code;
    if (!ReadShader(L"SampleVS.cso", &code)) return -1;
    hr = device_->CreateVertexShader(code.data(), code.size(), nullptr, &vertexShader_);
    if (FAILED(hr)) return hr;
    static const D3D11_INPUT_ELEMENT_DESC kLayout[] = {
        {"POSITION", 0, DXGI_FORMAT_R32G32B32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA, 0},
        {"COLOR", 0, DXGI_FORMAT_R32G32B32A32_FLOAT, 0, 12, D3D11_INPUT_PER_VERTEX_DATA, 0},
        {"TEXCOORD", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 28, D3D11_INPUT_PER_VERTEX_DATA, 0},
    };
    hr = device_->CreateInputLayout(kLayout, 3, code.data(), code.size(), &layout_);
    if (FAILED(hr)) return hr;
    context_->IASetInputLayout(layout_);

    if (!ReadShader(L"SamplePS.cso", &code)) return -1;
    hr = device_->CreatePixelShader(code.data(), code.size(), nullptr, &pixelShader_);
    if (FAILED(hr)) return hr;
    return S_OK;
}

HRESULT Render::CreateBuffers() {
    HRESULT hr;
    // The vertex buffer starts empty: every presented frame uploads the whole queue first.
    D3D11_BUFFER_DESC vb = {};
    vb.ByteWidth = kVertexBytes;
    vb.Usage = D3D11_USAGE_DYNAMIC;
    vb.BindFlags = D3D11_BIND_VERTEX_BUFFER;
    vb.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;
    hr = device_->CreateBuffer(&vb, nullptr, &vertexBuffer_);
    if (FAILED(hr)) return hr;
    UINT stride = sizeof(Vertex), offset = 0;
    context_->IASetVertexBuffers(0, 1, &vertexBuffer_, &stride, &offset);

    for (UINT i = 0; i < kIndices; ++i) indices_[i] = i;
    D3D11_BUFFER_DESC ib = {};
    ib.ByteWidth = sizeof indices_;
    ib.Usage = D3D11_USAGE_DEFAULT;
    ib.BindFlags = D3D11_BIND_INDEX_BUFFER;
    D3D11_SUBRESOURCE_DATA indexData = {indices_, 0, 0};
    hr = device_->CreateBuffer(&ib, &indexData, &indexBuffer_);
    if (FAILED(hr)) return hr;
    context_->IASetIndexBuffer(indexBuffer_, DXGI_FORMAT_R32_UINT, 0);
    context_->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
    return S_OK;
}

HRESULT Render::CreateSampler() {
    HRESULT hr;
    D3D11_SAMPLER_DESC sd = {};
    sd.Filter = D3D11_FILTER_MIN_MAG_MIP_POINT;
    sd.AddressU = D3D11_TEXTURE_ADDRESS_WRAP;
    sd.AddressV = D3D11_TEXTURE_ADDRESS_WRAP;
    sd.AddressW = D3D11_TEXTURE_ADDRESS_WRAP;
    sd.MipLODBias = 0.0f;
    sd.MaxAnisotropy = 0;
    sd.ComparisonFunc = D3D11_COMPARISON_NEVER;
    sd.MinLOD = 0.0f;
    sd.MaxLOD = FLT_MAX;
    hr = device_->CreateSamplerState(&sd, &sampler_);
    if (FAILED(hr)) {
        std::printf("Error : CreateSamplerState() Failed.\n");
        std::fflush(stdout);
        return hr;
    }
    context_->PSSetSamplers(0, 1, &sampler_);
    return S_OK;
}

int32_t Render::Create() {
    HWND window = Win32GameWindow();
    RECT client = {};
    if (window == nullptr || !GetClientRect(window, &client)) return E_FAIL;
    const UINT w = static_cast<UINT>(client.right - client.left);
    const UINT h = static_cast<UINT>(client.bottom - client.top);
    HRESULT hr = CreateDeviceAndSwapChain(window, w, h);
    if (SUCCEEDED(hr)) hr = CreateTargetAndStates(w, h);
    if (SUCCEEDED(hr)) hr = CreateShaders();
    if (SUCCEEDED(hr)) hr = CreateBuffers();
    if (SUCCEEDED(hr)) hr = CreateSampler();
    if (SUCCEEDED(hr)) hr = CreateBlackTexture();
    return SUCCEEDED(hr) ? 1 : hr;
}

void Render::Release() {
    LeaveFullscreenState();
    if (context_ != nullptr) {
        context_->ClearState();
        context_->Flush();
    }
    SafeRelease(vertexShader_);
    SafeRelease(pixelShader_);
    SafeRelease(rasterizer_);
    SafeRelease(depthState_);
    for (int i = kBlendSlots - 1; i >= 0; --i) SafeRelease(blend_[i]);
    SafeRelease(layout_);
    SafeRelease(vertexBuffer_);
    SafeRelease(indexBuffer_);
    for (int i = kTextureSlots - 1; i >= 0; --i) {
        SafeRelease(views_[i]);
        SafeRelease(textures_[i]);
    }
    SafeRelease(blackView_);
    SafeRelease(blackTexture_);
    SafeRelease(sampler_);
    SafeRelease(target_);
    SafeRelease(factory_);
    SafeRelease(output_);
    SafeRelease(swapChain_);
    SafeRelease(context_);
    SafeRelease(device_);
}

void Render::ClearHandles() {
    device_ = nullptr;
    context_ = nullptr;
    swapChain_ = nullptr;
    target_ = nullptr;
    factory_ = nullptr;
    output_ = nullptr;
    layout_ = nullptr;
    vertexShader_ = nullptr;
    pixelShader_ = nullptr;
    vertexBuffer_ = nullptr;
    indexBuffer_ = nullptr;
    depthState_ = nullptr;
    rasterizer_ = nullptr;
    sampler_ = nullptr;
    blackTexture_ = nullptr;
    blackView_ = nullptr;
    for (auto& b : blend_) b = nullptr;
    for (int i = 0; i < kTextureSlots; ++i) {
        textures_[i] = nullptr;
        views_[i] = nullptr;
    }
}

void Render::UploadVertices(const Vertex* vertices, uint32_t count) {
    if (context_ == nullptr || vertexBuffer_ == nullptr) return;
    D3D11_MAPPED_SUBRESOURCE mapped;
    if (FAILED(context_->Map(vertexBuffer_, 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped))) return;
    uint32_t n = count < kVertices ? count : kVertices;
    std::memcpy(mapped.pData, vertices, static_cast<size_t>(n) * sizeof(Vertex));
    context_->Unmap(vertexBuffer_, 0);
}

void Render::Clear() {
    static const float kClear[4] = {0, 0, 0, 0};
    if (context_ != nullptr && target_ != nullptr) context_->ClearRenderTargetView(target_, kClear);
}

void Render::BindShaders() {
    if (context_ == nullptr) return;
    context_->VSSetShader(vertexShader_, nullptr, 0);
    context_->PSSetShader(pixelShader_, nullptr, 0);
}

void Render::SetBlend(int slot, const float factor[4]) {
    if (context_ == nullptr || slot < 0 || slot >= kBlendCreated) return;
    context_->OMSetBlendState(blend_[slot], factor, 0xFFFFFFFF);
}

void Render::BindTexture(int32_t id) {
    if (context_ == nullptr) return;
    ID3D11ShaderResourceView* view = blackView_;
    if (id >= 0 && id < kTextureSlots && views_[id] != nullptr) view = views_[id];
    context_->PSSetShaderResources(0, 1, &view);
}

void Render::Draw4(uint32_t firstIndex) {
    if (context_ == nullptr || firstIndex > kIndices - 4) return;
    context_->DrawIndexed(4, firstIndex, 0);
}

int32_t Render::Present(int syncInterval) {
    if (swapChain_ == nullptr) return DXGI_ERROR_INVALID_CALL;
    return swapChain_->Present(static_cast<UINT>(syncInterval), 0);
}

int32_t Render::RemovedReason() {
    return device_ != nullptr ? device_->GetDeviceRemovedReason() : 0;
}

bool Render::CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) {
    if (device_ == nullptr || id < 0 || id >= kTextureSlots || pixels == nullptr) return false;
    bool wide = format == PlatTextureFormat::R8G8B8A8;
    UINT bytes = wide ? 4 : 2;
    D3D11_TEXTURE2D_DESC d = {};
    d.Width = kTextureSide;
    d.Height = kTextureSide;
    d.MipLevels = 1;
    d.ArraySize = 1;
    d.Format = wide ? DXGI_FORMAT_R8G8B8A8_UNORM : DXGI_FORMAT_B5G5R5A1_UNORM;
    d.SampleDesc = {1, 0};
    d.Usage = D3D11_USAGE_DEFAULT;
    d.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA init = {pixels, kTextureSide * bytes, kTextureSide * kTextureSide * bytes};
    ID3D11Texture2D* texture = nullptr;
    if (FAILED(device_->CreateTexture2D(&d, &init, &texture))) return false;
    D3D11_SHADER_RESOURCE_VIEW_DESC v = {};
    v.Format = d.Format;
    v.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    v.Texture2D.MostDetailedMip = 0;
    v.Texture2D.MipLevels = 1;
    ID3D11ShaderResourceView* view = nullptr;
    if (FAILED(device_->CreateShaderResourceView(texture, &v, &view))) {
        texture->Release();
        return false;
    }
    // Callers release the id first; whatever is still there is released rather than leaked.
    SafeRelease(views_[id]);
    SafeRelease(textures_[id]);
    textures_[id] = texture;
    views_[id] = view;
    context_->PSSetShaderResources(0, 1, &views_[id]);
    return true;
}

void Render::ReleaseTexture(int32_t id) {
    if (id < 0 || id >= kTextureSlots) return;
    SafeRelease(views_[id]);
    SafeRelease(textures_[id]);
}

void Render::LeaveFullscreenState() {
    if (swapChain_ != nullptr) swapChain_->SetFullscreenState(FALSE, nullptr);
}

Render gRender;

}  // namespace

PlatRender* Win32Render() { return &gRender; }
