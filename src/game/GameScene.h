// The play scene: the per-frame driver, the background and sprite forwarding objects, the music
// request server, and the fade step shared with the title scene.
#pragma once

#include <cstdint>

#include "graphics/DrawParam.h"

class System;
class MapSceneEntity;
class CDx_Gr;
class CXa2;

// The play scene's frame: pause, music request, fade, background, the game, overlay, borders
// and status line. Called by the main loop while the scene number is 4. Returns 1.
int GameSceneFrame(System* system, MapSceneEntity* scene, CXa2* audio, CDx_Gr* renderer);

// One step of the fade: fadeToBlack raises fadeAlpha by 5 up to 255; fadeFromBlack lowers it by 5
// and, in the frame that finds it at 0, clears both flags.
void UpdateFade(MapSceneEntity* scene);

class CBGIcDX {
public:
    CBGIcDX(System* system, MapSceneEntity* scene) : system(system), scene(scene) {}
    virtual ~CBGIcDX() = default;

    System* system;
    MapSceneEntity* scene;

    // Queues the backdrop on `renderer`; nothing without one.
    void DrawBackground(CDx_Gr* renderer);
};

// Forwards a record to the renderer's DrawSprite unchanged.
class CSetVerTex {
public:
    CSetVerTex(CDx_Gr* renderer, System* system, MapSceneEntity* scene)
        : renderer(renderer), system(system), scene(scene) {}
    virtual ~CSetVerTex() = default;

    CDx_Gr* renderer;
    System* system;
    MapSceneEntity* scene;

    int Draw(const DrawParam& p);
};

// Serves music requests of the play scene.
class CDungeon {
public:
    CDungeon(System* system, MapSceneEntity* scene) : system(system), scene(scene) {}
    virtual ~CDungeon() = default;

    System* system;
    MapSceneEntity* scene;

    // Codes that name no track (and codes above 901) leave the request pending. Returns 1.
    int SelectMusic(int32_t code);
    // Rewinds the track when it changed or a restart is forced. Returns 1.
    int ApplyMusicChange(int32_t track);
    // Track of a request code, or 0 when the code names none.
    static int32_t TrackForCode(int32_t code);
};
