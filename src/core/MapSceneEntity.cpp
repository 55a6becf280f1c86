#include "core/MapSceneEntity.h"

#include <cmath>

MapSceneEntity::MapSceneEntity() {
    for (int i = 0; i < kObjectRecords; ++i) objects[i][kObjectIndexField] = i;
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
