// The SDL video pieces every game window on SDL takes, the desktop's window (sdl_window.cpp) and
// the page's canvas (web/web_window.cpp): their common base and the helpers they call. Main
// thread only.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "platform/platform.h"
#include "platform/sdl/sdl_render_gl.h"

// What every game window on SDL has in common: the SDL window, kept after Destroy for the render
// device's context until the class is unregistered; the close and quit messages it posts to
// itself; its client size, which SDL reports and sets directly (so the frame metrics are zero).
class SdlGameWindow : public PlatWindow, public SdlGlTarget {
public:
    void UnregisterClass() override;
    bool Exists() override { return window != nullptr; }
    void GetClientSize(int32_t* w, int32_t* h) override;
    void FrameMetrics(int32_t* cxFrame, int32_t* cyFrame, int32_t* cyCaption) override;
    void PostClose() override { closePosted = true; }
    void ShowCursor() override;
    SDL_Window* Drawable() const { return window != nullptr ? window : hidden; }
    SDL_Window* GlWindow() const override { return Drawable(); }
    void GlDrawableSize(int32_t* w, int32_t* h) override { GetClientSize(w, h); }

    SDL_Window* window = nullptr;   // null once destroyed
    SDL_Window* hidden = nullptr;   // the destroyed window, kept for the render device's context
    bool videoUp = false;
    bool closePosted = false;
    bool quitPosted = false;
    // False when the software presentation path was chosen before the window exists (the
    // platform sets it): the window then carries no OpenGL drawable.
    bool openGlDrawable = true;

protected:
    // The message the window posted to itself, as PumpOne answers it: the quit that follows
    // Destroy, else a close request. False when none is waiting.
    bool TakePosted(PlatWindowEvents* events, int* exitCode, PlatPump* result);
};

// The members of PlatWindow that SdlGameWindow leaves to each window, declared in one list: the
// desktop's window and the page's canvas define every one of them.
#define KELVORINE_SDL_WINDOW_OVERRIDES                                                          \
    bool RegisterClass() override;                                                              \
    bool Create() override;                                                                     \
    void Show() override;                                                                       \
    bool GetWindowRect(PlatRect* out) override;                                                 \
    PlatPump PumpOne(PlatWindowEvents* events, int* exitCode) override;                         \
    void Minimize() override;                                                                   \
    void Destroy() override;                                                                    \
    bool SavePlacement() override;                                                              \
    bool PrimaryMonitorRect(PlatRect* out) override;                                            \
    void SetBorderless(const PlatRect& monitor) override;                                       \
    void RestoreFramed() override;                                                              \
    void ThreadProcessIds(uint32_t* thread, uint32_t* process) override;                        \
    bool FindOtherInstanceWindow() override;

// Switches off the events the game never reads, once SDL's video subsystem is up: it reads key
// levels, not text, and mouse moves and touches would only fill the queue. Key levels come from
// SDL's keyboard state, which releases update without an event; presses stay events, for the
// pressed-since-the-last-query latch and the accelerators.
void SdlIgnoreUnreadEvents();

// The game's window "Kelvorine", kScreenWidth x kScreenHeight and hidden, with the render
// device's context attributes set first; openGl: it carries an OpenGL drawable. Null (SDL's
// reason logged) when it cannot be made.
SDL_Window* SdlCreateGameWindow(bool openGl, uint32_t extraFlags);

// The accelerator command of a key press (kWindowCommandClose for Esc, kWindowCommandToggle for
// Alt+Enter), 0 for any other key.
int SdlAcceleratorCommand(const SDL_KeyboardEvent& key);
