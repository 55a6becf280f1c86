// The shell's window procedure and the full-screen toggle. The backend turns its own events into
// PlatWindowEvents calls; everything here runs on the main thread inside the message step of the
// main loop (the toggle runs later in the same turn).
#pragma once

#include <cstdint>

#include "platform/platform.h"

class System;

constexpr int kCommandClose = kWindowCommandClose;    // Esc
constexpr int kCommandToggle = kWindowCommandToggle;  // Alt+Enter

// Sizing edges (WMSZ_*).
constexpr int kSizeLeft = 1, kSizeRight = 2, kSizeTop = 3, kSizeTopLeft = 4, kSizeTopRight = 5,
              kSizeBottom = 6, kSizeBottomLeft = 7, kSizeBottomRight = 8;

// Keeps the client area of a window rectangle at 16:9 while `edge` is dragged. extraW and extraH
// are the frame's share of the window size (4 x frame width; caption + 4 x frame height). New
// edges are truncated toward zero after adding the extra size. Other edge values leave rect.
void KeepSixteenByNine(int edge, PlatRect* rect, int32_t extraW, int32_t extraH);

// The window procedure. OnClose shows the cursor, minimises and destroys the window; the backend
// then delivers the quit message (exit code 0) that ends the main loop.
class ShellWindowEvents final : public PlatWindowEvents {
public:
    explicit ShellWindowEvents(System* system) : system(system) {}

    void OnActivate(bool active) override;
    void OnCommand(int command) override;
    void OnClose() override;
    void OnSizing(int edge, PlatRect* rect) override;

    System* system;
};

// Creates the framed window (not yet shown) and sets the client size fields to 1280 x 720. Class
// registration must have succeeded. False when the window cannot be made.
bool CreateGameWindow(System* system);

// Records the window rectangle in System; left and top become 0 when it cannot be read.
void StoreWindowRect(System* system);

// The main loop's toggle between the framed window and the borderless window over the primary
// monitor: inverts fullScreen, copies it into entry 0 of the options mirror, clears the request.
void ToggleWindowForm(System* system);
