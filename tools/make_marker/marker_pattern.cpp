#include "tools/make_marker/marker_pattern.h"

#include "tracking/ar/stages.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kwo::make_marker {

namespace {

constexpr double noDistortion[4] = {0, 0, 0, 1};
// Standard deviation of the blur, pixels of the 128-pixel marker (3/8 cell).
constexpr double cameraBlur = 1.5;

void fromSample(const double sample[kwo::ar::patternValues], double offset, double scale,
                kwo::ar::PatternFile& pattern) {
    unsigned char* block = &pattern.blocks[0][0][0][0];
    for (int i = 0; i < kwo::ar::patternValues; ++i)
        block[i] = static_cast<unsigned char>(std::clamp(std::lround(offset + sample[i] * scale), 0L, 255L));
    kwo::ar::fillRotations(pattern);
}

} // namespace

kwo::ar::PatternFile patternFromArtwork(const Artwork& artwork) {
    constexpr int side = 128;
    cv::Mat marker = renderMarker(artwork, side);
    // A camera never sees the artwork crisp: at the sizes a station sees its
    // markers (60 to 130 pixels a side) its optics spread a point over about
    // a pixel, a third of a cell. The pattern is of that view, so the
    // confidence holds up as the marker gets small (measured on rendered
    // views: 0.96 instead of 0.88 at 52 pixels, and no lower close up).
    cv::GaussianBlur(marker, marker, cv::Size(0, 0), cameraBlur);
    const auto frame = kwo::ar::FrameView::packed(marker.data, side, side);
    // The square's edges, in the detector's pixel-centre coordinates.
    const double lo = -0.5, hi = side - 0.5;
    const double vertex[4][2] = {{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}};
    double sample[kwo::ar::patternValues];
    kwo::ar::samplePattern(frame, noDistortion, vertex, sample);
    kwo::ar::PatternFile pattern;
    fromSample(sample, 16, (240.0 - 16.0) / 255.0, pattern);
    return pattern;
}

bool patternFromSquare(const kwo::ar::FrameView& frame, const double distFactor[4], const double vertex[4][2],
                       kwo::ar::PatternFile& pattern) {
    int first = 0;
    for (int i = 1; i < 4; ++i)
        if (vertex[i][0] + vertex[i][1] < vertex[first][0] + vertex[first][1]) first = i;
    double turned[4][2];
    for (int i = 0; i < 4; ++i) {
        turned[i][0] = vertex[(first + i) % 4][0];
        turned[i][1] = vertex[(first + i) % 4][1];
    }
    double sample[kwo::ar::patternValues];
    if (!kwo::ar::samplePattern(frame, distFactor, turned, sample)) return false;
    fromSample(sample, 0, 1, pattern);
    return true;
}

std::array<double, 3> turnMatches(const kwo::ar::PatternFile& pattern) {
    double upright[kwo::ar::patternValues];
    const unsigned char* raw = &pattern.blocks[0][0][0][0];
    for (int i = 0; i < kwo::ar::patternValues; ++i) upright[i] = raw[i];
    std::array<double, 3> matches{};
    for (int turn = 1; turn <= 3; ++turn) {
        // A template holding only that turn, in all four of its slots.
        kwo::ar::PatternFile only;
        for (auto& block : only.blocks) std::memcpy(block, pattern.blocks[turn], sizeof block);
        const kwo::ar::PatternTemplate tmpl = kwo::ar::makeTemplate(only);
        matches[turn - 1] = kwo::ar::matchSample(upright, &tmpl, 1).cf;
    }
    return matches;
}

std::optional<std::array<double, 3>> pictureTurnMatches(const kwo::ar::PatternFile& pattern, const cv::Rect& picture,
                                                        int side) {
    constexpr int n = kwo::ar::patternSide, values = kwo::ar::patternValues;
    // The tracker's sample of each block: inverted, less its mean (the same
    // for every turn).
    const auto sample = [&](int block, double out[values]) {
        const unsigned char* raw = &pattern.blocks[block][0][0][0];
        double mean = 0;
        for (int i = 0; i < values; ++i) mean += out[i] = 255.0 - raw[i];
        mean /= values;
        for (int i = 0; i < values; ++i) out[i] -= mean;
    };
    double upright[values], turned[values];
    sample(0, upright);
    // How much of each cell the picture covers, half a cell in from its
    // edges: the camera's blur carries the paper that far into the picture,
    // the same at every edge, and would count as contrast of its own.
    double weight[n * n];
    const double cell = static_cast<double>(side) / n;
    const double left = picture.x + cell / 2, right = picture.x + picture.width - cell / 2;
    const double top = picture.y + cell / 2, bottom = picture.y + picture.height - cell / 2;
    for (int row = 0; row < n; ++row)
        for (int column = 0; column < n; ++column) {
            const double x0 = column * cell, y0 = row * cell;
            const double w = std::max(0.0, std::min(x0 + cell, right) - std::max(x0, left));
            const double h = std::max(0.0, std::min(y0 + cell, bottom) - std::max(y0, top));
            weight[row * n + column] = w * h / (cell * cell);
        }
    // The picture's own contrast: about its own mean.
    double total = 0, sum = 0;
    for (int i = 0; i < values; ++i) {
        total += weight[i % (n * n)];
        sum += weight[i % (n * n)] * upright[i];
    }
    const double mean = sum / total;
    double contrast = 0, energy = 0;
    for (int i = 0; i < values; ++i) {
        contrast += weight[i % (n * n)] * (upright[i] - mean) * (upright[i] - mean);
        energy += upright[i] * upright[i];
    }
    // Below a grey level across the picture: no contrast to tell turns by.
    if (contrast < total) return std::nullopt;
    std::array<double, 3> matches{};
    for (int turn = 1; turn <= 3; ++turn) {
        sample(turn, turned);
        double overlap = 0;
        for (int i = 0; i < values; ++i) overlap += upright[i] * turned[i];
        matches[static_cast<std::size_t>(turn - 1)] = std::clamp(1 - (energy - overlap) / contrast, -1.0, 1.0);
    }
    return matches;
}

bool isFlat(const kwo::ar::PatternFile& pattern) {
    const unsigned char* raw = &pattern.blocks[0][0][0][0];
    for (int i = 1; i < kwo::ar::patternValues; ++i)
        if (raw[i] != raw[0]) return false;
    return true;
}

double bestMatch(const kwo::ar::PatternFile& shown, const kwo::ar::PatternFile& other) {
    return kwo::ar::bestCrossCorrelation(shown, other);
}

} // namespace kwo::make_marker
