#pragma once

// The detector's threshold chosen afresh for every frame from the picture
// itself, for stations whose light changes over the day (a window, a lamp
// switched on). The threshold is in the detector's unit: a pixel is dark when
// blue + green + red <= 3 x threshold, so it compares with the mean of the
// three colours, 0..255.
//
// With markers identified in the previous frame, their printed black border
// and the white paper around it are sampled in the new frame, at the places
// they were: the threshold goes midway between the darkest paper and the
// lightest border, which keeps every one of those markers' outlines whole
// however the light changed. Without such markers (at the start, after they
// left, or when the samples do not show a light paper around a dark border)
// the threshold is Otsu's split of the frame's grey levels.

#include "tracking/ar/ar_types.h"
#include "tracking/ar/image.h"

#include <array>
#include <vector>

namespace kwo {

class AutoThreshold {
public:
    // Where the samples come from.
    enum class Source {
        none,    // no frame yet
        markers, // the last identified markers
        frame,   // Otsu over the whole frame
    };

    // `distFactor`: the calibration's distortion, to turn the detector's
    // ideal corners into the frame's pixels. Null: frames are undistorted.
    explicit AutoThreshold(const double distFactor[4] = nullptr);

    // The threshold for `frame`, 0..255.
    int choose(const ar::FrameView& frame);

    // Remembers where this frame's identified markers (id >= 0) lie, for the
    // next choice. Squares without an identity are left out: clutter would
    // pull the threshold to its own grey levels.
    void learn(const ARMarkerInfo* markers, int count);

    int last() const { return lastThreshold; }
    Source source() const { return lastSource; }

private:
    // Where to sample one marker: points in its black border and points on
    // the paper just outside it, in the frame's pixels.
    struct MarkerSamples {
        std::vector<std::array<double, 2>> border, paper;
    };

    bool fromMarkers(const ar::FrameView& frame, int& threshold) const;

    std::array<double, 4> distortion{};
    bool distorted = false;
    std::vector<MarkerSamples> known;
    std::vector<int> histogram; // Otsu's, kept to avoid reallocating
    int lastThreshold = 0;
    Source lastSource = Source::none;
};

// Otsu's threshold of a frame's grey levels (mean of blue, green, red): the
// level that best splits the pixels into a dark and a light class. Every
// `step`-th pixel of every `step`-th row is counted. `histogram` is scratch.
int otsuThreshold(const ar::FrameView& frame, int step, std::vector<int>& histogram);

} // namespace kwo
