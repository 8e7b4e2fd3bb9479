#pragma once

// Pose estimates beyond the C-style calls, for callers that follow a marker
// from frame to frame and hold a calibration of their own (prepared from the
// same record as the tracker's).

#include "tracking/ar/ar_types.h"
#include "tracking/ar/calibration.h"

namespace kwo::ar {

// A candidate pose is near enough to the best fit when its fit error is at
// most nearFitFactor times the best one's plus nearFitSlack (pixels
// squared): noise and blur move a square's corners by up to a pixel or so,
// and within that either of its two mirror-image poses may fit a little
// better.
inline constexpr double nearFitFactor = 4.0;
inline constexpr double nearFitSlack = 1.0;

// The pose of a marker (as arGetTransMat) chosen with the previous frame's
// transform `previous`: of the poses the square allows (its two mirror-image
// planar solutions and the pose refined from `previous`), those that fit
// nearly as well as the best, the one turned least from `previous`. A square
// seen nearly head-on, or blurred, then keeps the side it was seen from
// instead of flipping to the other for a frame. Without a usable `previous`
// it is arGetTransMat. Returns the chosen pose's fit error, or a negative
// value on failure (`conv` then unchanged); `previous` and `conv` may be the
// same storage.
double estimatePoseNear(const Calibration& calibration, const ARMarkerInfo& marker, const double center[2],
                        double width, const double previous[3][4], double conv[3][4]);

} // namespace kwo::ar
