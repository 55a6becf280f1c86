// The ranking screen: the ten best games with the date and time they ended. It only reads the
// ranking table; DECISION closes it through the sub-screen phases.
#include <cinttypes>
#include <cstdio>

#include "core/MapSceneEntity.h"
#include "menus/CTitleIcDX.h"

void CTitleIcDX::DrawRanking() {
    DrawText("RANKING", 592, 24, 16, 32, 64);
    for (int i = 0; i < kRankingEntries; ++i) {
        const RankDate& d = scene->rankDates[i];
        // 64-bit arithmetic: a damaged date from the settings file must not overflow.
        char line[128];
        std::snprintf(line, sizeof line, "%2d %4" PRId64 "/%2" PRId64 "/%2d %2d:%2d:%2d %10d", i + 1,
                      static_cast<int64_t>(d.year) + 1900, static_cast<int64_t>(d.mon) + 1, d.mday,
                      d.hour, d.min, d.sec, scene->rankScores[i]);
        DrawText(line, 376, 72 + 56 * i, 16, 32, 64);
    }
}
