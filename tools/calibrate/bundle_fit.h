#pragma once

// The tracker's camera and the board's poses refined together on every
// observed corner at once, in the tracker's own lens model: the
// least-squares optimum itself, not the alternation of a pinhole fit and a
// lens fit, which stalls while the focal lengths and the lens factor still
// trade against each other.

#include <opencv2/core.hpp>

#include <vector>

namespace kwo::calibrate {

// A camera in the tracker's terms: ideal pixels ix = fx X/Z + cx, iy = fy Y/Z
// + cy, then the tracker's lens (centre, factor, scale) to observed pixels.
struct TrackerCamera {
    double fx = 0, fy = 0, cx = 0, cy = 0;
    double distFactor[4] = {0, 0, 0, 1};
};

// Where the board was in one view: OpenCV's rotation vector and translation,
// board to camera.
struct BoardPose {
    cv::Vec3d rotation, translation;
};

// The corners of one view through `camera` at `pose`: observed pixels.
std::vector<cv::Point2d> projectBoard(const TrackerCamera& camera, const BoardPose& pose,
                                      const std::vector<cv::Point3d>& board);

// Refines `poses` (one per view of `observed`, corners in the order of
// `board`) and, with `refineCamera`, `camera` (all but the lens scale) by
// Levenberg-Marquardt from the values given. Returns the RMS distance in
// pixels between observed and projected corners.
double refineBundle(TrackerCamera& camera, std::vector<BoardPose>& poses, const std::vector<cv::Point3d>& board,
                    const std::vector<std::vector<cv::Point2d>>& observed, bool refineCamera = true);

} // namespace kwo::calibrate
