#include "game/PlayState.h"

#include <cstring>

PlayState gPlay = [] {
    PlayState s{};
    s.pieceX = kSpawnX;
    s.moveCounter = kMoveReady;
    return s;
}();

uint32_t gWindowThreadId = 0;
uint32_t gProcessId = 0;

void ResetPlayStateToProgramStart() {
    std::memset(&gPlay, 0, sizeof gPlay);
    gPlay.pieceX = kSpawnX;
    gPlay.moveCounter = kMoveReady;
}
