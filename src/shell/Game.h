// Game: the container of the long-lived objects, reached through one process-wide pointer.
// Members are created in the order System, MapSceneEntity, CDx_Gr, CXi, CXa2 and deleted in the
// reverse order.
#pragma once

class System;
class MapSceneEntity;
class CDx_Gr;
class CXi;
class CXa2;

class Game {
public:
    Game();
    virtual ~Game();

    // Links the members to each other: the renderer and the input to the settings and the scene,
    // the audio to the settings (start-up step 11).
    void Link();

    System* system;
    MapSceneEntity* mapSceneEntity;
    CDx_Gr* dxGr;
    CXi* xi;
    CXa2* xa2;
};

// The process-wide container; null before start-up and after shutdown.
extern Game* gGame;
