#include "video/camera_mode.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

namespace {

std::vector<kwo::CameraMode> modes(const char* caps)
{
    gst_init(nullptr, nullptr);
    GstCaps* parsed = gst_caps_from_string(caps);
    EXPECT_NE(parsed, nullptr) << caps;
    std::vector<kwo::CameraMode> result = kwo::modesFromCaps(parsed);
    gst_caps_unref(parsed);
    return result;
}

TEST(CameraModes, ReadFromADevicesCaps)
{
    // Shaped like what a USB camera reports: raw modes with one or several
    // rates, motion JPEG modes, and a structure without a fixed format.
    const auto list = modes("video/x-raw, format=YUY2, width=640, height=480, framerate=30/1; "
                            "video/x-raw, format=YUY2, width=320, height=240, framerate={ 30/1, 15/1, 60/1 }; "
                            "image/jpeg, width=1280, height=720, framerate=[ 5/1, 60/1 ]; "
                            "video/x-raw, format={ YUY2, NV12 }, width=160, height=120, framerate=30/1; "
                            "video/x-raw, format=NV12, width=[ 1, 100 ], height=[ 1, 100 ]");
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], (kwo::CameraMode{"video/x-raw", "YUY2", 640, 480, 30, 1}));
    EXPECT_EQ(list[1], (kwo::CameraMode{"video/x-raw", "YUY2", 320, 240, 30, 1}));
    EXPECT_EQ(list[2], (kwo::CameraMode{"image/jpeg", "", 1280, 720, 30, 1}));
    EXPECT_EQ(list[0].capsText(), "video/x-raw,format=YUY2,width=640,height=480,framerate=30/1");
    EXPECT_EQ(list[2].capsText(), "image/jpeg,width=1280,height=720,framerate=30/1");
    EXPECT_EQ(list[0].label(), "640 x 480, 30 fps");
    EXPECT_EQ(list[2].label(), "1280 x 720, 30 fps (image/jpeg)");
}

TEST(CameraModes, ClosestToTheRequest)
{
    const std::vector<kwo::CameraMode> list = {
        {"video/x-raw", "YUY2", 640, 480, 30, 1},
        {"video/x-raw", "YUY2", 352, 288, 30, 1},
        {"video/x-raw", "YUY2", 320, 240, 30, 1},
        {"image/jpeg", "", 320, 240, 30, 1},
        {"video/x-raw", "YUY2", 1280, 720, 10, 1},
    };
    const struct {
        std::optional<unsigned> width, height;
        std::size_t expected;
    } cases[] = {
        {320, 240, 2},   // exact; the first of two equal sizes
        {640, 480, 0},   // exact
        {330, 260, 2},
        {360, 290, 1},
        {800, 600, 0},
        {4000, 3000, 4}, // beyond everything: the largest
        {0, 0, 2},       // below everything: the smallest
        {std::nullopt, 240, 0},
        {std::nullopt, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width.value_or(-1) << "x" << c.height.value_or(-1));
        EXPECT_EQ(kwo::closestMode(list, c.width, c.height), c.expected);
    }
    EXPECT_FALSE(kwo::closestMode({}, 320, 240));
}

} // namespace
