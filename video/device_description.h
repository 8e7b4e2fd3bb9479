#pragma once

#include "video/device_request.h"
#include "video/video_devices.h"

#include <optional>
#include <string>
#include <vector>

namespace kwo {

// The device of `devices` listed under `name` (the first, as the capture
// takes it), or null.
const VideoDevice* findDeviceNamed(const std::vector<VideoDevice>& devices, const std::string& name);

// The mode a real camera is opened in for `request`, as the capture picks it
// (closest to the requested size); nothing for a clip, whose mode is its own,
// or for a camera that offers none.
std::optional<CameraMode> modeToOpen(const VideoDevice& device, const DeviceRequest& request);

// How the device is opened, in words for whoever looks after a station:
// "'USB Camera' (/dev/video0), mode 640 x 480, 30 fps" or "'table.mkv'
// (clip file /srv/table.mkv)". With the format dialog asked for, the mode is
// the user's pick and is left unsaid.
std::string describeOpening(const VideoDevice& device, const DeviceRequest& request);

} // namespace kwo
