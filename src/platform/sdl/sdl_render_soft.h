// Software presentation path of the SDL backend.
//
// SoftRender draws the sprite queue with the software rasteriser into the 1280 x 720 image and
// puts that image into the window's own surface (no OpenGL involved), scaled to the client area
// with nearest sampling. What keeps it cheap:
//   - a frame is recorded, not drawn, until Present; when its commands and the vertices they read
//     are byte for byte those of the previous frame (and no texture changed), nothing is
//     rasterised and nothing is sent to the display: the window still shows that picture;
//   - the frame is drawn in bands of rows, each band going into the window surface right after
//     it is drawn, while its pixels are still in the processor's cache;
//   - rows are converted into the window surface only where they differ from what it holds, and
//     only the changed bands are sent to the display;
//   - while every row changes from frame to frame (the scrolling title), the bands are drawn
//     straight into a surface of the image's own size and order, with no copy; one frame in
//     kCompareEvery is still compared row by row, to notice when the picture comes to rest;
//   - with a sync interval of 1 (vertical sync on) presents keep to the refresh rate of the
//     display mode (60 Hz when unknown), as a swap chain waiting for the vertical blank does:
//     the game is paced to the refresh rate even in the timer mode that does not wait;
//   - a size change of the window repaints all of it on the next present; an expose puts the
//     last presented picture back at once, with no frame run (an inactive window included).

#pragma once

#include <cstdint>
#include <memory>

#include "platform/common/raster.h"
#include "platform/sdl/sdl_window.h"

class SoftRender final : public RasterRender, public SdlRepaint {
public:
    explicit SoftRender(SdlWindow* window);
    ~SoftRender() override;

    int32_t Create() override;
    void Release() override;
    void ClearHandles() override;
    void UploadVertices(const Vertex* vertices, uint32_t count) override;
    void Clear() override;
    void SetBlend(int slot, const float factor[4]) override;
    void BindTexture(int32_t id) override;
    void Draw4(uint32_t firstIndex) override;
    int32_t Present(int syncInterval) override;
    bool CreateTexture(int32_t id, PlatTextureFormat format, const void* pixels) override;
    void ReleaseTexture(int32_t id) override;

    // Repaint the whole window on the next present: after an expose (the surface still holds
    // the picture) or a change that may have replaced the surface (its contents lost).
    void Invalidate(bool contentsLost) {
        repaint_ = true;
        if (contentsLost) surfaceCurrent_ = false;
    }
    // Shows the last presented picture again, now.
    void RepaintLastFrame() override;

    // Counters for measurements and checks.
    uint64_t framesRasterised = 0;
    uint64_t framesReused = 0;
    uint64_t rowsSent = 0;

private:
    struct Command {
        int32_t kind;
        int32_t value;
        uint32_t factor[4];
    };
    static constexpr uint32_t kMaxCommands = kRenderQueueSlots * 3u + 64u;
    static_assert(kMaxCommands <= kMaxSteps, "every command of a frame may become a step");
    static constexpr uint32_t kMaxVertices = kRenderQueueVertices;

    void Record(int32_t kind, int32_t value, const float* factor);
    bool SameAsPrevious() const;
    // Draws a frame's commands band by band, each band put into the window surface as soon as
    // it is drawn. There is no whole image: the surface holds the picture.
    void Rasterise(const Command* commands, uint32_t count, const Vertex* vertices, uint32_t vertexCount);
    // Putting image rows into the window surface: BeginPut, PutRows for rows in order, EndPut;
    // then Send shows the rows that changed.
    bool BeginPut();
    void PutRows(const uint32_t* rows, int imageFirst, int imageEnd);
    void EndPut();
    void Send();
    // Puts the last presented picture into the surface again, all of it.
    void Show();
    // Whether the frame under way is drawn straight into the window surface.
    bool DrawsInSurface() const;

    SdlWindow* window_;
    std::unique_ptr<Command[]> commands_[2];
    uint32_t commandCount_[2] = {};
    int current_ = 0;                         // log being filled; the other is the last drawn
    bool previousValid_ = false;
    bool overflow_ = false;
    std::unique_ptr<Vertex[]> previousVertices_;
    std::unique_ptr<uint32_t[]> band_;   // the rows of the band being drawn
    bool surfaceCurrent_ = false;         // the surface holds the last rasterised picture
    uint32_t vertexEnd_ = 0;                  // vertices read by this frame's draws
    uint32_t previousVertexEnd_ = 0;
    const Vertex* upload_ = nullptr;
    uint32_t uploadCount_ = 0;
    bool repaint_ = true;
    // Nearest-sampling maps for the current client size.
    int mapW_ = 0, mapH_ = 0;
    std::unique_ptr<uint16_t[]> mapX_, mapY_;
    std::unique_ptr<uint32_t[]> row_;
    void* lastSurface_ = nullptr;
    // The put under way: its surface, how rows go into it, the next surface row, the band of
    // changed rows being gathered, and the bands to send.
    static constexpr int kMaxBands = 32;
    SDL_Surface* putSurface_ = nullptr;
    int putMode_ = 0;
    bool putFull_ = false;
    int putY_ = 0;
    int putOpen_ = -1;
    SDL_Rect bands_[kMaxBands];
    int bandCount_ = 0;
    // Whether every row changed on the last frame compared, and the frames drawn straight into
    // the surface since.
    static constexpr int kCompareEvery = 16;
    bool everyRowChanged_ = false;
    int surfaceFrames_ = 0;
    // Vertical sync: nanoseconds per refresh, and the monotonic time of the refresh the last
    // synchronised present was due at (0: none yet).
    void WaitForRefresh(int syncInterval);
    uint64_t refreshNs_ = 1000000000ull / 60;
    uint64_t refreshGrid_ = 0;
};
