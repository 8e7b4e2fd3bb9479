#include "tracking/ar/stages.h"

#include "tracking/ar/square_light.h"
#include "tracking/ar/square_map.h"
#include "tracking/ar/tracker.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace kwo::ar {
namespace {

// The blur of a camera picture as the sampler reads it, in pixels (standard
// deviation): a webcam's lens and sensor spread a point over about 0.8 px,
// each pixel's area and each sample reading the nearest pixel add the rest.
// Matching does about as well from 0.7 to 1.1.
constexpr double cameraBlur = 0.9;

// The camera's blur seen on the cells of the sample, at the middle of the
// pattern: the moves of one cell across and down, in pixels, give the length
// of any move across the cells.
CellBlur cellBlur(const SquareToQuad& map, const double distFactor[4]) {
    auto at = [&](double u, double v, double& x, double& y) { map.observed(distFactor, u, v, x, y); };
    const double cell = 0.5 / patternSide;
    double x0, y0, x1, y1, x2, y2;
    at(0.5, 0.5, x0, y0);
    at(0.5 + cell, 0.5, x1, y1);
    at(0.5, 0.5 + cell, x2, y2);
    const double ax = x1 - x0, ay = y1 - y0, bx = x2 - x0, by = y2 - y0;
    const double s2 = cameraBlur * cameraBlur;
    CellBlur blur;
    blur.xx = (ax * ax + ay * ay) / s2;
    blur.xy = (ax * bx + ay * by) / s2;
    blur.yy = (bx * bx + by * by) / s2;
    return std::isfinite(blur.xx + blur.xy + blur.yy) ? blur : CellBlur{};
}

// Samples along one axis of the square: 16, doubled while below half the
// longer of the two sides along that axis in pixels, at most 64 -- the way
// patterns trained by other tools were recorded -- but never fewer than two
// per cell, so a small square's cells are still averaged over sensor noise.
int samplesAlong(const double a[2], const double b[2], const double c[2], const double d[2]) {
    const double side = std::max(std::hypot(b[0] - a[0], b[1] - a[1]), std::hypot(d[0] - c[0], d[1] - c[1]));
    int count = 2 * patternSide;
    while (count < 64 && count < side / 2) count *= 2;
    return count;
}

} // namespace

bool samplePattern(const FrameView& frame, const double distFactor[4], const double vertex[4][2],
                   double sample[patternValues], CellBlur* blur) {
    const SquareToQuad map(vertex);
    if (blur) *blur = cellBlur(map, distFactor);
    const int across = samplesAlong(vertex[0], vertex[1], vertex[2], vertex[3]);
    const int down = samplesAlong(vertex[1], vertex[2], vertex[3], vertex[0]);
    const bool distorted = distFactor[2] != 0 || distFactor[3] != 1.0;
    // Each sample reads the one pixel whose centre is nearest (pixel centres
    // lie on whole coordinates): interpolating between pixels smooths the
    // cells further than the camera's blur already has.
    long sum[3][patternSide][patternSide] = {};
    const double du = 0.5 / across;
    // Samples per cell are a power of two: a sample's cell is a shift.
    const int cellShift = std::countr_zero(static_cast<unsigned>(across / patternSide));
    for (int j = 0; j < down; ++j) {
        const double v = 0.25 + 0.5 * (j + 0.5) / down;
        const int row = j * patternSide / down;
        // Along a row of samples the map's numerators and denominator change
        // by fixed steps: one division per sample.
        const double u0 = 0.25 + 0.5 * 0.5 / across;
        double nx = map.h[0][0] * u0 + map.h[0][1] * v + map.h[0][2];
        double ny = map.h[1][0] * u0 + map.h[1][1] * v + map.h[1][2];
        double w = map.h[2][0] * u0 + map.h[2][1] * v + map.h[2][2];
        const double stepX = map.h[0][0] * du, stepY = map.h[1][0] * du, stepW = map.h[2][0] * du;
        for (int i = 0; i < across; ++i, nx += stepX, ny += stepY, w += stepW) {
            const double inverse = 1 / w;
            double x = nx * inverse, y = ny * inverse;
            if (distorted) idealToObserved(distFactor, x, y, x, y);
            // Outside the frame there is nothing to read: a square whose
            // pattern leaves it is not one we can name. (Nearest pixel
            // inside the frame: x + 0.5 within [0, width).)
            if (!(x >= -0.5 && x < frame.width - 0.5 && y >= -0.5 && y < frame.height - 0.5)) return false;
            const std::uint8_t* p = frame.pixel(static_cast<int>(x + 0.5), static_cast<int>(y + 0.5));
            const int column = i >> cellShift;
            for (int k = 0; k < 3; ++k) sum[k][row][column] += p[k];
        }
    }
    const double perCell = static_cast<double>(across / patternSide) * (down / patternSide);
    for (int plane = 0; plane < 3; ++plane)
        for (int row = 0; row < patternSide; ++row)
            for (int column = 0; column < patternSide; ++column)
                sample[(plane * patternSide + row) * patternSide + column] = sum[plane][row][column] / perCell;
    return true;
}

