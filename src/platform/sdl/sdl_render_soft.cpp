#include "platform/sdl/sdl_render_soft.h"

#include <time.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Copies a row into the window surface with stores that bypass the cache where the processor has
// them: the surface is read next by the display server, not by us, and a cached store would
// first read each line from memory.
void StreamCopy(void* dst, const void* src, size_t bytes) {
#if defined(__SSE2__)
    if ((reinterpret_cast<uintptr_t>(dst) & 15) == 0) {
        __m128i* d = static_cast<__m128i*>(dst);
        const __m128i* s = static_cast<const __m128i*>(src);
        const size_t n = bytes / 16;
        for (size_t i = 0; i < n; ++i) _mm_stream_si128(d + i, _mm_loadu_si128(s + i));
        _mm_sfence();
        std::memcpy(static_cast<uint8_t*>(dst) + n * 16, static_cast<const uint8_t*>(src) + n * 16, bytes - n * 16);
        return;
    }
#endif
    std::memcpy(dst, src, bytes);
}

// How an image row becomes a surface row.
enum PutMode : int { kPutCopy, kPutSwap, kPutOpaque, kPutConvert };

int WindowWatch(void* self, SDL_Event* e) {
    if (e->type != SDL_WINDOWEVENT) return 0;
    switch (e->window.event) {
        case SDL_WINDOWEVENT_EXPOSED:
            static_cast<SoftRender*>(self)->Invalidate(false);
            break;
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESIZED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_MAXIMIZED:
            static_cast<SoftRender*>(self)->Invalidate(true);
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace

// ------------------------------------------------------------------------------------------ SoftRender

SoftRender::SoftRender(SdlWindow* window) : RasterRender(false), window_(window) {
    // Uninitialised on purpose: pages are only touched as far as frames use them.
    commands_[0].reset(new Command[kMaxCommands]);
    commands_[1].reset(new Command[kMaxCommands]);
    previousVertices_.reset(new Vertex[kMaxVertices]);
    band_.reset(new uint32_t[static_cast<size_t>(kBandRows) * kImageW]);
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
    surfaceCurrent_ = false;
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

void SoftRender::Rasterise(const Command* c, uint32_t n, const Vertex* vertices, uint32_t count) {
    RasterRender::UploadVertices(vertices, count);
    BeginSteps();
    // The state commands take effect in order; each draw is made ready with the state it sees.
    for (uint32_t i = 0; i < n; ++i) {
        switch (c[i].kind) {
            case kCmdClear:
                RecordRender::Clear();
                AddClearStep();
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
                RecordRender::Draw4(static_cast<uint32_t>(c[i].value));
                AddDrawStep(static_cast<uint32_t>(c[i].value));
                break;
            default:
                break;
        }
    }
    // Then band by band: every step over the band's rows, and the band into the window. The
    // band's rows stay in the processor's cache from the clear to the window.
    const bool put = BeginPut();
    if (put && DrawsInSurface()) {
        // Straight into the surface, band by band as well; every row is sent.
        SetTarget(static_cast<uint32_t*>(putSurface_->pixels), 0);
        DrawStepsInBands();
        bands_[0] = SDL_Rect{0, 0, kImageW, kImageH};
        bandCount_ = 1;
        rowsSent += kImageH;
        ++surfaceFrames_;
    } else {
        const uint64_t sentBefore = rowsSent;
        for (int first = 0; first < kImageH; first += kBandRows) {
            const int end = first + kBandRows < kImageH ? first + kBandRows : kImageH;
            SetTarget(band_.get(), first);
            DrawSteps(first, end);
            if (put) PutRows(band_.get(), first, end);
        }
        // What the comparison found decides how the next frames are drawn.
        if (put && !putFull_) everyRowChanged_ = rowsSent - sentBefore == static_cast<uint64_t>(putSurface_->h);
        surfaceFrames_ = 0;
    }
    SetTarget(nullptr, 0);
    if (put) EndPut();
    surfaceCurrent_ = put;
}

// Drawing a frame straight into the window surface saves copying each band into it, but leaves
// nothing to compare the new rows with, so every row is sent. That is taken where the surface is
// the image's own size, layout and channel order, and where every row would be sent anyway: a
// repaint, or a picture whose every row changed on the last frame compared (the scrolling title
// and its panels). Every kCompareEvery-th frame is compared again, so that a picture that comes
// to rest goes back to sending only what changes.
bool SoftRender::DrawsInSurface() const {
    const SDL_Surface* s = putSurface_;
    if (s->w != kImageW || s->h != kImageH || putMode_ != kPutCopy || s->pitch != kImageW * 4) return false;
    return putFull_ || (everyRowChanged_ && surfaceFrames_ + 1 < kCompareEvery);
}

int32_t SoftRender::Present(int syncInterval) {
    const int32_t result = RasterRender::Present(syncInterval);
    const bool same = previousValid_ && !overflow_ && SameAsPrevious();
    if (same) {
        ++framesReused;
    } else {
        Rasterise(commands_[current_].get(), commandCount_[current_], upload_, uploadCount_);
        ++framesRasterised;
        // This frame becomes the one the next is compared with.
        if (vertexEnd_ > 0) std::memcpy(previousVertices_.get(), upload_, vertexEnd_ * sizeof(Vertex));
        previousVertexEnd_ = vertexEnd_;
        previousValid_ = !overflow_;
        current_ ^= 1;
    }
    if (syncInterval > 0) WaitForRefresh(syncInterval);
    if (same && repaint_) Show();
    Send();
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
    Send();
}

void SoftRender::Show() {
    if (framesRasterised == 0) return;  // nothing presented yet
    if (!surfaceCurrent_) {
        // The surface does not hold the last picture: it is drawn again from its commands and
        // the copy of its vertices.
        repaint_ = true;
        Rasterise(commands_[current_ ^ 1].get(), commandCount_[current_ ^ 1], previousVertices_.get(),
                  previousVertexEnd_);
        return;
    }
    // It does: all of it is sent again.
    if (!BeginPut()) return;
    bands_[0] = SDL_Rect{0, 0, putSurface_->w, putSurface_->h};
    bandCount_ = 1;
    rowsSent += static_cast<uint64_t>(putSurface_->h);
    EndPut();
}

// Takes the window surface for a put: sampling maps for its size, the way rows go into it, and
// whether all of it is to be sent (a repaint, or a surface that holds nothing yet).
bool SoftRender::BeginPut() {
    putSurface_ = nullptr;
    SDL_Window* w = window_->window;
    if (w == nullptr) return false;
    SDL_Surface* s = SDL_GetWindowSurface(w);
    if (s == nullptr || s->w <= 0 || s->h <= 0) return false;
    putFull_ = repaint_;
    repaint_ = false;
    if (s != lastSurface_ || s->w != mapW_ || s->h != mapH_) {
        // A new surface holds nothing yet; rebuild the sampling maps for its size.
        mapX_.reset(new (std::nothrow) uint16_t[s->w]);
        mapY_.reset(new (std::nothrow) uint16_t[s->h]);
        row_.reset(new (std::nothrow) uint32_t[2 * static_cast<size_t>(s->w)]);
        if (!mapX_ || !mapY_ || !row_) {
            lastSurface_ = nullptr;
            mapW_ = mapH_ = 0;
            repaint_ = true;
            return false;
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
        putFull_ = true;
    }
    const uint32_t format = s->format->format;
    const bool bgr = BgrOrder();
    putMode_ = kPutConvert;
    if (format == SDL_PIXELFORMAT_RGB888) putMode_ = bgr ? kPutCopy : kPutSwap;
    if (format == SDL_PIXELFORMAT_ARGB8888) putMode_ = bgr ? kPutOpaque : kPutSwap;
    if (format == SDL_PIXELFORMAT_BGR888 || format == SDL_PIXELFORMAT_ABGR8888) putMode_ = bgr ? kPutSwap : kPutCopy;
    if (SDL_MUSTLOCK(s) && SDL_LockSurface(s) != 0) {
        repaint_ = repaint_ || putFull_;
        return false;
    }
    putSurface_ = s;
    putY_ = 0;
    putOpen_ = -1;
    bandCount_ = 0;
    return true;
}

// Puts the surface rows that sample image rows [imageFirst, imageEnd), held in `rows` (scaled
// with nearest sampling), each only where it differs from what the surface holds, and gathers
// the bands that changed. Rows come in order.
void SoftRender::PutRows(const uint32_t* rows, int imageFirst, int imageEnd) {
    SDL_Surface* s = putSurface_;
    if (s == nullptr) return;
    const bool oneToOne = s->w == kImageW && s->h == kImageH;
    const int rowBytes = s->w * s->format->BytesPerPixel;
    uint32_t* row = row_.get();
    uint32_t* converted = row_.get() + s->w;
    for (; putY_ < s->h && mapY_[putY_] < imageEnd; ++putY_) {
        const int y = putY_;
        const uint32_t* src = rows + static_cast<size_t>(mapY_[y] - imageFirst) * kImageW;
        const void* out = row;
        if (oneToOne && putMode_ == kPutCopy) {
            out = src;  // already in the surface's order: no pass at all
        } else if (oneToOne) {
            if (putMode_ == kPutSwap) {
                for (int x = 0; x < kImageW; ++x) row[x] = SwapRedBlue(src[x]);
            } else if (putMode_ == kPutOpaque) {
                for (int x = 0; x < kImageW; ++x) row[x] = src[x] | 0xFF000000u;
            } else {
                std::memcpy(row, src, sizeof(uint32_t) * kImageW);
            }
        } else {
            const uint16_t* mx = mapX_.get();
            if (putMode_ == kPutSwap) {
                for (int x = 0; x < s->w; ++x) row[x] = SwapRedBlue(src[mx[x]]);
            } else if (putMode_ == kPutOpaque) {
                for (int x = 0; x < s->w; ++x) row[x] = src[mx[x]] | 0xFF000000u;
            } else {
                for (int x = 0; x < s->w; ++x) row[x] = src[mx[x]];
            }
        }
        if (putMode_ == kPutConvert) {
            SDL_ConvertPixels(s->w, 1, BgrOrder() ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_ABGR8888, row,
                              s->w * 4, s->format->format, converted, rowBytes);
            out = converted;
        }
        uint8_t* dst = static_cast<uint8_t*>(s->pixels) + static_cast<size_t>(y) * s->pitch;
        const bool changed = putFull_ || std::memcmp(dst, out, rowBytes) != 0;
        if (changed) {
            StreamCopy(dst, out, rowBytes);
            ++rowsSent;
            if (putOpen_ < 0) putOpen_ = y;
        } else if (putOpen_ >= 0) {
            if (bandCount_ == kMaxBands) {
                // Too many bands: the last one stretches to cover the rest.
                bands_[kMaxBands - 1].h = y - bands_[kMaxBands - 1].y;
            } else {
                bands_[bandCount_++] = SDL_Rect{0, putOpen_, s->w, y - putOpen_};
            }
            putOpen_ = -1;
        }
    }
}

void SoftRender::EndPut() {
    SDL_Surface* s = putSurface_;
    if (s == nullptr) return;
    if (putOpen_ >= 0) {
        if (bandCount_ == kMaxBands) {
            bands_[kMaxBands - 1].h = s->h - bands_[kMaxBands - 1].y;
        } else {
            bands_[bandCount_++] = SDL_Rect{0, putOpen_, s->w, s->h - putOpen_};
        }
        putOpen_ = -1;
    }
    if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
}

// Shows the bands the last put changed.
void SoftRender::Send() {
    SDL_Window* w = window_->window;
    if (w != nullptr && bandCount_ > 0 && putSurface_ != nullptr) {
        SDL_UpdateWindowSurfaceRects(w, bands_, bandCount_);
    }
    bandCount_ = 0;
    putSurface_ = nullptr;
}
