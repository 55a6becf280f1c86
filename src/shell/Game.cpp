#include "shell/Game.h"

#include "audio/CXa2.h"
#include "graphics/CDx_Gr.h"
#include "graphics/MapSceneEntity.h"
#include "shell/CXi.h"
#include "shell/System.h"

Game* gGame = nullptr;

Game::Game()
    : system(nullptr), mapSceneEntity(nullptr), dxGr(nullptr), xi(nullptr), xa2(nullptr) {
    system = new System();
    mapSceneEntity = new MapSceneEntity();
    dxGr = new CDx_Gr();
    xi = new CXi();
    xa2 = new CXa2();
}

Game::~Game() {
    delete xa2;
    delete xi;
    delete dxGr;
    delete mapSceneEntity;
    delete system;
}
