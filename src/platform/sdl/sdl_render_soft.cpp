#include "platform/sdl/sdl_render_soft.h"

#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/sdl/sdl_services.h"

namespace {

enum CommandKind : int32_t { kCmdClear = 1, kCmdBlend, kCmdTexture, kCmdDraw };

constexpr int kImageW = RasterRender::kWidth;
constexpr int kImageH = RasterRender::kHeight;
constexpr int kMaxBands = 32;

bool ShaderExists(const char* name) {
    char path[4096];
    if (!SdlFindShader(name, path, sizeof path)) return false;
    FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return false;
    std::fclose(f);
    return true;
}

// Image pixels hold r, g, b, a in memory order; the usual X11 surface wants b, g, r, x.
inline uint32_t SwapRedBlue(uint32_t p) {
    return ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu) | 0xFF000000u;
}

int WindowWatch(void* self, SDL_Event* e) {
    if (e->type != SDL_WINDOWEVENT) return 0;
    switch (e->window.event) {
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESIZED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
            static_cast<SoftRender*>(self)->Invalidate();
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace

// ------------------------------------------------------------------------------------------ SoftRender

SoftRender::SoftRender(SdlWindow* window) : window_(window) {
    // Uninitialised on purpose: pages are only touched as far as frames use them.
    commands_[0].reset(new Command[kMaxCommands]);
    commands_[1].reset(new Command[kMaxCommands]);
    previousVertices_.reset(new Vertex[kMaxVertices]);
    // The rasteriser samples its own copy of each texture; the given pixels need no keeping.
    keepTexturePixels = false;
    SDL_AddEventWatch(WindowWatch, this);
}

SoftRender::~SoftRender() { SDL_DelEventWatch(WindowWatch, this); }

int32_t SoftRender::Create() {
    // The pipeline has no use for the shader files here, but the device fails exactly as the
    // OpenGL one does when they are missing.
    if (!ShaderExists("SampleVS.glsl") || !ShaderExists("SamplePS.glsl")) return -1;
    // Without this SDL would back the window surface with an OpenGL texture of its own.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Draw in the window's own channel order, so rows go to its surface as they are. Without an
    // alpha channel in the window nothing reads the image's alpha.
    if (window_->window != nullptr) {
        const uint32_t format = SDL_GetWindowPixelFormat(window_->window);
        SetBgrOrder(format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_ARGB8888);
        SetAlphaUnused(format == SDL_PIXELFORMAT_RGB888 || format == SDL_PIXELFORMAT_BGR888);
    }
    // The refresh rate vertical sync keeps to.
    SDL_DisplayMode mode;
    const int display = window_->window != nullptr ? SDL_GetWindowDisplayIndex(window_->window) : 0;
    const int hz = SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) == 0 ? mode.refresh_rate : 0;
    refreshNs_ = 1000000000ull / static_cast<uint64_t>(hz > 0 ? hz : 60);
    refreshGrid_ = 0;
    const int32_t r = RasterRender::Create();
    previousValid_ = false;
    repaint_ = true;
    commandCount_[0] = commandCount_[1] = 0;
    return r;
}

void SoftRender::Release() {
    RasterRender::Release();
    previousValid_ = false;
    repaint_ = true;
}

void SoftRender::ClearHandles() {
    RasterRender::ClearHandles();
    previousValid_ = false;
    repaint_ = true;
}

void SoftRender::UploadVertices(const Vertex* vertices, uint32_t count) {
    upload_ = vertices;
    uploadCount_ = vertices != nullptr ? (count < kMaxVertices ? count : kMaxVertices) : 0;
    vertexEnd_ = 0;
}

void SoftRender::Record(int32_t kind, int32_t value, const float* factor) {
    uint32_t& n = commandCount_[current_];
    if (n >= kMaxCommands) {
        overflow_ = true;
        return;
    }
    Command& c = commands_[current_][n++];
    c.kind = kind;
    c.value = value;
    if (factor != nullptr) {
        std::memcpy(c.factor, factor, sizeof c.factor);
    } else {
        std::memset(c.factor, 0, sizeof c.factor);
    }
}

void SoftRender::Clear() { Record(kCmdClear, 0, nullptr); }

void SoftRender::SetBlend(int slot, const float factor[4]) { Record(kCmdBlend, slot, factor); }

void SoftRender::BindTexture(int32_t id) { Record(kCmdTexture, id, nullptr); }

void SoftRender::Draw4(uint32_t firstIndex) {
    if (firstIndex <= uploadCount_ && uploadCount_ - firstIndex >= 4 && firstIndex + 4 > vertexEnd_) {
        vertexEnd_ = firstIndex + 4;
    }
    Record(kCmdDraw, static_cast<int32_t>(firstIndex), nullptr);
}

bool SoftRender::CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) {
    previousValid_ = false;
    return RasterRender::CreateTexture(id, format, pixels);
}

