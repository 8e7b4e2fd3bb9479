#pragma once

// How the detector tells a frame's dark pixels (a marker's black border)
// from the light ones: one level for the whole frame, or a local threshold
// that follows the light from place to place.

#include "tracking/ar/image.h"

#include <opencv2/core.hpp>

namespace kwo::ar {

// The local threshold: a pixel is dark when its grey level (the mean of
// blue, green and red) lies more than an offset below the mean grey level of
// the square neighbourhood around it. A shadow or a spotlight across a card
// dims or lights its paper and its ink alike, so the border stays darker
// than its surroundings on both sides of the shadow's edge, and the white
// margin around the border, the lightest thing near it, stays light against
// a dark table or coat as well as against a light one.
//
// Two things keep light paper from turning dark beside something lighter
// still (shadowed paper beside lit paper across a hard shadow's edge, a grey
// print on a white table): in the neighbourhood's mean nothing counts as
// brighter than a ceiling, a share of the frame's white; and the offset is a
// share of that white, so that the split holds in dim light as in bright.
// The frame's white is the median grey level of the lighter of the two
// classes Otsu's method splits the grey levels of the frame's 8x8 blocks
// into: paper, or whatever is lightest in the picture.
struct LocalThreshold {
    // Side of the neighbourhood, as a fraction of the frame's width. It is
    // taken in whole blocks of 8 pixels, an odd number of them (at least
    // one), centred on the pixel's block. Default 0.125: 88 px at 640x480,
    // 40 px at 320x240. A black border wider than about half of it is dark
    // only along its edges; its outline is still whole, so such large near
    // markers are found too.
    double neighbourhood = 0.125;
    // Per cent of the frame's white a pixel must lie below the
    // neighbourhood's mean to be dark, at least 2 grey levels. Default 5
    // (about 10 grey levels on white paper in good light): above a camera's
    // noise and JPEG ripple on plain paper, well below the step from a
    // border to its paper even in dim light. Higher: fewer specks of
    // clutter; lower: fainter prints still dark.
    int offset = 5;
    // The ceiling, as a share of the frame's white: each block of 8x8
    // pixels counts as at most this grey level in the mean. Default 0.6: well above a
    // print's ink, and low enough that lit paper beside a hard shadow's edge
    // no longer drags the shadowed paper next to it below the mean.
    double ceiling = 0.6;
};

struct Threshold {
    enum class Mode {
        global,   // dark when blue + green + red <= 3 x level
        adaptive, // dark by the local threshold
    };
    Mode mode = Mode::global;
    int level = 100;        // global: 0..255 (below 0 nothing is dark, above 255 everything)
    LocalThreshold local;   // adaptive

    static Threshold global(int level) { return {Mode::global, level, {}}; }
    static Threshold adaptive(const LocalThreshold& local = {}) { return {Mode::adaptive, 0, local}; }
};

// The pixels the detector takes as dark in `frame` under `threshold`: 255
// dark, 0 light, the outermost ring of pixels always light (a region
// touching it is no marker). For showing what the detector sees; detection
// marks the same pixels as it labels them.
void markDarkPixels(const FrameView& frame, const Threshold& threshold, cv::Mat& mask);

} // namespace kwo::ar
