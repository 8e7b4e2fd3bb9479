#pragma once

// A clip of the calibration board held at many poses in front of a camera
// with known intrinsics and a known lens of the tracker's model, rendered by
// the synthetic renderer, with the true corner positions of every pose.

#include "tools/calibrate/chessboard.h"
#include "tracking/ar/ar_types.h"
#include "video/clip_writer.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace kwo::test {

struct CalibrationClip {
    ARParam camera{};
    kwo::calibrate::Chessboard board;
    // Per pose, the board's inner corners in observed pixels, in the
    // finder's order (row by row from the board's upper left).
    std::vector<std::vector<cv::Point2d>> corners;
};

// The true camera: 640x480, fx 615, fy 611, principal point (326, 236), lens
// centre (331, 247), factor 60, scale 1.
ARParam trueCalibrationCamera();

// Renders `poses` views of the board (each held for `framesPerPose` frames)
// and writes them as a clip at 10 frames per second (raw: every pixel as
// rendered; motion JPEG: a long clip in little room), through the true
// camera or, for a smaller `width`, that camera scaled to it.
CalibrationClip writeCalibrationClip(const std::string& path, int poses, int framesPerPose, int width = 640,
                                     kwo::ClipEncoding encoding = kwo::ClipEncoding::Raw);

// A clip of the same camera showing a table top without any board.
void writeEmptyClip(const std::string& path, int frames);

} // namespace kwo::test
