#include "app/camera_check.h"

#include "app/station_calibration.h"
#include "config/convert.h"
#include "config/exception.h"
#include "video/camera_choice.h"
#include "video/camera_list.h"
#include "video/device_description.h"
#include "video/device_request.h"
#include "video/gst_frame_source.h"
#include "video/video_config.h"
#include "video/video_devices.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace kwo {
namespace {

// A start-up with several cameras asks which; the check asks nobody and
// takes the one the dialog would offer first.
std::string chooseWithoutAsking(const CameraList& cameras, const std::string& remembered)
{
    return std::find(cameras.begin(), cameras.end(), remembered) != cameras.end() ? remembered : cameras.front();
}

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

} // namespace

std::optional<CameraPicture> checkCamera(const Json::Value& config, const Json::Value& userConfig,
                                         std::chrono::milliseconds firstFrame, CheckReport& report)
{
    const std::vector<VideoDevice> devices = findVideoDevices();
    CameraList cameras;
    listCameras(devices, cameras);
    Json::Value chosen = userConfig;
    std::string name;
    try {
        name = selectCamera(cameras, chosen, chooseWithoutAsking);
    } catch (const Exception& error) {
        report.error("camera", std::string(error.what()) +
                                   ": no capture device found, and KWO_CLIP_CAMERAS names no clip file");
        return std::nullopt;
    } catch (const std::exception& error) {
        report.error("user.config (camera)", error.what());
        return std::nullopt;
    }
    if (cameras.size() > 1) {
        std::string listed;
        for (const std::string& camera : cameras)
            listed += (listed.empty() ? "" : ", ") + quoted(camera);
        report.ok("camera", std::to_string(cameras.size()) + " cameras (" + listed +
                                "): a start-up asks which, offering " + quoted(name) + "; checking that one");
    }

    std::string text;
    DeviceRequest request;
    try {
        text = buildVideoConfig(config["video"], name);
        request = parseDeviceRequest(text);
    } catch (const std::exception& error) {
        report.error("camera " + quoted(name), error.what());
        return std::nullopt;
    }
    const VideoDevice* device = findDeviceNamed(devices, name);
    if (!device) {
        report.error("camera " + quoted(name), "Can't open video (no device of that name)");
        return std::nullopt;
    }
    std::unique_ptr<VideoSource> source;
    try {
        // No dialog: the mode a start-up would preselect.
        source = openGstSource(*device, request, SourceOptions{},
                               [](const std::vector<CameraMode>&, std::size_t preselected) { return preselected; });
    } catch (const std::exception& error) {
        const std::string reason = error.what();
        // A camera serves one program at a time: most often the show itself.
        const std::string hint = reason.find("busy") != std::string::npos
                                     ? "; is the viewer running? Stop the kiosk unit first: systemctl --user stop kwo"
                                     : "";
        report.error("camera " + quoted(name), "Can't open video (" + reason + ")" + hint);
        return std::nullopt;
    }
    const FrameSize size = source->size();
    CameraPicture picture{size.width, size.height, {}};
    const std::string opening = describeOpening(*device, request) + ", frames " + frameSizeText(size.width, size.height);

    source->start();
    const auto deadline = std::chrono::steady_clock::now() + firstFrame;
    std::string failure;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const std::uint8_t* frame = source->takeNewestFrame()) {
            picture.pixels.assign(frame, frame + static_cast<std::size_t>(size.width) * size.height * 4);
            source->releaseFrame();
            break;
        }
        failure = source->failure();
        if (!failure.empty())
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    source->stop();
    source.reset();

    if (picture.pixels.empty()) {
        // The show would start and wait for the camera as for a lost one.
        report.warning("camera " + opening,
                       "opened, but gave no picture " +
                           (failure.empty() ? "within " + std::to_string(firstFrame.count() / 1000) + " s"
                                            : "(" + failure + ")"));
        return picture;
    }
    report.ok("camera " + opening, "one picture taken");
    return picture;
}

GreyRange greyRange(const CameraPicture& picture)
{
    GreyRange range;
    for (std::size_t at = 0; at + 3 < picture.pixels.size(); at += 4) {
        const int grey = (picture.pixels[at] + picture.pixels[at + 1] + picture.pixels[at + 2]) / 3;
        range.darkest = std::min(range.darkest, grey);
        range.lightest = std::max(range.lightest, grey);
    }
    return range;
}

} // namespace kwo
