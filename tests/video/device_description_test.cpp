// How the engine log and the station check name a camera and the mode it is
// opened in: the mode is the one the capture pins (closest to the size asked),
// so what they say is what the camera gives.
#include "video/device_description.h"

#include <gtest/gtest.h>

namespace {

kwo::VideoDevice webcam()
{
    kwo::VideoDevice device;
    device.name = "USB Camera";
    device.location = "/dev/video0";
    device.caps = "video/x-raw, format=YUY2, width=640, height=480, framerate=30/1; "
                  "image/jpeg, width=1280, height=720, framerate=[ 5/1, 60/1 ]; "
                  "video/x-raw, format=YUY2, width=[ 160, 1920 ], height=[ 120, 1080 ], framerate=15/1";
    return device;
}

TEST(DeviceDescription, NamesTheCameraAndTheModeTheCaptureOpens)
{
    struct Case {
        std::optional<unsigned> width, height;
        bool dialog;
        std::string said;
    };
    const std::vector<Case> cases = {
        {640, 480, false, "'USB Camera' (/dev/video0), mode 640 x 480, 30 fps YUY2"},
        {1280, 720, false, "'USB Camera' (/dev/video0), mode 1280 x 720, 30 fps (image/jpeg)"},
        // A size only the range offers: exactly that, at the range's own rate.
        {800, 600, false, "'USB Camera' (/dev/video0), mode 800 x 600, 15 fps YUY2"},
        {std::nullopt, std::nullopt, false, "'USB Camera' (/dev/video0), mode 640 x 480, 30 fps YUY2"},
        {640, 480, true, "'USB Camera' (/dev/video0), mode chosen in the format dialog"},
    };
    for (const Case& c : cases) {
        kwo::DeviceRequest request;
        request.friendlyName = "USB Camera";
        request.width = c.width;
        request.height = c.height;
        request.showFormatDialog = c.dialog;
        EXPECT_EQ(kwo::describeOpening(webcam(), request), c.said) << c.width.value_or(0) << "x" << c.height.value_or(0);
    }
}

TEST(DeviceDescription, AClipIsNamedByItsFileAndACameraWithoutModesSaysSo)
{
    kwo::VideoDevice clip;
    clip.kind = kwo::VideoDevice::Kind::Clip;
    clip.name = "table.mkv";
    clip.location = "/srv/clips/table.mkv";
    EXPECT_EQ(kwo::describeOpening(clip, {}), "'table.mkv' (clip file /srv/clips/table.mkv)");
    EXPECT_FALSE(kwo::modeToOpen(clip, {}));

    kwo::VideoDevice silent = webcam();
    silent.caps = "";
    EXPECT_EQ(kwo::describeOpening(silent, {}), "'USB Camera' (/dev/video0), offering no picture mode");

    const std::vector<kwo::VideoDevice> devices = {clip, webcam(), webcam()};
    EXPECT_EQ(kwo::findDeviceNamed(devices, "USB Camera"), &devices[1]);
    EXPECT_EQ(kwo::findDeviceNamed(devices, "Other"), nullptr);
}

} // namespace
