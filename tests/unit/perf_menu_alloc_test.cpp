// The title scene allocates nothing per frame: with the bare title, the options panel on every row
// and the ranking panel, through the renderer's flush. Allocations are counted at malloc itself
// (operator new ends there too), only on this thread and only while the flag is set. Sanitizer
// builds bring their own malloc, so the count is skipped there.
#include <gtest/gtest.h>

#include <cstddef>
#include <memory>

#include "audio/CXa2.h"
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
#include "support/fixtures.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KELVORINE_OWN_MALLOC 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define KELVORINE_OWN_MALLOC 1
#endif
#endif

namespace {
[[maybe_unused]] thread_local bool tMenuCounting = false;
[[maybe_unused]] thread_local long tMenuMallocs = 0;
}  // namespace

#if !defined(KELVORINE_OWN_MALLOC) && defined(__GLIBC__)
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* malloc(std::size_t size) {
    if (tMenuCounting) ++tMenuMallocs;
    return __libc_malloc(size);
}
#define KELVORINE_COUNTS_MALLOC 1
#endif

namespace {

class MenuAllocTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedPlatform = Plat();
        platform.services.echoMessages = false;
        platform.Install();
        booted = std::make_unique<BootedGame>();
        game = booted->game;
        game->system->soundMode = 2;
        booted->CreateEffectVoices();
    }
    void TearDown() override {
        booted.reset();
        SetPlatform(savedPlatform);
    }
    void Open(int32_t item, int32_t row) {
        fixtures::OpenMenu(*game->mapSceneEntity, item, row);
    }
    void Frames(int n) {
        for (int i = 0; i < n; ++i) {
            TitleFrame(game->system, game->mapSceneEntity, game->xi, game->xa2, game->dxGr);
            game->dxGr->EndFrame();
        }
    }

    Platform savedPlatform;
    HeadlessPlatform platform;
    std::unique_ptr<BootedGame> booted;
    Game* game = nullptr;
};

TEST_F(MenuAllocTest, TitleOptionsAndRankingFramesAllocateNothing) {
#ifndef KELVORINE_COUNTS_MALLOC
    GTEST_SKIP() << "malloc belongs to the sanitizer runtime in this build";
#else
    // The counter itself sees operator new.
    tMenuCounting = true;
    int* volatile probe = new int(1);
    tMenuCounting = false;
    delete probe;
    ASSERT_EQ(tMenuMallocs, 1);
    tMenuMallocs = 0;

    // One untimed frame of each screen first: anything made once on first use is not per frame.
    Open(kItemStart, 0);
    Frames(1);
    Open(kItemRanking, 0);
    Frames(1);
    Open(kItemOptions, 0);
    Frames(1);

    tMenuCounting = true;
    Open(kItemStart, 0);
    Frames(300);  // the opening, the bounce and a full backdrop scroll period
    Open(kItemRanking, 0);
    Frames(120);
    for (int32_t row = 0; row <= 10; ++row) {
        Open(kItemOptions, row);
        Frames(30);
    }
    tMenuCounting = false;

    EXPECT_EQ(tMenuMallocs, 0);
    EXPECT_GT(game->dxGr->queueCount, 20u);  // the options panel was really drawn
#endif
}

}  // namespace
