#include "shell/Game.h"

#include "audio/CXa2.h"
#include "audio/OggTrack.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "core/CXi.h"
#include "core/System.h"

Game* gGame = nullptr;

namespace {

// The music sources read the settings of whichever game is current (the start-up and the tests
// swap it), so they ask each time rather than keep a pointer.
System* CurrentGameSettings() { return gGame != nullptr ? gGame->system : nullptr; }

}  // namespace

Game::Game()
    : system(nullptr), mapSceneEntity(nullptr), dxGr(nullptr), xi(nullptr), xa2(nullptr) {
    system = new System();
    mapSceneEntity = new MapSceneEntity();
    dxGr = new CDx_Gr();
    xi = new CXi();
    xa2 = new CXa2();
    SetMusicSettingsSource(&CurrentGameSettings);
}

void Game::Link() {
    dxGr->system = system;
    dxGr->scene = mapSceneEntity;
    xi->system = system;
    xi->scene = mapSceneEntity;
    xa2->settings = system;
}

Game::~Game() {
    delete xa2;
    delete xi;
    delete dxGr;
    delete mapSceneEntity;
    delete system;
}
