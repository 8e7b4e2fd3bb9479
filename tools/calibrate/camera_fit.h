#pragma once

// From views of the board to the tracker's calibration record. OpenCV's
// calibration gives the intrinsics and the board's poses; the tracker has its
// own lens model (a radial factor about a centre of its own, and a scale),
// whose four values are then fitted by least squares so that the tracker's
// ideal-to-observed mapping puts every board corner where it was observed.
// Then the camera and every view's pose are refined together in the
// tracker's model, so all of it agrees with the tracker's arithmetic.

#include "tools/calibrate/bundle_fit.h"
#include "tracking/ar/ar_types.h"

#include <opencv2/core.hpp>

#include <optional>
#include <string>
#include <vector>

namespace kwo::calibrate {

// The inner corners of one view, in the finder's order, observed pixels
// (pixel centres at whole numbers, as the tracker counts them).
using BoardView = std::vector<cv::Point2f>;

struct CameraFit {
    ARParam param{};        // the tracker's record at the views' frame size
    double openCvRms = 0;   // reprojection error of OpenCV's own lens model, pixels
    double trackerRms = 0;  // reprojection error with the tracker's lens model, pixels
    double worstError = 0;  // the largest single corner error with the tracker's model, pixels
    TrackerCamera camera;            // the same camera as `param`
    std::vector<BoardPose> poses;    // the board in each view
};

// Calibrates from at least 3 views of the board `corners` (board
// coordinates, z = 0) in frames of `frameSize`. Nothing, with the reason in
// `why`, when the views cannot determine a camera.
std::optional<CameraFit> fitCamera(const std::vector<BoardView>& views, const std::vector<cv::Point3f>& corners,
                                   cv::Size frameSize, std::string* why = nullptr);

// The reprojection error of OpenCV's own calibration of the views, pixels: a
// quick figure while views are still being taken (the full fit, much slower,
// comes at the end). Negative with fewer than 3 views or when it fails.
double quickError(const std::vector<BoardView>& views, const std::vector<cv::Point3f>& corners, cv::Size frameSize);

// How well a camera fitted without some views predicts them: the views are
// split into `groups` (every groups-th view together); each group in turn is
// left out, the camera fitted on the rest, and the left-out views' corners
// compared with that camera's projection at their own best poses. The RMS in
// pixels over every corner; negative with fewer than 2 views. Unlike the
// fit's own error, it grows when the fit follows the corners' noise.
double heldOutError(const CameraFit& fit, const std::vector<BoardView>& views, const std::vector<cv::Point3f>& corners,
                    int groups = 5);

// The tracker's four distortion values (centre x, centre y, factor, scale)
// that best carry `ideal` points onto `observed` ones by least squares,
// starting from the values given; the scale stays as given unless
// `fitScale`. Returns the RMS error in pixels.
double fitTrackerLens(const std::vector<cv::Point2d>& ideal, const std::vector<cv::Point2d>& observed,
                      double distFactor[4], bool fitScale = true);

} // namespace kwo::calibrate
