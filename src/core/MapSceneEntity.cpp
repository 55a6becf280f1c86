#include "core/MapSceneEntity.h"

#include <cmath>
#include <cstring>

MapSceneEntity::MapSceneEntity() {
    std::memset(saveSlots, 0, sizeof saveSlots);
    std::memset(objects, 0, sizeof objects);
    for (int i = 0; i < kObjectRecords; ++i) objects[i][kObjectIndexField] = i;
    std::memset(&menu, 0, sizeof menu);
    std::memset(cosTable, 0, sizeof cosTable);
    std::memset(sinTable, 0, sizeof sinTable);
    std::memset(soundNames, 0, sizeof soundNames);
    std::memset(texturePathNames, 0, sizeof texturePathNames);
    std::memset(textureNames, 0, sizeof textureNames);
    heldBuffer = nullptr;
    fadeAlpha = 0;
    cursorPulse = 0;
    fadeToBlack = 0;
    fadeFromBlack = 0;
    sceneNumber = 1;
    musicRequestPending = 0;
    musicRequestCode = 0;
    menuChoice = 0;
    colorTheme = 0;
    textureReloadFlag = 1;
    gameStartTime = 0;
    statusValue = 0;
    std::memset(rankScores, 0, sizeof rankScores);
    rankGameTime = 0;
    std::memset(rankDates, 0, sizeof rankDates);
}

MapSceneEntity::~MapSceneEntity() = default;

void MapSceneEntity::FillAngleTables() {
    const double pi = 3.141592653589793;
    for (int i = 0; i < kAngleSteps; ++i) {
        cosTable[i] = std::cos((i * pi) * 0.0078125);
        sinTable[i] = std::sin((i * pi) * 0.0078125);
    }
}

void MapSceneEntity::FreeHeldBuffer() {
    delete[] heldBuffer;
    heldBuffer = nullptr;
}
