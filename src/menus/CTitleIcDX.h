// CTitleIcDX: the title scene's backdrop and menu, with the two sub-screens it opens in a panel
// (ranking, options). Built on the stack by TitleFrame for one frame; owns nothing.
// Main thread only.
#pragma once

#include <cstdint>

#include "menus/Menu.h"

class CXi;
class CXa2;
class System;
class MapSceneEntity;

// Title items.
constexpr int32_t kItemStart = 0;
constexpr int32_t kItemRanking = 1;
constexpr int32_t kItemOptions = 2;

// Options rows.
constexpr int32_t kRowScreenMode = 0;
constexpr int32_t kRowVsync = 1;
constexpr int32_t kRowTimer = 2;
constexpr int32_t kRowFrameSkip = 3;
constexpr int32_t kRowBgmVolume = 4;
constexpr int32_t kRowSeVolume = 5;
constexpr int32_t kRowFirstButton = 6;  // DECISION, CANCELLATION, PAUSE, SHIFT
constexpr int32_t kRowLastButton = 9;
constexpr int32_t kRowColor = 10;
constexpr int32_t kOptionRowCount = 11;
constexpr int32_t kVolumeStepMax = 20;

// Number of values of each options row.
int32_t OptionValueCount(int32_t row);

// Hands the title over to the game: music request 0, the game's first object record placed,
// music restart and texture reload cleared, the menu block zeroed, scene 4 fading in from black.
void StartGameFromTitle(System* system, MapSceneEntity* scene);

class CTitleIcDX : public Menu {
public:
    CTitleIcDX(CDx_Gr* renderer, CXi* input, CXa2* audio, System* system, MapSceneEntity* scene)
        : Menu(renderer, scene), input(input), audio(audio), system(system), scene(scene) {}
    ~CTitleIcDX() override = default;

    CXi* input;
    CXa2* audio;
    System* system;
    MapSceneEntity* scene;

    // Bounce and scroll steps, then the backdrop, logo and items (or the waiting picture while
    // textures are being loaded).
    void DrawTitleBackground();
    // The title's phases and cursor, the sub-screen's phases, input, panel and contents, and the
    // start of a game once the fade is complete. Not run while textures are being loaded.
    void UpdateTitleMenu();

    // Options screen.
    void UpdateOptionsInput();  // row cursor, then the value of the row under it
    void ApplyOptions();        // the values of the open screen take effect
    void DrawOptions();
    // Ranking screen.
    void DrawRanking();
};
