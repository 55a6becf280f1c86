// A whole Game on the headless platform for the menu tests: linked as start-up links it, textures
// loaded (no waiting picture), effect voices that count what is played, and every sprite of a
// frame recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/CXa2.h"
#include "game/PlayState.h"
#include "graphics/CDx_Gr.h"
#include "core/MapSceneEntity.h"
#include "menus/CTitleIcDX.h"
#include "menus/Menu.h"
#include "menus/TitleFrame.h"
#include "platform/headless/headless.h"
#include "shell/BootedGame.h"
#include "core/CXi.h"
#include "shell/Game.h"
#include "core/System.h"

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.services.echoMessages = false;
        platform.SetCalendarTime(1700000000);
        platform.Install();
        booted = std::make_unique<BootedGame>();
        game = booted->game;
        sys = booted->system;
        scene = booted->scene;
        menu = &scene->menu;
        sys->soundMode = 2;
        booted->CreateEffectVoices();
        game->dxGr->drawObserver = [](const DrawParam& p, void* ctx) {
            static_cast<MenuTest*>(ctx)->draws.push_back(p);
        };
        game->dxGr->drawObserverContext = this;
    }
    void TearDown() override {
        booted.reset();
    }

    HeadlessVoice* Voice(int id) const { return static_cast<HeadlessVoice*>(game->xa2->seVoice[id]); }
    // Times effect 0 was played (PlaySe submits its buffer; the preview only restarts the voice).
    int ConfirmSounds() const { return Voice(0)->submits; }

    // One title frame with the given input levels.
    void Frame(int32_t dirs = 0, int32_t buttons = 0) {
        sys->dirBits = dirs;
        sys->buttonBits = buttons;
        draws.clear();
        TitleFrame(game->system, game->mapSceneEntity, game->xi, game->xa2, game->dxGr);
    }
    void Frames(int n, int32_t dirs = 0, int32_t buttons = 0) {
        for (int i = 0; i < n; ++i) Frame(dirs, buttons);
    }
    // From a fresh title: open it and wait until it is idle (9 frames).
    void OpenTitle() {
        Frames(9);
        ASSERT_EQ(menu->titlePhase, kPhaseIdle);
    }
    // Moves the title cursor to `item` and opens its sub-screen fully (phase 4, panel at 8).
    void OpenSubScreen(int32_t item) {
        OpenTitle();
        for (int i = 0; i < item; ++i) {
            Frame(kDirDown);
            Frame();
        }
        ASSERT_EQ(menu->titleCursor, item);
        Frame(0, kBtnDecision);
        Frames(9);
        ASSERT_EQ(menu->subPhase, kPhaseIdle);
        ASSERT_EQ(menu->subOpen, 8);
    }
    // Sprites of the last frame drawn from `texture` at (x, y).
    int CountDraws(int32_t texture, int32_t x, int32_t y) const {
        int n = 0;
        for (const DrawParam& p : draws) n += p.texture == texture && p.x == x && p.y == y;
        return n;
    }
    // The glyph row text drawn from the font at y (characters in x order, starting at x0 with the
    // given advance), decoded back from the source cells.
    std::string TextAt(int32_t x0, int32_t y, int32_t advance, int count) const {
        std::string s(count, '\0');
        for (const DrawParam& p : draws) {
            if (p.texture != kFontTexture || p.y != y || p.x < x0 || (p.x - x0) % advance != 0) continue;
            const int i = (p.x - x0) / advance;
            if (i < count) s[i] = static_cast<char>(p.srcX / 16 + 16 * (p.srcY / 32));
        }
        return s;
    }

    HeadlessPlatform platform;
    std::unique_ptr<BootedGame> booted;
    Game* game = nullptr;
    System* sys = nullptr;
    MapSceneEntity* scene = nullptr;
    MenuBlock* menu = nullptr;
    std::vector<DrawParam> draws;
};
