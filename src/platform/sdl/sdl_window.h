// The SDL window: the framed 1280 x 720 window, its borderless form, the one-message pump and the
// window mark that tells other copies of the game that this one has a window.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/platform.h"
#include "platform/sdl/sdl_render_gl.h"

class SdlClock;

class SdlWindow final : public PlatWindow, public SdlGlTarget {
public:
    SDL_Window* GlWindow() const override { return Drawable(); }
    void GlDrawableSize(int32_t* w, int32_t* h) override { GetClientSize(w, h); }
    bool RegisterClass() override;
    void UnregisterClass() override;
    SDL_Window* Drawable() const { return window != nullptr ? window : hidden; }
    bool Create() override;
    bool Exists() override { return window != nullptr; }
    void Show() override;
    bool GetWindowRect(PlatRect* out) override;
    void GetClientSize(int32_t* w, int32_t* h) override;
    void FrameMetrics(int32_t* cxFrame, int32_t* cyFrame, int32_t* cyCaption) override;
    PlatPump PumpOne(PlatWindowEvents* events, int* exitCode) override;
    void PostClose() override;
    void ShowCursor() override;
    void Minimize() override;
    void Destroy() override;
    bool SavePlacement() override;
    bool PrimaryMonitorRect(PlatRect* out) override;
    void SetBorderless(const PlatRect& monitor) override;
    void RestoreFramed() override;
    void ThreadProcessIds(uint32_t* thread, uint32_t* process) override;
    bool FindOtherInstanceWindow() override;

    SDL_Window* window = nullptr;   // null once destroyed
    SDL_Window* hidden = nullptr;   // the destroyed window, kept for the OpenGL context
    bool videoUp = false;
    bool closePosted = false;
    bool quitPosted = false;
    bool borderless = false;
    bool wmFullscreen = false;    // the window manager's full-screen state is in use
    int savedX = 0, savedY = 0, savedW = 1280, savedH = 720;
    bool placementSaved = false;
    // False when the software presentation path was chosen before the window exists (the
    // platform sets it): the window then carries no OpenGL drawable.
    bool openGlDrawable = true;
    int windowMark = -1;          // socket that tells other copies this window exists
    SdlRepaint* repaint = nullptr;  // shows the last frame again on an expose
    SdlClock* clock = nullptr;      // told when the window goes away and comes back
    // Client rectangle after the last size change handled (which edges a resize moved).
    int lastX = 0, lastY = 0, lastW = 1280, lastH = 720;

private:
    bool HandleEvent(const SDL_Event& e, PlatWindowEvents* events);
    void Resized(int w, int h, PlatWindowEvents* events);
    void RememberClientRect();
    void SetAway(bool away);  // the window lost or regained the keyboard focus
};

