// Set-up shared by the unit tests and the benchmarks: sprite parameters and a menu opened at once.
#pragma once

#include <cstdint>

#include "graphics/DrawParam.h"
#include "core/MapSceneEntity.h"
#include "menus/Menu.h"

namespace fixtures {

// An unrotated sprite at (x, y), w x h logical pixels, from the source rectangle (sx, sy, sw, sh)
// of texture `texture`, scale 1, no pivot, in `colour` (0xAARRGGBB, white opaque: as it is).
inline DrawParam Sprite(int32_t x, int32_t y, int32_t w, int32_t h, int32_t sx, int32_t sy, int32_t sw,
                        int32_t sh, int32_t texture = 0, uint32_t colour = 0xFFFFFFFFu) {
    return MakeDrawParam(texture, x, y, w, h, sx, sy, sw, sh, colour);
}

// Puts the title at rest with sub-screen `item` open (0: none) and the options cursor on `row`,
// without the frames of opening them.
inline void OpenMenu(MapSceneEntity& scene, int32_t item, int32_t row) {
    MenuBlock& m = scene.menu;
    m.titlePhase = kPhaseIdle;
    m.titleOpen = kOpenSteps;
    m.titleCursor = item;
    m.titleRepeat = kRepeatReady;
    m.optionRepeat = kRepeatReady;
    m.valueRepeat = kRepeatReady;
    if (item != 0) {
        m.subPhase = kPhaseIdle;
        m.subOpen = kOpenSteps;
    }
    m.optionCursor = row;
    scene.menuChoice = item;
}

}  // namespace fixtures