void SoftRender::ReleaseTexture(int32_t id) {
    previousValid_ = false;
    RasterRender::ReleaseTexture(id);
}

bool SoftRender::SameAsPrevious() const {
    const int prev = current_ ^ 1;
    const uint32_t n = commandCount_[current_];
    if (n != commandCount_[prev] || vertexEnd_ != previousVertexEnd_) return false;
    if (std::memcmp(commands_[current_].get(), commands_[prev].get(), n * sizeof(Command)) != 0) return false;
    return vertexEnd_ == 0 || std::memcmp(upload_, previousVertices_.get(), vertexEnd_ * sizeof(Vertex)) == 0;
}

void SoftRender::Rasterise() {
    RasterRender::UploadVertices(upload_, uploadCount_);
    const Command* c = commands_[current_].get();
    const uint32_t n = commandCount_[current_];
    for (uint32_t i = 0; i < n; ++i) {
        switch (c[i].kind) {
            case kCmdClear:
                RasterRender::Clear();
                break;
            case kCmdBlend: {
                float f[4];
                std::memcpy(f, c[i].factor, sizeof f);
                RasterRender::SetBlend(c[i].value, f);
                break;
            }
            case kCmdTexture:
                RasterRender::BindTexture(c[i].value);
                break;
            case kCmdDraw:
                RasterRender::Draw4(static_cast<uint32_t>(c[i].value));
                break;
            default:
                break;
        }
    }
    ++framesRasterised;
}

int32_t SoftRender::Present(int syncInterval) {
    const int32_t result = RasterRender::Present(syncInterval);
    const bool same = previousValid_ && !overflow_ && SameAsPrevious();
    if (same) {
        ++framesReused;
    } else {
        Rasterise();
        // This frame becomes the one the next is compared with.
        if (vertexEnd_ > 0) std::memcpy(previousVertices_.get(), upload_, vertexEnd_ * sizeof(Vertex));
        previousVertexEnd_ = vertexEnd_;
        previousValid_ = !overflow_;
        current_ ^= 1;
    }
    if (syncInterval > 0) WaitForRefresh(syncInterval);
    if (!same || repaint_) Show();
    commandCount_[current_] = 0;
    overflow_ = false;
    vertexEnd_ = 0;
    return result;
}

