// The play scene allocates nothing per frame. Global operator new is replaced for the whole test
// binary; it only counts while the flag of the calling thread is set.
#include <cstdlib>
#include <new>

#include "game_test_support.h"
#include "core/CXi.h"

namespace {

using gametest::GameTest;

thread_local bool tCounting = false;
thread_local long tAllocations = 0;

void* Allocate(std::size_t size) {
    if (tCounting) ++tAllocations;
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
// The nothrow forms too: every form of new must pair with the deletes above (a sanitizer's own
// nothrow new[] paired with this free() is a mismatch).
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (tCounting) ++tAllocations;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

TEST_F(GameTest, TenThousandPlayFramesAllocateNothing) {
    // The counter itself works.
    tCounting = true;
    delete new int(1);
    tCounting = false;
    ASSERT_EQ(tAllocations, 1);
    tAllocations = 0;

    EnableEffects();
    scene->sceneNumber = 4;
    // A scripted player: mostly soft drop with moves, turns and the odd pause, from a fixed
    // pseudo-random sequence so that locks, line clears and game overs all happen.
    uint32_t rng = 12345;
    auto next = [&rng] {
        rng = rng * 1103515245u + 12345u;
        return (rng >> 16) & 0x7FFF;
    };
    int32_t dirs = 0, buttons = 0;
    long locks = 0, games = 0, pausedFrames = 0;

    tCounting = true;
    for (int f = 0; f < 10000; ++f) {
        if (f % 8 == 0) {
            const uint32_t r = next();
            dirs = kDirDown;
            if (r % 5 == 0) dirs |= kDirLeft;
            if (r % 7 == 0) dirs |= kDirRight;
            buttons = 0;
            if (r % 3 == 0) buttons |= kBtnDecision;
            if (r % 11 == 0) buttons |= kBtnCancellation;
            if (r % 97 == 0) buttons |= kBtnPause;
        }
        if (f % 60 == 0) platform.SetCalendarTime(1700000000 + f / 60);
        const int32_t y = gPlay.pieceY;
        SceneFrame(dirs, buttons);
        if (gPlay.pieceY == 0 && y != 0) ++locks;
        if (scene->menu.paused != 0) ++pausedFrames;
        if (scene->sceneNumber == 1) {
            ++games;
            scene->sceneNumber = 4;
        }
    }
    tCounting = false;

    EXPECT_EQ(tAllocations, 0);
    EXPECT_GT(locks, 20);
    EXPECT_GT(pausedFrames, 0);
    EXPECT_GE(games, 1);
}

}  // namespace
