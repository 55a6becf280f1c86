#include "menus/TitleFrame.h"

#include "game/CObjectIcDX.h"
#include "game/GameScene.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "menus/CTitleIcDX.h"
#include "shell/Game.h"

void TitleFrame() {
    Game* g = gGame;
    MapSceneEntity* scene = g->mapSceneEntity;
    g->dxGr->BeginFrame();
    CTitleIcDX title(g->xi, g->xa2, g->system, scene);
    title.DrawTitleBackground();
    if (scene->textureReloadFlag == 0) title.UpdateTitleMenu();
    UpdateFade(scene);
    CObjectIcDX objects(g->system, scene, g->xa2, g->dxGr);
    objects.DrawFadeOverlay();
    objects.DrawBorders();
    objects.DrawStatusLine();
}
