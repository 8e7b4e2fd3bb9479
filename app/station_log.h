#pragma once

// Lines of the engine log that say what a run started with: whoever looks
// after a station reads from "ogre.log" alone which camera, mode,
// calibration, patterns and threshold the show ran on.

#include "app/station_calibration.h"
#include "config/threshold_setting.h"

#include "video/video_devices.h"

#include <string>
#include <vector>

namespace kwo {

// "Camera: 'USB Camera' (/dev/video0), mode 640 x 480, 30 fps YUY2, frames 640x480".
// `deviceText` is the text the camera was opened with, `devices` the capture
// devices the start-up found.
std::string cameraLogLine(const std::vector<VideoDevice>& devices, const std::string& deviceText, int width,
                          int height);

// "Calibration: 'tracking/camera.dat' (tracking/params), made for 640x480
// frames, used for 320x240, field of view 62.0 x 48.5 degrees".
std::string calibrationLogLine(const StationCalibration& calibration);

// "Pattern: 'tracking/Quillmoth.pattern' (tracking/objects[0]/pattern/file), 83 mm, for Quillmoth".
std::string patternLogLine(const std::string& key, const std::string& file, double millimetres,
                           const std::string& object);

// "fixed" (a number), "auto" (chosen for every frame) or "adaptive" (each
// pixel against its surroundings).
std::string thresholdModeWord(const ThresholdSetting& setting);

// "Threshold mode: fixed, tracking/threshold 100", "Threshold mode: auto,
// chosen for every frame from the picture" or "Threshold mode: adaptive,
// tracking/threshold adaptive 5"; `inUse` is the tracker's own wording of
// the value.
std::string thresholdLogLine(const ThresholdSetting& setting, const std::string& inUse);

// A number with one decimal: "62.0".
std::string oneDecimal(double value);

} // namespace kwo
