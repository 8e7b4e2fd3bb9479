#pragma once

// Training a pattern from a printed marker held to a camera: the picture as
// the viewer's video library delivers it, the squares as the tracker detects
// them, the biggest one's inside sampled as the tracker samples it.

#include "tracking/ar/ar_types.h"
#include "tracking/ar/patterns.h"

#include <json/value.h>

#include <optional>
#include <string>

namespace kwo::make_marker {

struct TrainingSettings {
    std::string camera;                // a name in the viewer's camera list
    Json::Value video;                 // the station's "video" section (size, flips)
    std::optional<ARParam> calibration; // the station's, scaled to the frames; none: undistorted
    int threshold = 100;
    // Take the first frame with a square, without a window (unattended use);
    // otherwise a window shows the picture and Space takes the outlined square.
    bool takeFirst = false;
    double waitSeconds = 10;           // takeFirst: give up after this long
};

// A message naming the camera and the cameras there are when `camera` is not
// in the viewer's list (real cameras, then KWO_CLIP_CAMERAS), else nothing.
std::optional<std::string> unlistedCamera(const std::string& camera);

// The trained pattern, or nothing with a message in `error` (the camera is
// does not play, no display for the window, no square within
// the wait, or the user cancelled).
std::optional<kwo::ar::PatternFile> trainFromCamera(const TrainingSettings& settings, std::string& error);

} // namespace kwo::make_marker
