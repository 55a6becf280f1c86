#include "shell/BootedGame.h"

#include "audio/CXa2.h"
#include "game/PlayState.h"
#include "graphics/CReSur.h"
#include "core/MapSceneEntity.h"
#include "menus/Menu.h"
#include "platform/platform.h"
#include "platform/common/text.h"
#include "core/CLoadFile.h"
#include "shell/Game.h"
#include "core/System.h"

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

bool BootedGame::LoadTextures(const char* dataFolder) {
    char16_t data[kPathChars];
    char16_t list[kPathChars];
    if (!HostBytesToU16(dataFolder, data, kPathChars) || !U16Cat(data, kPathChars, u"/") ||
        !U16Copy(system->dataFolder, kPathChars, data) || !U16Copy(list, kPathChars, data) ||
        !U16Cat(list, kPathChars, u"grp\\grp_0003.txt")) {
        return false;
    }
    CLoadFile files(system, scene);
    if (!files.ReadTextureList(list)) return false;
    CReSur loader(game->dxGr, system, scene);
    return loader.ReloadTextures();
}
