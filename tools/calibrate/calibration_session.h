#pragma once

// One calibration run: frames from a camera or a video file, views of the
// board taken as they come (by themselves, or on Space in the window),
// progress printed as it goes, and at the end the tracker's camera file
// written, or nothing at all.

#include "tools/calibrate/arguments.h"
#include "video/video_source.h"

#include <string>

namespace kwo::calibrate {

// Runs the calibration that `options` ask for from `source` (opened and not
// yet started; `label` names it in messages) and returns the exit status: 0
// when the camera file was written, 1 when nothing was written.
int runCalibration(const Options& options, kwo::VideoSource& source, const std::string& label);

} // namespace kwo::calibrate
