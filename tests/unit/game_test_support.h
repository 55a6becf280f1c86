// A whole Game on the headless platform for the play-scene tests: the long-lived objects linked
// as start-up links them, the angle tables filled, the play state back at program start, a fixed
// calendar second, and effect voices that record what the rules play.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "audio/CXa2.h"
#include "game/CObjectIcDX.h"
#include "game/GameScene.h"
#include "game/Pieces.h"
#include "game/PlayState.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "platform/headless/headless.h"
#include "shell/BootedGame.h"
#include "core/CXi.h"
#include "shell/Game.h"
#include "core/System.h"

namespace gametest {

class GameTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.services.echoMessages = false;
        platform.SetCalendarTime(1700000000);
        platform.Install();
        booted = std::make_unique<BootedGame>();
        game = booted->game;
        sys = booted->system;
        scene = booted->scene;
    }
    void TearDown() override {
        booted.reset();
    }

    // Effect voices that record their starts (sound mode 1 makes PlaySe reach them).
    void EnableEffects() {
        sys->soundMode = 1;
        sys->soundOff = 0;
        booted->CreateEffectVoices();
    }
    int EffectStarts(int id) const {
        return static_cast<HeadlessVoice*>(game->xa2->seVoice[id])->starts;
    }

    // One PlayFrame with the given input levels.
    void Play(int32_t dirs = 0, int32_t buttons = 0) {
        sys->dirBits = dirs;
        sys->buttonBits = buttons;
        CObjectIcDX(sys, scene, game->xa2, game->dxGr).PlayFrame();
    }
    // One whole play-scene frame with the given input levels.
    void SceneFrame(int32_t dirs = 0, int32_t buttons = 0) {
        sys->dirBits = dirs;
        sys->buttonBits = buttons;
        GameSceneFrame(game->system, game->mapSceneEntity, game->xa2, game->dxGr);
    }

    // The first frame of a game (board and queue set up, no input), then the falling piece
    // replaced by the given type at the given place.
    void StartWith(int32_t type, int32_t x = kSpawnX, int32_t y = 0, int32_t rotation = 0) {
        Play();
        Place(type, x, y, rotation);
    }
    void Place(int32_t type, int32_t x, int32_t y, int32_t rotation = 0) {
        gPlay.pieceQueue[0] = type;
        gPlay.pieceX = x;
        gPlay.pieceY = y;
        gPlay.rotation = rotation;
        gPlay.gravityCounter = 0;
        gPlay.lockCounter = 0;
        // Contacts as the previous frame would have left them for the new place.
        for (int k = 0; k < 16; ++k) {
            gPlay.cellCol[k] = x / 24 + k % 4;
            gPlay.cellRow[k] = y / 24 + k / 4;
        }
        CObjectIcDX(sys, scene, game->xa2, game->dxGr).UpdateContacts();
    }
    static int32_t& Cell(int row, int col) { return gPlay.board[row * 12 + col]; }
    // Fills columns 1..10 of a row, except the given column when it is 1..10.
    static void FillRow(int row, int gap = 0, int32_t value = 1) {
        for (int c = 1; c <= 10; ++c) Cell(row, c) = c == gap ? 0 : value;
    }

    HeadlessPlatform platform;
    std::unique_ptr<BootedGame> booted;
    Game* game = nullptr;
    System* sys = nullptr;
    MapSceneEntity* scene = nullptr;
};

}  // namespace gametest
