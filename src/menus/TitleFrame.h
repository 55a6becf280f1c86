// The title scene's frame, run by the main loop once per frame while the scene number is 1.
#pragma once

class System;
class MapSceneEntity;
class CXi;
class CXa2;
class CDx_Gr;

// Empties the sprite queue, draws the backdrop, runs the menu (unless textures are being loaded),
// steps the fade, and draws the overlay, the borders and the status line.
void TitleFrame(System* system, MapSceneEntity* scene, CXi* input, CXa2* audio,
                CDx_Gr* renderer);