bool takeSample(const FrameView& frame, const double distFactor[4], const double vertex[4][2],
                double sample[patternValues], CellBlur* blur, SquareLight* light) {
    if (!samplePattern(frame, distFactor, vertex, sample, blur)) return false;
    const SquareLight measured = measureSquareLight(frame, distFactor, vertex);
    normaliseShading(measured, sample);
    if (light) *light = measured;
    return true;
}

namespace {

// Squares whose sides are shorter than this (pixels) keep their first
// match: a cell spans under three pixels, and the camera's blur, not the
// grid's place, decides how it looks.
constexpr double alignedMatchSide = 48;
// A match this close needs no second look: a moved grid could change its
// confidence by little more than the camera's noise does.
constexpr double alignedMatchCf = 0.95;

// A grid offset worth a second sample: a tenth of a cell, or 1 % of scale.
bool worthMoving(const GridOffset& offset) {
    return std::hypot(offset.x, offset.y) > 0.1 || std::abs(offset.scale) > 0.01;
}

double meanSide(const double vertex[4][2]) {
    double sum = 0;
    for (int k = 0; k < 4; ++k)
        sum += std::hypot(vertex[(k + 1) % 4][0] - vertex[k][0], vertex[(k + 1) % 4][1] - vertex[k][1]);
    return sum / 4;
}

struct Identified {
    Match match;
    bool named = false;
};

Identified identifyFrom(const FrameView& frame, const double distFactor[4], const double vertex[4][2],
                        const PatternTemplate* templates, int count, const TrackerParameters& parameters,
                        double sample[patternValues], bool& inside) {
    CellBlur blur;
    SquareLight light;
    Identified result;
    inside = takeSample(frame, distFactor, vertex, sample, &blur, &light);
    if (!inside) return result;
    const UnprintedCells unprinted = unprintedCells(light, sample);
    result.match = matchSample(sample, templates, count, blur, &unprinted);
    result.named = result.match.slot >= 0 && namesPattern(result.match, parameters.confidenceCut) &&
                   showsPrint(light, sample, result.match, templates[result.match.slot], parameters.minimumGain,
                              parameters.levelTolerance);
    return result;
}

} // namespace

bool identifySquare(const FrameView& frame, const double distFactor[4], const PatternTemplate* templates,
                    int count, const TrackerParameters& parameters, ARMarkerInfo& marker) {
    double sample[patternValues];
    bool inside = false;
    const Identified first = identifyFrom(frame, distFactor, marker.vertex, templates, count, parameters, sample, inside);
    if (!inside) return false;
    marker.cf = first.match.cf;
    marker.dir = first.match.dir;
    marker.id = first.named ? first.match.slot : -1;
    GridOffset offset;
    if (!first.named || first.match.cf >= alignedMatchCf || meanSide(marker.vertex) < alignedMatchSide ||
        !estimateGridOffset(sample, templates[first.match.slot], first.match.dir, offset) || !worthMoving(offset))
        return true;
    // The offset is the pattern's content as seen on our grid: the grid
    // moves the other way. The offset's axes are the orientation's own,
    // which the sample shares (both are in the order of a pattern block).
    const double cell = 0.5 / patternSide;
    const double scale = std::clamp(1 - offset.scale, 0.9, 1.1);
    double moved[4][2];
    movedSquare(marker.vertex, scale, std::clamp(-offset.x, -0.5, 0.5) * cell * scale,
                std::clamp(-offset.y, -0.5, 0.5) * cell * scale, moved);
    const Identified again = identifyFrom(frame, distFactor, moved, templates, count, parameters, sample, inside);
    if (inside && again.named && again.match.slot == first.match.slot && again.match.dir == first.match.dir &&
        again.match.cf > first.match.cf)
        marker.cf = again.match.cf;
    return true;
}

} // namespace kwo::ar
