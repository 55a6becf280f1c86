// The game in a browser page: the web platform, then the game's turns handed to the page's loop
// (platform/web/web_run.h), which the browser drives. No command line is read.
#include "audio/CXa2.h"
#include "core/MapSceneEntity.h"
#include "core/System.h"
#include "game/PlayState.h"
#include "platform/common/mixer.h"
#include "platform/web/web_platform.h"
#include "platform/web/web_run.h"
#include "shell/App.h"
#include "shell/Game.h"

#include <cstdio>
#include <cstring>

#include <emscripten.h>

namespace {

// The platform outlives main: the browser keeps calling the loop after main has returned.
WebPlatform* gPlatform = nullptr;

bool Start(int* exitCode) { return KelvorineStart(1, exitCode); }

// Appends snprintf's output at *len while the text still fits (a cut text stays cut).
template <typename... Args>
void Append(char* out, size_t cap, int* len, const char* format, Args... args) {
    if (*len < 0 || static_cast<size_t>(*len) >= cap) return;
    const int n = std::snprintf(out + *len, cap - *len, format, args...);
    *len = n < 0 ? n : *len + n;
}

// The game's figures for the page: the scene, the falling piece and the board, the ranking and the
// audio output.
int GameFigures(char* out, size_t cap) {
    if (gGame == nullptr) return 0;
    const System* s = gGame->system;
    const MapSceneEntity* scene = gGame->mapSceneEntity;
    int cells = 0;
    for (int row = 0; row < kPlayRows; ++row) {
        for (int col = 1; col < kBoardCols - 1; ++col) cells += gPlay.board[row * kBoardCols + col] != 0;
    }
    int len = 0;
    Append(out, cap, &len,
           ",\"scene\":%d,\"active\":%d,\"timerMode\":%d,\"vsync\":%d,\"fullScreen\":%d,"
           "\"piece\":{\"x\":%d,\"y\":%d,\"rotation\":%d},\"boardCells\":%d,\"score\":%d,\"ranking\":[",
           scene->sceneNumber, s->windowActive.load(std::memory_order_relaxed), s->timerMode, s->vsync,
           s->fullScreen, gPlay.pieceX, gPlay.pieceY, gPlay.rotation, cells, gPlay.score);
    for (int i = 0; i < kRankingEntries; ++i) Append(out, cap, &len, "%s%d", i == 0 ? "" : ",", scene->rankScores[i]);
    const CXa2* xa = gGame->xa2;
    MixerVoice* bgm = static_cast<MixerVoice*>(xa->bgmVoice);
    Append(out, cap, &len,
           "],\"audio\":{\"on\":%d,\"framesPlayed\":%llu,\"musicTrack\":%d,\"musicQueued\":%u,"
           "\"musicRunning\":%d,\"musicUnderruns\":%u,\"musicFromLoop\":%d,\"bgmVolume\":%d,\"seVolume\":%d}",
           xa->masterVoice && s->soundOff == 0,
           static_cast<unsigned long long>(gPlatform->audio.framesPlayed.load()),
           s->currentMusicTrack.load(std::memory_order_relaxed), bgm != nullptr ? bgm->BuffersQueued() : 0u,
           bgm != nullptr && bgm->Running(), bgm != nullptr ? bgm->Underruns() : 0u, xa->streamFromLoop,
           s->bgmVolume, s->seVolume);
    return len;
}

// The ranking differs from the one seen at the last call (the first call only takes it in).
bool RankingChanged() {
    static int32_t seen[kRankingEntries];
    static bool known = false;
    if (gGame == nullptr) return false;
    const int* now = gGame->mapSceneEntity->rankScores;
    const bool changed = known && std::memcmp(seen, now, sizeof seen) != 0;
    std::memcpy(seen, now, sizeof seen);
    known = true;
    return changed;
}

}  // namespace

// The page went into full screen or left it (the browser's own key, a refused request, the first
// tap on a touch screen): where the game's window mode says otherwise, the game's own toggle sets
// it to match, as if the player had asked.
extern "C" EMSCRIPTEN_KEEPALIVE void kelvorine_web_fullscreen_changed(int on) {
    if (gGame == nullptr || !WebRunning()) return;
    System* s = gGame->system;
    if ((on != 0) != (s->fullScreen != 0)) s->toggleRequest = 1;
}

int main() {
    gPlatform = new WebPlatform();
    gPlatform->Install();
    const WebGame game{.start = Start, .turn = KelvorineTurn, .present = KelvorinePresent,
                       .turnMs = KelvorineTurnMs, .pacedByDisplay = KelvorinePacedByDisplay,
                       .noWaitUnpaced = KelvorineNoWaitUnpaced,
                       .writeQuitFiles = KelvorineWriteQuitFiles,
                       .rankingChanged = RankingChanged, .figures = GameFigures};
    WebRunGame(gPlatform, game);
    return 0;
}
