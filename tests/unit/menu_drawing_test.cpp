// Drawing pieces of the menus: cursor frames, the panel, text, and the ranking lines.
#include <climits>

#include "menu_fixture.h"

class MenuDrawingTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        game->dxGr->BeginFrame();
    }
};

TEST_F(MenuDrawingTest, CursorFrameOpensFromItsMiddleAndBreathes) {
    Menu m(game->dxGr, scene);
    m.DrawCursorFrame(100, 200, 188, 20, 0);
    EXPECT_TRUE(draws.empty());

    scene->cursorPulse = 100;
    m.DrawCursorFrame(100, 200, 188, 20, 4);
    ASSERT_EQ(draws.size(), 9u);
    // Half open: 10 high, top at 200 + 4 * 20 / 16 = 205.
    const DrawParam& fill = draws[0];
    EXPECT_EQ(fill.x, 104);
    EXPECT_EQ(fill.y, 209);
    EXPECT_EQ(fill.w, 180);
    EXPECT_EQ(fill.h, 2);
    EXPECT_EQ(fill.srcX, 160);
    EXPECT_EQ(fill.colour, 0x7FFFFFFFu);
    // The first border of the run is 0xBF..., then the colour follows the pulse.
    EXPECT_EQ(draws[1].colour, 0xBFFFFFFFu);
    EXPECT_EQ(draws[1].y, 205);
    EXPECT_EQ(draws[4].x, 100 + 188 - 4);  // bottom-right corner
    EXPECT_EQ(draws[4].y, 205 + 10 - 4);
    EXPECT_EQ(draws[4].srcX, 172);
    EXPECT_EQ(draws[4].srcY, 28);
    EXPECT_EQ(draws[8].h, 2);  // right edge spans the inner height

    draws.clear();
    m.DrawCursorFrame(100, 200, 188, 20, 8);
    EXPECT_EQ(draws[1].colour, 0xA4FFFFFFu);  // (100 + 64) << 24
    EXPECT_EQ(draws[1].y, 200);
}

TEST_F(MenuDrawingTest, RankingLinesKeepTheirWidths) {
    scene->rankScores[0] = 2147483647;
    scene->rankDates[0] = RankDate{5, 4, 23, 31, 11, 124, 0, 0, 0};
    scene->rankScores[2] = 1230;
    // A damaged date from the settings file must not break the screen.
    scene->rankDates[3] = RankDate{INT_MAX, INT_MIN, 99, 99, INT_MAX, INT_MAX, 0, 0, 0};
    CTitleIcDX title(game->dxGr, game->xi, game->xa2, sys, scene);
    title.DrawRanking();
    EXPECT_EQ(TextAt(592, 24, 16, 7), "RANKING");
    EXPECT_EQ(TextAt(376, 72, 16, 33), " 1 2024/12/31 23: 4: 5 2147483647");
    EXPECT_EQ(TextAt(376, 72 + 56, 16, 33), " 2 1900/ 1/ 0  0: 0: 0          0");
    EXPECT_EQ(TextAt(376, 72 + 112, 16, 33), " 3 1900/ 1/ 0  0: 0: 0       1230");
    EXPECT_EQ(TextAt(376, 72 + 56 * 9, 16, 33), "10 1900/ 1/ 0  0: 0: 0          0");
    const std::string damaged = TextAt(376, 72 + 168, 16, 40);
    EXPECT_EQ(damaged.substr(0, 14), " 4 2147485547/");
}

TEST_F(MenuDrawingTest, RankingIsShownOnlyWhileThePanelIsFullyOpen) {
    OpenSubScreen(kItemRanking);
    EXPECT_EQ(TextAt(592, 24, 16, 7), "RANKING");
    Frame(0, kBtnDecision);
    EXPECT_EQ(menu->subOpen, 7);
    EXPECT_EQ(CountDraws(kFontTexture, 592, 24), 0);
}