void SoftRender::WaitForRefresh(int syncInterval) {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t now = static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
    // The refresh this present belongs to follows the previous one's. A frame that came late is
    // shown at once and the next one waits less, as a swap chain with a queue of frames does;
    // only a stall of more than a refresh starts the count afresh.
    uint64_t next = refreshGrid_ + static_cast<uint64_t>(syncInterval) * refreshNs_;
    if (refreshGrid_ == 0 || next + refreshNs_ < now) next = now;
    refreshGrid_ = next;
    if (next <= now) return;
    ts.tv_sec = static_cast<time_t>(next / 1000000000ull);
    ts.tv_nsec = static_cast<long>(next % 1000000000ull);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

void SoftRender::RepaintLastFrame() {
    if (framesRasterised == 0) return;  // nothing presented yet: the next present shows it all
    repaint_ = true;
    Show();
}

// Puts the image into the window surface, scaled to it with nearest sampling, and sends the bands
// of rows that changed.
void SoftRender::Show() {
    SDL_Window* w = window_->window;
    if (w == nullptr) return;
    SDL_Surface* s = SDL_GetWindowSurface(w);
    if (s == nullptr || s->w <= 0 || s->h <= 0) return;
    bool full = repaint_;
    repaint_ = false;
    if (s != lastSurface_ || s->w != mapW_ || s->h != mapH_) {
        // A new surface holds nothing yet; rebuild the sampling maps for its size.
        mapX_.reset(new (std::nothrow) uint16_t[s->w]);
        mapY_.reset(new (std::nothrow) uint16_t[s->h]);
        row_.reset(new (std::nothrow) uint32_t[2 * static_cast<size_t>(s->w)]);
        if (!mapX_ || !mapY_ || !row_) {
            lastSurface_ = nullptr;
            mapW_ = mapH_ = 0;
            return;
        }
        for (int x = 0; x < s->w; ++x) {
            const int64_t sx = (static_cast<int64_t>(2 * x + 1) * kImageW) / (2 * s->w);
            mapX_[x] = static_cast<uint16_t>(sx < kImageW ? sx : kImageW - 1);
        }
        for (int y = 0; y < s->h; ++y) {
            const int64_t sy = (static_cast<int64_t>(2 * y + 1) * kImageH) / (2 * s->h);
            mapY_[y] = static_cast<uint16_t>(sy < kImageH ? sy : kImageH - 1);
        }
        lastSurface_ = s;
        mapW_ = s->w;
        mapH_ = s->h;
        full = true;
    }

    // How an image row becomes a surface row.
    enum class Put { Copy, Swap, Opaque, Convert };
    const uint32_t format = s->format->format;
    const bool bgr = BgrOrder();
    Put put = Put::Convert;
    if (format == SDL_PIXELFORMAT_RGB888) put = bgr ? Put::Copy : Put::Swap;
    if (format == SDL_PIXELFORMAT_ARGB8888) put = bgr ? Put::Opaque : Put::Swap;
    if (format == SDL_PIXELFORMAT_BGR888 || format == SDL_PIXELFORMAT_ABGR8888) put = bgr ? Put::Swap : Put::Copy;
    const bool oneToOne = s->w == kImageW && s->h == kImageH;
    const int rowBytes = s->w * s->format->BytesPerPixel;
    if (SDL_MUSTLOCK(s) && SDL_LockSurface(s) != 0) return;

    SDL_Rect bands[kMaxBands];
    int bandCount = 0;
    int open = -1;  // first row of the band being gathered
    const uint32_t* image = Pixels();
    uint32_t* row = row_.get();
    uint32_t* converted = row_.get() + s->w;
    for (int y = 0; y <= s->h; ++y) {
        bool changed = false;
        if (y < s->h) {
            const uint32_t* src = image + static_cast<size_t>(mapY_[y]) * kImageW;
            const void* out = row;
            if (oneToOne && put == Put::Copy) {
                out = src;  // already in the surface's order: no pass at all
            } else if (oneToOne) {
                if (put == Put::Swap) {
                    for (int x = 0; x < kImageW; ++x) row[x] = SwapRedBlue(src[x]);
                } else if (put == Put::Opaque) {
                    for (int x = 0; x < kImageW; ++x) row[x] = src[x] | 0xFF000000u;
                } else {
                    std::memcpy(row, src, sizeof(uint32_t) * kImageW);
                }
            } else {
                const uint16_t* mx = mapX_.get();
                if (put == Put::Swap) {
                    for (int x = 0; x < s->w; ++x) row[x] = SwapRedBlue(src[mx[x]]);
                } else if (put == Put::Opaque) {
                    for (int x = 0; x < s->w; ++x) row[x] = src[mx[x]] | 0xFF000000u;
                } else {
                    for (int x = 0; x < s->w; ++x) row[x] = src[mx[x]];
                }
            }
            if (put == Put::Convert) {
                SDL_ConvertPixels(s->w, 1, bgr ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_ABGR8888, row, s->w * 4,
                                  format, converted, rowBytes);
                out = converted;
            }
            uint8_t* dst = static_cast<uint8_t*>(s->pixels) + static_cast<size_t>(y) * s->pitch;
            if (full || std::memcmp(dst, out, rowBytes) != 0) {
                std::memcpy(dst, out, rowBytes);
                changed = true;
                ++rowsSent;
            }
        }
        if (changed && open < 0) open = y;
        if (!changed && open >= 0) {
            if (bandCount == kMaxBands) {
                // Too many bands: the last one stretches to cover the rest.
                bands[kMaxBands - 1].h = y - bands[kMaxBands - 1].y;
            } else {
                bands[bandCount++] = SDL_Rect{0, open, s->w, y - open};
            }
            open = -1;
        }
    }
    if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
    if (bandCount > 0) SDL_UpdateWindowSurfaceRects(w, bands, bandCount);
}
