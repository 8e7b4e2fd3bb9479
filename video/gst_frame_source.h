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
// - a camera is pinned to its mode closest to the requested size (ranges and
//   lists in its caps fixated toward it), or to the one the user picks when
//   the request asks for the format dialog, and delivers frames as they come;
// - a clip plays in real time at its frame rate, starting over at its end
//   without losing a frame.
// Frames keep the size of the first one (or options.frameSize): a stream
// that changes its size midway is scaled back to it. Flips are applied in
// the pipeline. Throws std::runtime_error with the pipeline's first error
// message when the device does not open; in the background, only when the
// pipeline cannot even be built or started.
std::unique_ptr<VideoSource> openGstSource(const VideoDevice& device, const DeviceRequest& request,
                                           const SourceOptions& options, const ModeChooser& chooseMode);

} // namespace kwo
