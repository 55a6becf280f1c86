// A textured quad for the rasteriser tests, in pixels and texels.
#pragma once

#include "platform/common/record_render.h"

// Four vertices as the game lays out an unrotated sprite (V0 left bottom, V1 left top, V2 right
// bottom, V3 right top) over pixels [x0, x1) x [y0, y1), sampling texels [u0, u1) x [v0, v1).
inline void Quad(Vertex* v, double x0, double y0, double x1, double y1, double u0, double v0, double u1, double v1) {
    auto cx = [](double x) { return static_cast<float>(x / 640.0 - 1.0); };
    auto cy = [](double y) { return static_cast<float>(1.0 - y / 360.0); };
    const double xs[4] = {x0, x0, x1, x1}, ys[4] = {y1, y0, y1, y0};
    const double us[4] = {u0, u0, u1, u1}, vs[4] = {v1, v0, v1, v0};
    for (int i = 0; i < 4; ++i) {
        v[i] = Vertex{cx(xs[i]), cy(ys[i]), 0, 1, 1, 1, 1, static_cast<float>(us[i] / 512), static_cast<float>(vs[i] / 512)};
    }
}
