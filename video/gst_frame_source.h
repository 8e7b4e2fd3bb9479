#pragma once

#include "video/device_request.h"
#include "video/video_devices.h"
#include "video/video_source.h"

#include <functional>
#include <memory>

namespace kwo {

// Lets the user pick one of a camera's modes; returns its index, or the
// preselected index when the user declines or nobody can be asked.
using ModeChooser = std::function<std::size_t(const std::vector<CameraMode>& modes, std::size_t preselected)>;

// Opens `device` as a GStreamer pipeline delivering BGRx frames:
// - a real camera is pinned to the offered mode closest to the requested
//   size (or the one the user picks when the request asks for the format
//   dialog) and delivers frames as they come;
// - a clip plays at its own size in real time at its frame rate, starting
//   over at its end without losing a frame.
// Flips are applied in the pipeline. Throws std::runtime_error with the
// pipeline's first error message when the device does not open.
std::unique_ptr<VideoSource> openGstSource(const VideoDevice& device, const DeviceRequest& request,
                                           const ModeChooser& chooseMode);

} // namespace kwo
