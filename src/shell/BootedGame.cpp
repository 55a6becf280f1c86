#include "shell/BootedGame.h"

#include "audio/CXa2.h"
#include "game/PlayState.h"
#include "graphics/MapSceneEntity.h"
#include "menus/Menu.h"
#include "platform/platform.h"
#include "shell/Game.h"
#include "shell/System.h"

BootedGame::BootedGame() : game(new Game()), system(game->system), scene(game->mapSceneEntity), saved_(gGame) {
    gGame = game;
    game->Link();
    scene->FillAngleTables();
    scene->FreeHeldBuffer();
    system->currentMusicTrack.store(0, std::memory_order_relaxed);
    scene->gameStartTime = 0;
    scene->textureReloadFlag = 0;
    gWindowThreadId = 0;
    gProcessId = 0;
    ResetPlayStateToProgramStart();
    ResetMenuProcessState();
}

BootedGame::~BootedGame() {
    for (int i = 0; i < kEffectVoices; ++i) game->xa2->seVoice[i] = nullptr;  // the device's
    delete game;
    gGame = saved_;
}

void BootedGame::CreateEffectVoices() {
    const WaveFormat effects{1, 2, 44100, 176400, 4, 16, 0};
    for (int i = 0; i < kEffectVoices; ++i) game->xa2->seVoice[i] = Plat().audio->CreateSourceVoice(effects);
}
