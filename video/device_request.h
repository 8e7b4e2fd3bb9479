#pragma once

#include <optional>
#include <string>

namespace kwo {

// What a device text asks of the video library.
struct DeviceRequest {
    std::string friendlyName;         // the device, by its name in the camera list
    std::optional<unsigned> width;    // requested frame size, when given
    std::optional<unsigned> height;
    bool showFormatDialog = false;    // let the user pick the camera's mode
    bool flipHorizontal = false;      // mirror left to right
    bool flipVertical = false;        // mirror top to bottom
};

// Reads a device text (see buildVideoConfig). Throws std::runtime_error with
// a message naming what is wrong: not well-formed XML, no `camera` element,
// no `friendly_name`, or an attribute value that is not a number or a
// boolean ("true", "false", "1", "0").
DeviceRequest parseDeviceRequest(const std::string& text);

} // namespace kwo
