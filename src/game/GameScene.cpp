#include "game/GameScene.h"

#include "audio/MusicStream.h"
#include "game/CObjectIcDX.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "core/System.h"

int GameSceneFrame(System* system, MapSceneEntity* scene, CXa2* audio, CDx_Gr* renderer) {
    CDungeon dungeon(system, scene);
    CBGIcDX background(system, scene);
    CObjectIcDX object(system, scene, audio, renderer);

    renderer->BeginFrame();
    object.UpdatePause();
    if (scene->musicRequestPending == 1) dungeon.SelectMusic(scene->musicRequestCode);
    UpdateFade(scene);
    background.DrawBackground(renderer);
    object.PlayFrame();
    object.DrawFadeOverlay();
    object.DrawBorders();
    object.DrawStatusLine();
    return 1;
}

// The level moves in steps of 5 from 0 or 255; it is clamped so that no other start can wrap it.
void UpdateFade(MapSceneEntity* scene) {
    if (scene->fadeToBlack != 0 && scene->fadeAlpha < 255) {
        scene->fadeAlpha = scene->fadeAlpha > 250 ? 255 : static_cast<uint8_t>(scene->fadeAlpha + 5);
    }
    if (scene->fadeFromBlack != 0) {
        if (scene->fadeAlpha != 0) {
            scene->fadeAlpha = scene->fadeAlpha < 5 ? 0 : static_cast<uint8_t>(scene->fadeAlpha - 5);
        } else {
            scene->fadeToBlack = 0;
            scene->fadeFromBlack = 0;
        }
    }
}

void CBGIcDX::DrawBackground(CDx_Gr* renderer) {
    const DrawParam p = MakeDrawParam(3, 16, 0, 1536, 768, 0, 0, 512, 256);
    if (renderer != nullptr) CSetVerTex(renderer, system, scene).Draw(p);
}

int CSetVerTex::Draw(const DrawParam& p) {
    renderer->DrawSprite(p);
    return 1;
}

int32_t CDungeon::TrackForCode(int32_t code) {
    struct Range {
        int32_t first, last, track;
    };
    // Codes not listed here name no track.
    static constexpr Range kRanges[] = {
        {0, 0, 7},       {1, 1, 5},       {2, 2, 6},       {3, 3, 5},       {4, 13, 6},
        {14, 14, 5},     {15, 18, 6},     {19, 20, 5},     {21, 25, 6},     {101, 113, 6},
        {122, 122, 6},   {131, 133, 5},   {134, 134, 6},   {135, 135, 5},   {136, 145, 6},
        {146, 152, 5},   {153, 154, 6},   {155, 162, 5},   {164, 165, 5},   {166, 167, 6},
        {168, 169, 5},   {170, 178, 6},   {179, 179, 5},   {210, 210, 6},   {901, 901, 6},
    };
    for (const Range& r : kRanges) {
        if (code >= r.first && code <= r.last) return r.track;
    }
    return 0;
}

// A code that names no track leaves the request pending; it is offered again next frame.
int CDungeon::SelectMusic(int32_t code) {
    const int32_t track = TrackForCode(code);
    if (track == 0) return 1;
    system->previousMusic = system->currentMusicTrack.load(std::memory_order_relaxed);
    system->currentMusicTrack.store(track, std::memory_order_relaxed);
    ApplyMusicChange(track);
    scene->musicRequestPending = 0;
    return 1;
}

// The music thread follows currentMusicTrack by itself; a changed track (or a forced restart)
// is rewound here so that it starts from its beginning. Without a running sound engine no track
// is open, so nothing is rewound.
int CDungeon::ApplyMusicChange(int32_t track) {
    if (system->currentMusicTrack.load(std::memory_order_relaxed) != system->previousMusic ||
        system->musicRestart == 1) {
        if ((system->soundMode == 1 || system->soundMode == 2) && system->soundOff == 0) {
            RewindMusicTrack(track);
        }
    }
    system->musicRestart = 0;
    return 1;
}
