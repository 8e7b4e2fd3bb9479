#pragma once

#include "video/video_devices.h"

#include <string>
#include <vector>

namespace kwo {

// The environment variable naming clip files that are listed as cameras.
inline constexpr const char* clipCamerasVariable = "KWO_CLIP_CAMERAS";

// The clip cameras named by a KWO_CLIP_CAMERAS value: paths separated by ":"
// (empty entries skipped), each named by its file name without the folder,
// in its UTF-8 display form when the name is not UTF-8 (as GLib shows it).
// The files are not checked here; a missing one fails when it is opened.
std::vector<VideoDevice> clipCameras(const std::string& variableValue);

// The clip cameras of this process's environment.
std::vector<VideoDevice> clipCamerasFromEnvironment();

} // namespace kwo
