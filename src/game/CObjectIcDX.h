// CObjectIcDX: one frame of the puzzle game (rules and board drawing), the pause machine, and the
// overlay, border and status-line sprites shared with the title scene. Built on the stack for one
// frame with links to the long-lived objects; owns nothing. Sprites go to gGame->dxGr.
#pragma once

#include <cstdint>

class System;
class MapSceneEntity;
class CXa2;

class CObjectIcDX {
public:
    CObjectIcDX(System* system, MapSceneEntity* scene, CXa2* audio)
        : system(system), scene(scene), audio(audio) {}
    virtual ~CObjectIcDX() = default;

    System* system;
    MapSceneEntity* scene;
    CXa2* audio;

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
};
