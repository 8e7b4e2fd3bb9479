#pragma once

#include "video/video_devices.h"

#include <string>
#include <vector>

namespace kwo {

// The friendly names of the capture devices, in the system's order: the real
// cameras first, then the clip cameras. A name may occur more than once.
using CameraList = std::vector<std::string>;

// Appends the name of every capture device to `cameras`. Never throws: a
// device system that cannot be asked simply contributes no names.
void listCameras(CameraList& cameras);

// The same from devices already found (findVideoDevices), so a start-up that
// needs the devices themselves later probes them only once.
void listCameras(const std::vector<VideoDevice>& devices, CameraList& cameras);

} // namespace kwo
