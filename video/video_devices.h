#pragma once

#include "video/camera_mode.h"

#include <string>
#include <vector>

namespace kwo {

// One capture device as the video library knows it: what it is called in the
// camera list and where its pictures come from.
struct VideoDevice {
    enum class Kind {
        Camera, // a real capture device; `location` is its device path
        Clip,   // a clip file played as a live camera; `location` is the file
    };
    Kind kind = Kind::Camera;
    std::string name; // friendly name, as shown and remembered
    std::string location;
    // A camera: the GStreamer element that plays it (its "device" property is
    // set to `location` when that is not empty) and the caps it offers, as
    // text; its modes are fixated from them against the size a run asks for.
    std::string source = "v4l2src";
    std::string caps;
};

// Every device: the real cameras sorted by device path (a stable system
// order), then the clip cameras named by the environment variable
// KWO_CLIP_CAMERAS. Never throws.
std::vector<VideoDevice> findVideoDevices();

// The real cameras only, as GStreamer's device monitor reports them.
std::vector<VideoDevice> findCameras();

// The order of device paths: "/dev/video2" before "/dev/video10" (runs of
// digits compare as numbers), otherwise character by character.
bool devicePathLess(const std::string& a, const std::string& b);

} // namespace kwo
