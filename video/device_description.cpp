#include "video/device_description.h"

namespace kwo {

const VideoDevice* findDeviceNamed(const std::vector<VideoDevice>& devices, const std::string& name)
{
    for (const VideoDevice& device : devices)
        if (device.name == name)
            return &device;
    return nullptr;
}

std::optional<CameraMode> modeToOpen(const VideoDevice& device, const DeviceRequest& request)
{
    if (device.kind == VideoDevice::Kind::Clip)
        return std::nullopt;
    const std::vector<CameraMode> modes = modesFromCapsText(device.caps, request.width, request.height);
    const std::optional<std::size_t> choice = closestMode(modes, request.width, request.height);
    if (!choice)
        return std::nullopt;
    return modes[*choice];
}

std::string describeOpening(const VideoDevice& device, const DeviceRequest& request)
{
    const std::string name = "'" + device.name + "'";
    if (device.kind == VideoDevice::Kind::Clip)
        return name + " (clip file " + device.location + ")";
    std::string text = device.location.empty() ? name : name + " (" + device.location + ")";
    if (request.showFormatDialog)
        return text + ", mode chosen in the format dialog";
    const std::optional<CameraMode> mode = modeToOpen(device, request);
    if (!mode)
        return text + ", offering no picture mode";
    text += ", mode " + mode->label();
    if (!mode->format.empty())
        text += " " + mode->format;
    return text;
}

} // namespace kwo
