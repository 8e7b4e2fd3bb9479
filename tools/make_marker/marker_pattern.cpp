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
