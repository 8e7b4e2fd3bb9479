#pragma once

#include "config/setting.h"
#include "tracking/ar/ar_types.h"

#include <optional>
#include <string>

namespace kwo {

// The station's camera calibration (tracking/params) as a start-up takes it:
// read from its file, checked, and resized for the frames the camera gives.
struct StationCalibration {
    std::string key;  // "tracking/params"
    std::string file; // the path the key gives, as written
    ARParam loaded{}; // as the file holds it, for the frames it was made for
    ARParam resized{}; // for the camera's frames, handed to the tracker
};

// Loads the calibration tracking/params names, resizes it for frames of
// `width` x `height` and hands it to the tracker. A file that cannot be
// read, or a calibration that does not fit those frames, stops with
// "Camera load error" and the key, the file and the reason in the detail.
StationCalibration loadStationCalibration(const Setting& tracking, int width, int height);

// A calibration is resized by the frame widths alone, so one made for frames
// of another shape (640x480 used for 1280x720) puts every ray off by a
// growing amount down the picture: the creatures stand off their markers.
// The start-up still goes on; this is the one warning that says so, naming
// both sizes, or nothing when the shapes agree within 1 %.
std::optional<std::string> anotherShapeWarning(const StationCalibration& calibration, int width, int height);

// The camera's angles of view the calibration implies, in degrees: across
// the frame and from its top to its bottom.
struct FieldOfView {
    double horizontal = 0;
    double vertical = 0;
};
FieldOfView fieldOfView(const ARParam& calibration);

// "640x480".
std::string frameSizeText(int width, int height);

} // namespace kwo
