#include "menus/TitleFrame.h"

#include "game/CObjectIcDX.h"
#include "game/GameScene.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "menus/CTitleIcDX.h"

void TitleFrame(System* system, MapSceneEntity* scene, CXi* input, CXa2* audio,
                CDx_Gr* renderer) {
    renderer->BeginFrame();
    CTitleIcDX title(renderer, input, audio, system, scene);
    title.DrawTitleBackground();
    if (scene->textureReloadFlag == 0) title.UpdateTitleMenu();
    UpdateFade(scene);
    CObjectIcDX objects(system, scene, audio, renderer);
    objects.DrawFadeOverlay();
    objects.DrawBorders();
    objects.DrawStatusLine();
}
