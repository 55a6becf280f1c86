// CObjectIcDX: one frame of the puzzle game (rules and board drawing), the pause machine, and the
// overlay, border and status-line sprites shared with the title scene. Built on the stack for one
// frame with links to the long-lived objects; owns nothing. Sprites go to the renderer it is given.
#pragma once

#include <cstdint>

class System;
class MapSceneEntity;
class CXa2;
class CDx_Gr;
struct DrawParam;
class FrameGenerator;

class CObjectIcDX {
public:
    CObjectIcDX(System* system, MapSceneEntity* scene, CXa2* audio, CDx_Gr* renderer)
        : system(system), scene(scene), audio(audio), renderer(renderer) {}
    virtual ~CObjectIcDX() = default;

    System* system;
    MapSceneEntity* scene;
    CXa2* audio;
    CDx_Gr* renderer;  // null draws nothing

    // One frame of play: seeding, set-up, moves, rotation, contacts, gravity and locking, line
    // scan and score, then the board sprites and the game-over sequence.
    void PlayFrame();
    // Contact flags of the falling piece as it stands (blockedLeft, blockedRight, landed).
    void UpdateContacts();
    // One step of the pause machine (reads the PAUSE button).
    void UpdatePause();
    // The black overlay whose opacity is fadeAlpha, over the whole client area.
    void DrawFadeOverlay();
    // The four bars that frame the picture.
    void DrawBorders();
    // The diagnostic line just below the object area.
    void DrawStatusLine();

private:
    // The steps of PlayFrame, in their order.
    void SetUpNewGame(FrameGenerator& gen);
    void MoveSideways(int32_t dirs, int32_t buttons);
    void PlaceBoxCells();
    void Rotate(bool held, int32_t* latch, int32_t quarterTurns);
    bool BoxOverlaps(int32_t rotation) const;
    void FallAndLock(bool running, int32_t dirs, FrameGenerator& gen);
    void ScanLines();
    void DrawPlay(bool running);
    void RunGameOver();
    void EndGame();

    void Submit(const DrawParam& p);
    void DrawCell(int32_t value, int32_t x, int32_t y);
    void DrawText(const char* text, int n, int32_t x, int32_t y);
};
