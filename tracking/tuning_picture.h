#pragma once

// What the detector sees, for the technician tuning a station: the frame
// split into dark and light pixels at the threshold, each square the
// detector found outlined with its identity, confidence and direction, and a
// caption with the threshold. No engine: the picture is a frame of the same
// size and pixel format, ready to be shown in the camera picture's place.

#include "tracking/ar/ar_types.h"
#include "tracking/ar/image.h"
#include "tracking/ar/threshold.h"

#include <opencv2/core.hpp>

#include <string>

namespace kwo {

struct TuningMarks {
    const ARMarkerInfo* markers = nullptr; // as the detector reported them
    int count = 0;
    const double* distFactor = nullptr;    // the calibration's distortion; null: none
};

// Outline colours (blue, green, red): a square that matched a pattern, and
// one that matched none well enough.
inline const cv::Scalar identifiedColour(40, 210, 40, 255);
inline const cv::Scalar unidentifiedColour(0, 150, 255, 255);

// Fills `picture` (4 bytes per pixel, blue, green, red, pad; rows packed) with
// black where blue + green + red <= 3 x `threshold` and white elsewhere, the
// squares of `marks` and `caption` (one or more lines, split at '\n') drawn
// over it. With `mirrored` the text is
// written so that it reads correctly in a picture shown mirrored left to
// right.
void drawTuningPicture(const ar::FrameView& frame, int threshold, const TuningMarks& marks,
                       const std::string& caption, bool mirrored, cv::Mat& picture);
// The same for a threshold of either mode: under the local threshold, black
// where the detector takes a pixel as dark (never the outermost ring).
void drawTuningPicture(const ar::FrameView& frame, const ar::Threshold& threshold, const TuningMarks& marks,
                       const std::string& caption, bool mirrored, cv::Mat& picture);

} // namespace kwo
