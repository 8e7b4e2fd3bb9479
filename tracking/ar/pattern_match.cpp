#include "tracking/ar/stages.h"

#include <algorithm>
#include <cmath>

namespace kwo::ar {
namespace {

// Projective map of the unit square onto a quadrilateral: (0,0) -> q[0],
// (1,0) -> q[1], (1,1) -> q[2], (0,1) -> q[3].
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
    void apply(double u, double v, double& x, double& y) const {
        const double w = h[2][0] * u + h[2][1] * v + h[2][2];
        x = (h[0][0] * u + h[0][1] * v + h[0][2]) / w;
        y = (h[1][0] * u + h[1][1] * v + h[1][2]) / w;
    }
};

} // namespace

bool samplePattern(const FrameView& frame, const double distFactor[4], const double vertex[4][2],
                   double sample[patternValues]) {
    const SquareToQuad map(vertex);
    double side = 0;
    for (int i = 0; i < 4; ++i)
        side += std::hypot(vertex[(i + 1) % 4][0] - vertex[i][0], vertex[(i + 1) % 4][1] - vertex[i][1]);
    side /= 4;
    // Sub-samples per cell and axis: one per one and a half pixels, at least
    // 2 (the samples are interpolated, and the patterns are bold).
    const int sub = std::clamp(static_cast<int>(std::ceil(side / 48.0)), 2, 4);
    const bool distorted = distFactor[2] != 0 || distFactor[3] != 1.0;
    const double cell = 0.5 / patternSide;
    const double weight = 1.0 / (sub * sub);
    for (int row = 0; row < patternSide; ++row)
        for (int column = 0; column < patternSide; ++column) {
            double sum[3] = {0, 0, 0};
            for (int j = 0; j < sub; ++j)
                for (int i = 0; i < sub; ++i) {
                    const double u = 0.25 + (column + (i + 0.5) / sub) * cell;
                    const double v = 0.25 + (row + (j + 0.5) / sub) * cell;
                    double x, y;
                    map.apply(u, v, x, y);
                    if (distorted) idealToObserved(distFactor, x, y, x, y);
                    // Outside the frame there is nothing to read: a square
                    // whose pattern leaves it is not one we can name.
                    if (!frame.contains(x, y)) return false;
                    double colour[3];
                    frame.colourAt(x, y, colour);
                    for (int k = 0; k < 3; ++k) sum[k] += colour[k];
                }
            for (int plane = 0; plane < 3; ++plane)
                sample[(plane * patternSide + row) * patternSide + column] = sum[plane] * weight;
        }
    return true;
}

} // namespace kwo::ar
