// The SDL window: the framed 1280 x 720 window, its borderless form, the one-message pump and the
// window mark that tells other copies of the game that this one has a window.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/platform.h"
#include "platform/sdl/sdl_video.h"

class SdlClock;

class SdlWindow final : public SdlGameWindow {
public:
    KELVORINE_SDL_WINDOW_OVERRIDES
    void UnregisterClass() override;

    bool borderless = false;
    bool wmFullscreen = false;    // the window manager's full-screen state is in use
    int savedX = 0, savedY = 0, savedW = kScreenWidth, savedH = kScreenHeight;
    bool placementSaved = false;
    int windowMark = -1;          // socket that tells other copies this window exists
    SdlRepaint* repaint = nullptr;  // shows the last frame again on an expose
    SdlClock* clock = nullptr;      // told when the window goes away and comes back
    // Client rectangle after the last size change handled (which edges a resize moved).
    int lastX = 0, lastY = 0, lastW = kScreenWidth, lastH = kScreenHeight;

private:
    bool HandleEvent(const SDL_Event& e, PlatWindowEvents* events);
    void Resized(int w, int h, PlatWindowEvents* events);
    void RememberClientRect();
    void SetAway(bool away);  // the window lost or regained the keyboard focus
};

