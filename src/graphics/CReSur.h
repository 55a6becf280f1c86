// CReSur: (re)loads texture ids 0 to 7 from the names of the texture list. Built on the stack at
// start-up and after every rebuild of the renderer; owns nothing. Main thread only.
#pragma once

#include <cstdint>

class CDx_Gr;
class System;
class MapSceneEntity;

constexpr int32_t kListTextures = 8;  // ids 0..7 come from the texture list

class CReSur {
public:
    CReSur(CDx_Gr* renderer, System* system, MapSceneEntity* scene);
    virtual ~CReSur();

    CDx_Gr* renderer;
    System* system;
    MapSceneEntity* scene;

    // For each id 0..7: releases the id, then loads data folder + list name into it, leaving the
    // id empty for the name "null0000.png", and yields the processor. Stops with false at the
    // first load that fails (ids loaded before it stay loaded; the failure has been reported).
    // On success clears textureReloadFlag and returns true.
    bool ReloadTextures();
};
