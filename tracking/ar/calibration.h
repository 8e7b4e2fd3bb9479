#pragma once

// Camera calibration records: the 136-byte big-endian file format, resizing,
// lens distortion and the split of the projection into intrinsics and
// extrinsics.

#include "tracking/ar/ar_types.h"

#include <string>
#include <vector>

namespace kwo::ar {

// Bytes of one calibration record in a file.
constexpr int calibrationRecordSize = 136;

// Reads `count` records, and no more of the file than those. On failure
// returns false and says why in `error` (naming the file). Files that are not
// a whole number of records (such as later formats with more distortion
// factors) are rejected, and so is any record checkCalibration refuses.
bool readCalibrationFile(const std::string& path, int count, std::vector<ARParam>& records,
                         std::string* error = nullptr);
bool writeCalibrationFile(const std::string& path, const std::vector<ARParam>& records,
                          std::string* error = nullptr);

// A record some camera could have: positive sizes, finite numbers, a
// non-degenerate projection with positive focal lengths of at most 100 image
// widths and the principal point inside the image, a distortion scale within
// 0.5..2, and a distortion that can be undone out to the image corners.
// Absurd records are refused here because the detector's and the pose's
// arithmetic is only sound for real cameras. `reason` says what is wrong.
bool checkCalibration(const ARParam& param, std::string* reason);
bool isUsable(const ARParam& param);

// The calibration for frames of xsize x ysize (the scale is taken from the
// widths alone).
ARParam changeSize(const ARParam& source, int xsize, int ysize);

void observedToIdeal(const double distFactor[4], double ox, double oy, double& ix, double& iy);
void idealToObserved(const double distFactor[4], double ix, double iy, double& ox, double& oy);

// source = cpara * trans, cpara upper triangular with cpara[2][2] = 1 and
// trans a rotation with translation. False for a degenerate source.
bool decomposeProjection(const double source[3][4], double cpara[3][4], double trans[3][4]);

// A calibration prepared for the pose: the intrinsic matrix and the camera's
// own extrinsic part of the projection (usually the identity).
struct Calibration {
    ARParam param{};
    double intrinsic[3][3] = {};
    double extrinsic[3][4] = {};
    bool distorted = false; // false when the distortion factor is zero
};

bool prepareCalibration(const ARParam& param, Calibration& calibration);

} // namespace kwo::ar
