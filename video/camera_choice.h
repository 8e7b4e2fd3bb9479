#pragma once

#include "video/camera_list.h"

#include <json/value.h>

#include <functional>
#include <string>

namespace kwo {

// Asks the user for one of the cameras, `remembered` preselected; "" means
// the user declined.
using CameraChooser = std::function<std::string(const CameraList& cameras, const std::string& remembered)>;

// Settles on a camera and stores its name as "camera" in `userConfig`:
// - no camera: throws kwo::Exception("No camera");
// - one camera: that one, without asking and without reading the old name;
// - several: asks `choose` with the remembered "camera" (read as a string,
//   so a number there ends start-up with the conversion error); an empty
//   answer throws kwo::ProcessExit{0} with `userConfig` untouched.
// Returns the chosen name.
std::string selectCamera(const CameraList& cameras, Json::Value& userConfig, const CameraChooser& choose);

} // namespace kwo
