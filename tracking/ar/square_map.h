#pragma once

// The projective map of the unit square onto a square found in the frame:
// (0,0) -> vertex 0, (1,0) -> vertex 1, (1,1) -> vertex 2, (0,1) -> vertex 3,
// in ideal pixels; `observed` adds the lens distortion, giving the frame's
// pixels. Internal to the library.

#include "tracking/ar/calibration.h"

namespace kwo::ar {

struct SquareToQuad {
    double h[3][3];

    explicit SquareToQuad(const double q[4][2]) {
        const double x0 = q[0][0], y0 = q[0][1], x1 = q[1][0], y1 = q[1][1];
        const double x2 = q[2][0], y2 = q[2][1], x3 = q[3][0], y3 = q[3][1];
        const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
        const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
        const double det = dx1 * dy2 - dx2 * dy1;
        const double g = det != 0 ? (sx * dy2 - dx2 * sy) / det : 0;
        const double k = det != 0 ? (dx1 * sy - sx * dy1) / det : 0;
        h[0][0] = x1 - x0 + g * x1;
        h[0][1] = x3 - x0 + k * x3;
        h[0][2] = x0;
        h[1][0] = y1 - y0 + g * y1;
        h[1][1] = y3 - y0 + k * y3;
        h[1][2] = y0;
        h[2][0] = g;
        h[2][1] = k;
        h[2][2] = 1;
    }

    void ideal(double u, double v, double& x, double& y) const {
        const double w = h[2][0] * u + h[2][1] * v + h[2][2];
        x = (h[0][0] * u + h[0][1] * v + h[0][2]) / w;
        y = (h[1][0] * u + h[1][1] * v + h[1][2]) / w;
    }
    void observed(const double distFactor[4], double u, double v, double& x, double& y) const {
        ideal(u, v, x, y);
        if (distFactor[2] != 0 || distFactor[3] != 1.0) idealToObserved(distFactor, x, y, x, y);
    }
};

// The corners of a square whose unit square is this one's scaled by `scale`
// about its middle and moved by (dx, dy) (unit-square coordinates): its
// inner half is the pattern area taken from a grid so scaled and moved.
inline void movedSquare(const double vertex[4][2], double scale, double dx, double dy, double out[4][2]) {
    const SquareToQuad map(vertex);
    const double corners[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int k = 0; k < 4; ++k)
        map.ideal(0.5 + scale * (corners[k][0] - 0.5) + dx, 0.5 + scale * (corners[k][1] - 0.5) + dy, out[k][0],
                  out[k][1]);
}

} // namespace kwo::ar
