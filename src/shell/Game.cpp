#include "shell/Game.h"

#include "audio/CXa2.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "core/CXi.h"
#include "core/System.h"

Game* gGame = nullptr;

Game::Game()
    : system(nullptr), mapSceneEntity(nullptr), dxGr(nullptr), xi(nullptr), xa2(nullptr) {
    system = new System();
    mapSceneEntity = new MapSceneEntity();
    dxGr = new CDx_Gr();
    xi = new CXi();
    xa2 = new CXa2();
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
