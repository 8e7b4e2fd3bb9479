#include "app/station_log.h"

#include "config/setting.h"
#include "video/device_description.h"
#include "video/device_request.h"
#include "video/video_devices.h"

#include <cstdio>
#include <stdexcept>

namespace kwo {

std::string cameraLogLine(const std::vector<VideoDevice>& devices, const std::string& deviceText, int width,
                          int height)
{
    std::string opening;
    try {
        const DeviceRequest request = parseDeviceRequest(deviceText);
        const VideoDevice* device = findDeviceNamed(devices, request.friendlyName);
        opening = device ? describeOpening(*device, request) : "'" + request.friendlyName + "'";
    } catch (const std::runtime_error&) {
        opening = "(not described)";
    }
    return "Camera: " + opening + ", frames " + frameSizeText(width, height);
}

std::string calibrationLogLine(const StationCalibration& calibration)
{
    const FieldOfView view = fieldOfView(calibration.loaded);
    return "Calibration: '" + calibration.file + "' (" + calibration.key + "), made for " +
           frameSizeText(calibration.loaded.xsize, calibration.loaded.ysize) + " frames, used for " +
           frameSizeText(calibration.resized.xsize, calibration.resized.ysize) + ", field of view " +
           oneDecimal(view.horizontal) + " x " + oneDecimal(view.vertical) + " degrees";
}

std::string patternLogLine(const std::string& key, const std::string& file, double millimetres,
                           const std::string& object)
{
    return "Pattern: '" + file + "' (" + key + "), " + numberText(millimetres) + " mm, for " + object;
}

std::string thresholdModeWord(const ThresholdSetting& setting)
{
    switch (setting.mode) {
    case ThresholdSetting::Mode::automatic:
        return "auto";
    case ThresholdSetting::Mode::adaptive:
        return "adaptive";
    case ThresholdSetting::Mode::fixed:
        break;
    }
    return "fixed";
}

std::string thresholdLogLine(const ThresholdSetting& setting, const std::string& inUse)
{
    const std::string mode = "Threshold mode: " + thresholdModeWord(setting);
    if (setting.mode == ThresholdSetting::Mode::automatic)
        return mode + ", chosen for every frame from the picture";
    return mode + ", tracking/threshold " + inUse;
}

std::string oneDecimal(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

} // namespace kwo
