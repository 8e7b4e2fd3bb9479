#include "tracking/ar/square_light.h"

#include "tracking/ar/square_map.h"

#include <algorithm>
#include <cmath>

namespace kwo::ar {
namespace {

constexpr int places = SquareLight::placesPerSide;

// Where the places lie along a side, as a share of it: off the corners,
// where the paper outside may be the corner's own.
double placeAt(int k) { return 0.1 + 0.8 * (k + 0.5) / places; }

// Depths into the printed border (a quarter of the side wide) and out onto
// the paper, as shares of the side: the border's middle, clear of the
// blurred edges on both of its sides; the paper a little way out.
constexpr double inkDepths[] = {0.08, 0.125, 0.17};
constexpr double paperDepths[] = {0.07, 0.11};

// A point of side `side` at `t` along it and `depth` into the square
// (negative: outside), in unit-square coordinates.
void sidePoint(int side, double t, double depth, double& u, double& v) {
    switch (side) {
    case 0: u = t, v = depth; break;
    case 1: u = 1 - depth, v = t; break;
    case 2: u = 1 - t, v = 1 - depth; break;
    default: u = depth, v = 1 - t; break;
    }
}

// Mean colour at the given depths; false when a point leaves the frame.
bool meanColour(const FrameView& frame, const SquareToQuad& map, const double distFactor[4], int side, double t,
                const double* depths, int count, double sign, double out[3]) {
    out[0] = out[1] = out[2] = 0;
    for (int i = 0; i < count; ++i) {
        double u, v, x, y;
        sidePoint(side, t, sign * depths[i], u, v);
        map.observed(distFactor, u, v, x, y);
        if (!frame.contains(x, y)) return false;
        double colour[3];
        frame.colourAt(x, y, colour);
        for (int k = 0; k < 3; ++k) out[k] += colour[k] / count;
    }
    return true;
}

constexpr int ring = 4 * places;

// A place's position round the outline: side + share along it.
double ringPosition(int i) { return i / places + placeAt(i % places); }

void ringPoint(double position, double depth, double& u, double& v) {
    const double wrapped = position - 4 * std::floor(position / 4);
    const int side = std::min(3, static_cast<int>(wrapped));
    sidePoint(side, wrapped - side, depth, u, v);
}

double grey(const double colour[3]) { return colour[0] + colour[1] + colour[2]; }

// Where the paper's light steps between two neighbouring places round the
// ring, `from` and `to` (`to` after `from`, positions may pass 4): the
// first point between them whose paper is past the two places' middle.
double stepPosition(const FrameView& frame, const SquareToQuad& map, const double distFactor[4], double from,
                    double to, double fromLevel, double toLevel) {
    const double middle = (fromLevel + toLevel) / 2;
    constexpr int points = 12;
    for (int i = 1; i < points; ++i) {
        const double position = from + (to - from) * i / points;
        double u, v, x, y, colour[3];
        ringPoint(position, -0.09, u, v);
        map.observed(distFactor, u, v, x, y);
        if (!frame.contains(x, y)) break;
        frame.colourAt(x, y, colour);
        if ((grey(colour) - middle) * (toLevel - fromLevel) >= 0) return position - (to - from) / (2 * points);
    }
    return (from + to) / 2;
}

// Finds a straight shadow edge from the steps of the valid places round
// the ring: exactly one fall to less than two thirds and one rise, every
// lit place lighter than every shaded one.
void findShadowEdge(const FrameView& frame, const SquareToQuad& map, const double distFactor[4],
                    const double steps[ring], SquareLight& light) {
    int order[ring], count = 0;
    for (int i = 0; i < ring; ++i)
        if (light.valid[i / places][i % places]) order[count++] = i;
    int fall = -1, rise = -1, falls = 0, rises = 0;
    for (int j = 0; j < count; ++j) {
        const double a = steps[order[j]], b = steps[order[(j + 1) % count]];
        if (b < a / 1.5) ++falls, fall = j;
        if (b > a * 1.5) ++rises, rise = j;
    }
    if (falls != 1 || rises != 1) return;
    double litLeast = INFINITY, shadedMost = 0;
    for (int j = (rise + 1) % count;; j = (j + 1) % count) {
        light.lit[order[j] / places][order[j] % places] = true;
        litLeast = std::min(litLeast, steps[order[j]]);
        if (j == fall) break;
    }
    for (int j = (fall + 1) % count;; j = (j + 1) % count) {
        shadedMost = std::max(shadedMost, steps[order[j]]);
        if (j == rise) break;
    }
    if (!(litLeast > 1.2 * shadedMost)) {
        std::fill(&light.lit[0][0], &light.lit[0][0] + ring, false);
        return;
    }
    const int crossings[2] = {fall, rise};
    for (int e = 0; e < 2; ++e) {
        const int a = order[crossings[e]], b = order[(crossings[e] + 1) % count];
        const double from = ringPosition(a), to = ringPosition(b) + (b <= a ? 4 : 0);
        const double position = stepPosition(frame, map, distFactor, from, to, grey(light.paper[a / places][a % places]),
                                             grey(light.paper[b / places][b % places]));
        ringPoint(position, 0, light.edge[e][0], light.edge[e][1]);
    }
    light.shadowEdge = true;
}

// A level along one side, at `t` (0..1 in the side's direction): linear
// between the places, held beyond the first and the last.
double along(const double (&levels)[places], double t) {
    const double position = (t - 0.1) / 0.8 * places - 0.5;
    if (position <= 0) return levels[0];
    if (position >= places - 1) return levels[places - 1];
    const int k = static_cast<int>(position);
    const double f = position - k;
    return levels[k] * (1 - f) + levels[k + 1] * f;
}

// A level inside the square from its four sides' profiles (side 0 along
// v = 0 with u rising, 1 along u = 1 with v rising, 2 along v = 1 with u
// falling, 3 along u = 0 with v falling): the surface through all four,
// which carries a straight shadow edge that crosses two opposite sides
// straight across.
struct Surface {
    double side[4][places];
};

// The surface at the sample's cells, in the order of a pattern plane.
void surfaceAtCells(const Surface& s, double out[patternSide * patternSide]) {
    double bottom[patternSide], top[patternSide], left[patternSide], right[patternSide], at[patternSide];
    for (int i = 0; i < patternSide; ++i) {
        at[i] = 0.25 + 0.5 * (i + 0.5) / patternSide;
        bottom[i] = along(s.side[0], at[i]);
        top[i] = along(s.side[2], 1 - at[i]);
        right[i] = along(s.side[1], at[i]);
        left[i] = along(s.side[3], 1 - at[i]);
    }
    const double c00 = (along(s.side[0], 0) + along(s.side[3], 1)) / 2;
    const double c10 = (along(s.side[0], 1) + along(s.side[1], 0)) / 2;
    const double c11 = (along(s.side[1], 1) + along(s.side[2], 0)) / 2;
    const double c01 = (along(s.side[2], 1) + along(s.side[3], 0)) / 2;
    for (int row = 0; row < patternSide; ++row) {
        const double v = at[row];
        for (int column = 0; column < patternSide; ++column) {
            const double u = at[column];
            out[row * patternSide + column] =
                (1 - v) * bottom[column] + v * top[column] + (1 - u) * left[row] + u * right[row] -
                ((1 - u) * (1 - v) * c00 + u * (1 - v) * c10 + (1 - u) * v * c01 + u * v * c11);
        }
    }
}

} // namespace

SquareLight measureSquareLight(const FrameView& frame, const double distFactor[4], const double vertex[4][2]) {
    SquareLight light;
    const SquareToQuad map(vertex);
    double steps[4][places];
    double largest = 0;
    for (int side = 0; side < 4; ++side)
        for (int k = 0; k < places; ++k) {
            const double t = placeAt(k);
            double* ink = light.ink[side][k];
            double* paper = light.paper[side][k];
            const bool inside = meanColour(frame, map, distFactor, side, t, inkDepths, 3, 1, ink) &&
                                meanColour(frame, map, distFactor, side, t, paperDepths, 2, -1, paper);
            steps[side][k] = inside ? (paper[0] + paper[1] + paper[2]) - (ink[0] + ink[1] + ink[2]) : 0;
            light.seenCount += inside;
            largest = std::max(largest, steps[side][k]);
        }
    // Paper lighter than the border by a clear step, and by a fair share of
    // the best-lit step: a hard shadow keeps a third of the light or more;
    // a dark table or a finger outside the square keeps much less.
    for (int side = 0; side < 4; ++side)
        for (int k = 0; k < places; ++k) {
            const bool valid = steps[side][k] >= 45 && steps[side][k] >= 0.2 * largest;
            light.valid[side][k] = valid;
            if (!valid) continue;
            ++light.validCount;
            light.contrast = std::max(light.contrast, steps[side][k]);
        }
    if (light.measured()) findShadowEdge(frame, map, distFactor, &steps[0][0], light);
    return light;
}

namespace {

// The ink and paper surfaces from the places `use` marks; every other place
// takes the nearest used ones' levels (along the ring, both ways, weighed
// by distance). False when no place is used.
bool fillSurfaces(const SquareLight& light, const bool use[ring], Surface ink[3], Surface paper[3]) {
    int usedAt[ring];
    int count = 0;
    for (int i = 0; i < ring; ++i)
        if (use[i]) usedAt[count++] = i;
    if (count == 0) return false;
    for (int i = 0; i < ring; ++i) {
        const int side = i / places, k = i % places;
        int before = i, after = i;
        if (!use[i]) {
            before = usedAt[count - 1] - ring;
            after = usedAt[0] + ring;
            for (int j = 0; j < count; ++j) {
                if (usedAt[j] < i) before = usedAt[j];
                if (usedAt[j] > i) {
                    after = usedAt[j];
                    break;
                }
            }
        }
        const double w = after == before ? 0 : static_cast<double>(i - before) / (after - before);
        const int b = (before + ring) % ring, a = after % ring;
        for (int plane = 0; plane < 3; ++plane) {
            ink[plane].side[side][k] = light.ink[b / places][b % places][plane] * (1 - w) +
                                       light.ink[a / places][a % places][plane] * w;
            paper[plane].side[side][k] = light.paper[b / places][b % places][plane] * (1 - w) +
                                         light.paper[a / places][a % places][plane] * w;
        }
    }
    return true;
}

} // namespace

void normaliseShading(const SquareLight& light, double sample[patternValues]) {
    if (!light.measured()) return;
    constexpr int cells = patternSide * patternSide;
    // Even light (every place's step within a quarter of the others'): one
    // scale for the whole square does, and costs a fraction.
    double least = INFINITY, most = 0, low[3] = {}, high[3] = {};
    for (int i = 0; i < ring; ++i) {
        if (!light.valid[i / places][i % places]) continue;
        const double* ink = light.ink[i / places][i % places];
        const double* paper = light.paper[i / places][i % places];
        const double step = grey(paper) - grey(ink);
        least = std::min(least, step);
        most = std::max(most, step);
        for (int plane = 0; plane < 3; ++plane) {
            low[plane] += ink[plane] / light.validCount;
            high[plane] += paper[plane] / light.validCount;
        }
    }
    if (!light.shadowEdge && most < 1.25 * least) {
        for (int plane = 0; plane < 3; ++plane) {
            const double scale = 255 / std::max(high[plane] - low[plane], 8.0);
            double* values = sample + plane * cells;
            for (int i = 0; i < cells; ++i) values[i] = std::clamp((values[i] - low[plane]) * scale, -128.0, 383.0);
        }
        return;
    }
    // Two surfaces across a shadow edge, each from its own side's places:
    // one through both would smear the step over the whole card.
    bool litPlaces[ring], shadedPlaces[ring];
    for (int i = 0; i < ring; ++i) {
        const bool valid = light.valid[i / places][i % places], lit = light.lit[i / places][i % places];
        litPlaces[i] = valid && (lit || !light.shadowEdge);
        shadedPlaces[i] = valid && !lit;
    }
    Surface ink[2][3], paper[2][3];
    fillSurfaces(light, litPlaces, ink[0], paper[0]);
    const bool split = light.shadowEdge && fillSurfaces(light, shadedPlaces, ink[1], paper[1]);
    // Which side of the edge a point lies on, the lit side positive.
    const double ex = light.edge[1][0] - light.edge[0][0], ey = light.edge[1][1] - light.edge[0][1];
    auto across = [&](double u, double v) { return ex * (v - light.edge[0][1]) - ey * (u - light.edge[0][0]); };
    double litSign = 1;
    if (split)
        for (int i = 0; i < ring; ++i)
            if (light.lit[i / places][i % places]) {
                double u, v;
                ringPoint(ringPosition(i), 0, u, v);
                litSign = across(u, v) >= 0 ? 1 : -1;
                break;
            }
    bool shaded[cells] = {};
    for (int row = 0; row < patternSide && split; ++row) {
        const double v = 0.25 + 0.5 * (row + 0.5) / patternSide;
        for (int column = 0; column < patternSide; ++column) {
            const double u = 0.25 + 0.5 * (column + 0.5) / patternSide;
            shaded[row * patternSide + column] = across(u, v) * litSign < 0;
        }
    }
    for (int plane = 0; plane < 3; ++plane) {
        double low[2][cells], high[2][cells];
        for (int region = 0; region < (split ? 2 : 1); ++region) {
            surfaceAtCells(ink[region][plane], low[region]);
            surfaceAtCells(paper[region][plane], high[region]);
        }
        double* values = sample + plane * cells;
        for (int i = 0; i < cells; ++i) {
            const int region = shaded[i] ? 1 : 0;
            // A plane the light leaves almost without contrast (a strongly
            // coloured lamp) is not stretched into noise.
            const double range = std::max(high[region][i] - low[region][i], 8.0);
            values[i] = std::clamp(255 * (values[i] - low[region][i]) / range, -128.0, 383.0);
        }
    }
}

bool showsPrint(const SquareLight& light, const double sample[patternValues], const Match& match,
                const PatternTemplate& pattern, double minimumGain, double levelTolerance) {
    if (light.noQuietZone()) return false;
    if (!light.measured()) return true;
    double mean = 0;
    for (int i = 0; i < patternValues; ++i) mean += sample[i];
    mean /= 255.0 * patternValues;
    return match.gain >= minimumGain && std::abs(mean - pattern.paperShare) <= levelTolerance;
}

UnprintedCells unprintedCells(const SquareLight& light, const double sample[patternValues]) {
    UnprintedCells cells;
    if (!light.measured()) return cells;
    constexpr int plane = patternSide * patternSide;
    for (int i = 0; i < plane; ++i) {
        const double b = sample[i], g = sample[plane + i], r = sample[2 * plane + i];
        const double level = (b + g + r) / 3;
        const bool coloured = std::max({b, g, r}) - std::min({b, g, r}) > 255.0 / 6 && level > 0.1 * 255 &&
                              level < 0.9 * 255;
        cells.cell[i] = coloured;
        cells.count += coloured;
    }
    return cells;
}

} // namespace kwo::ar
