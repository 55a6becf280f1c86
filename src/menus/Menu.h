// Menu: the drawing pieces the title menu and its sub-screens share (cursor frames, the sub-screen
// panel, bitmap-font text), and the process-wide state of the menus. Built on the stack for one
// frame; owns nothing. Sprites go to the renderer the menu is given. Main thread only.
#pragma once

#include <cstdint>

class MapSceneEntity;
class CDx_Gr;

// Phases of the title menu, the sub-screen and the pause machine.
constexpr int32_t kPhaseClosed = 0;
constexpr int32_t kPhaseOpening = 1;
constexpr int32_t kPhaseOpenHeld = 2;   // open, waiting for DECISION to be released
constexpr int32_t kPhaseIdle = 4;
constexpr int32_t kPhaseClosing = 8;
constexpr int32_t kPhaseClosedHeld = 16;  // closed, waiting for DECISION to be released
constexpr int32_t kOpenSteps = 8;        // frames of opening / closing

// Key repeat: a counter at 48 is ready; the first delay counts 1 a frame, later ones 16.
constexpr int32_t kRepeatReady = 48;
constexpr int32_t kRepeatSlowStep = 1;
constexpr int32_t kRepeatFastStep = 16;

constexpr int32_t kMenuTexture = 5;      // panel and cursor frame pieces
constexpr int32_t kFontTexture = 6;      // 16 x 16 cells of 16 x 32 texels
constexpr uint32_t kFrameInnerColour = 0x7FFFFFFF;
constexpr uint32_t kPanelBorderColour = 0xBFFFFFFF;
constexpr uint32_t kWhite = 0xFFFFFFFF;

// State of the menus that lives for the whole process (not in the menu block, so a game start
// leaves it alone).
struct MenuProcessState {
    int32_t bounce;            // 0..16, the selected item's and the waiting picture's bob
    int32_t bounceFalling;     // 1 while the bounce counter runs back to 0
    int32_t scroll;            // 0..719, the title backdrop's vertical offset
    int32_t upDownDelayPassed;     // the first repeat delay has passed in the current up/down hold
    int32_t leftRightDelayPassed;  // the same for left/right
    uint32_t borderColour;     // colour of the next cursor frame's border
};

extern MenuProcessState gMenuState;

// Puts the process-wide menu state back to its value at program start.
void ResetMenuProcessState();

// One frame of the menu key repeat for one axis. `first` and `second` are the axis's keys (first
// wins when both are held). A move needs the counter ready and DECISION up, and resets the
// counter; then the counter counts while a key is held, or is made ready (and the delay flag
// cleared) when none is. Returns -1 for a move toward `first`, +1 toward `second`, 0 for none.
int StepKeyRepeat(int32_t* counter, int32_t* delayPassed, bool first, bool second, bool decision);

class Menu {
public:
    Menu(CDx_Gr* renderer, MapSceneEntity* scene) : renderer(renderer), menuScene(scene) {}
    virtual ~Menu() = default;

    CDx_Gr* renderer;  // not owned
    MapSceneEntity* menuScene;

    // A cursor frame that opens from its middle line: nothing while `opening` <= 0, full height
    // at 8. Its border takes the process-wide border colour, which then follows cursorPulse.
    void DrawCursorFrame(int32_t x, int32_t y, int32_t w, int32_t h, int32_t opening);
    // The sub-screen panel over x 208..208 + w, y 0..h, in the colour theme's pieces.
    void DrawPanel(int32_t w, int32_t h);
    // Bitmap-font text: one glyph per character from texture 6, `advance` pixels apart, each drawn
    // glyphW x glyphH. Spaces are drawn too (they select an empty cell).
    void DrawText(const char* text, int32_t x, int32_t y, int32_t advance, int32_t glyphW,
                  int32_t glyphH);
    // Like DrawText for the fixed-width texts of the options screen: the text padded with spaces
    // to 29 characters.
    void DrawFieldText(const char* text, int32_t x, int32_t y, int32_t advance, int32_t glyphW,
                       int32_t glyphH);
};

// Queues one untransformed sprite on `renderer`.
void MenuSprite(CDx_Gr* renderer, int32_t texture, int32_t x, int32_t y, int32_t w, int32_t h,
                int32_t srcX, int32_t srcY, int32_t srcW, int32_t srcH, uint32_t colour);
