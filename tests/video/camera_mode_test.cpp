#include "video/camera_mode.h"

#include <gst/gst.h>
#include <optional>
#include <gtest/gtest.h>

namespace {

std::vector<kwo::CameraMode> modes(const char* caps, std::optional<unsigned> width = std::nullopt,
                                   std::optional<unsigned> height = std::nullopt)
{
    gst_init(nullptr, nullptr);
    GstCaps* parsed = gst_caps_from_string(caps);
    EXPECT_NE(parsed, nullptr) << caps;
    std::vector<kwo::CameraMode> result = kwo::modesFromCaps(parsed, width, height);
    gst_caps_unref(parsed);
    return result;
}

TEST(CameraModes, ReadFromADevicesCaps)
{
    // Shaped like what a USB camera reports: raw modes with one or several
    // rates, motion JPEG modes, a list of formats, a range of sizes.
    const auto list = modes("video/x-raw, format=YUY2, width=640, height=480, framerate=30/1; "
                            "video/x-raw, format=YUY2, width=320, height=240, framerate={ 30/1, 15/1, 60/1 }; "
                            "image/jpeg, width=1280, height=720, framerate=[ 5/1, 60/1 ]; "
                            "video/x-raw, format={ YUY2, NV12 }, width=160, height=120, framerate=30/1; "
                            "video/x-raw, format=NV12, width=[ 1, 100 ], height=[ 1, 100 ]",
                            320, 240);
    ASSERT_EQ(list.size(), 5u);
    EXPECT_EQ(list[0], (kwo::CameraMode{"video/x-raw", "YUY2", 640, 480, 30, 1}));
    EXPECT_EQ(list[1], (kwo::CameraMode{"video/x-raw", "YUY2", 320, 240, 30, 1}));
    EXPECT_EQ(list[2], (kwo::CameraMode{"image/jpeg", "", 1280, 720, 30, 1}));
    EXPECT_EQ(list[3], (kwo::CameraMode{"video/x-raw", "YUY2", 160, 120, 30, 1}));
    EXPECT_EQ(list[4], (kwo::CameraMode{"video/x-raw", "NV12", 100, 100, 0, 1}));
    EXPECT_EQ(list[0].capsText(), "video/x-raw,format=(string)YUY2,width=640,height=480,framerate=30/1");
    EXPECT_EQ(list[2].capsText(), "image/jpeg,width=1280,height=720,framerate=30/1");
    EXPECT_EQ(list[4].capsText(), "video/x-raw,format=(string)NV12,width=100,height=100");
    // A format GStreamer would read as a number, or that needs quoting, reads back as itself.
    for (const char* format : {"9", "1e5", "true", "YUV 4:2:2", "a\"b\\c", "{x}"}) {
        const kwo::CameraMode odd{"video/x-raw", format, 640, 480, 30, 1};
        const std::vector<kwo::CameraMode> again = kwo::modesFromCapsText(odd.capsText());
        ASSERT_EQ(again.size(), 1u) << odd.capsText();
        EXPECT_EQ(again.front(), odd) << odd.capsText();
    }
    EXPECT_EQ(list[0].label(), "640 x 480, 30 fps");
    EXPECT_EQ(list[2].label(), "1280 x 720, 30 fps (image/jpeg)");
}

// Cameras that describe themselves with ranges and lists (many USB webcams,
// every PipeWire camera, GStreamer's test source) open at the size asked.
TEST(CameraModes, RangesAndListsAreFixatedTowardTheRequest)
{
    const struct {
        const char* caps;
        std::optional<unsigned> width, height;
        kwo::CameraMode expected;
    } cases[] = {
        // GStreamer's test source: everything open.
        {"video/x-raw, format={ I420, YUY2, BGRx }, width=[ 1, 2147483647 ], height=[ 1, 2147483647 ], "
         "framerate=[ 0/1, 2147483647/1 ]",
         320, 240, {"video/x-raw", "I420", 320, 240, 30, 1}},
        {"video/x-raw, format=YUY2, width=[ 32, 2592 ], height=[ 32, 1944 ], framerate=[ 1/1, 30/1 ]", 800, 600,
         {"video/x-raw", "YUY2", 800, 600, 30, 1}},
        // The request beyond the range: its nearest end.
        {"video/x-raw, format=YUY2, width=[ 32, 640 ], height=[ 32, 480 ], framerate=[ 1/1, 15/1 ]", 1920, 1080,
         {"video/x-raw", "YUY2", 640, 480, 15, 1}},
        {"image/jpeg, width=[ 64, 1280 ], height=[ 64, 720 ], framerate={ 60/1, 25/1, 5/1 }", 16, 16,
         {"image/jpeg", "", 64, 64, 25, 1}},
        // Lists of sizes: the nearest entry, each dimension on its own.
        {"video/x-raw, format=NV12, width={ 160, 320, 640 }, height={ 120, 240, 480 }, framerate=30/1", 300, 400,
         {"video/x-raw", "NV12", 320, 480, 30, 1}},
        // Stepped ranges keep to their steps.
        {"video/x-raw, format=NV12, width=[ 16, 1920, 16 ], height=[ 16, 1072, 16 ], framerate=30/1", 330, 250,
         {"video/x-raw", "NV12", 336, 256, 30, 1}},
        // Nothing asked: GStreamer's own fixation, the low end of a range.
        {"video/x-raw, format=YUY2, width=[ 32, 640 ], height=[ 24, 480 ], framerate=[ 1/1, 60/1 ]", std::nullopt,
         std::nullopt, {"video/x-raw", "YUY2", 32, 24, 30, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caps);
        const auto list = modes(c.caps, c.width, c.height);
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0], c.expected);
    }
}

TEST(CameraModes, EqualModesAreListedOnceAndCapsThatAreNoPictureGiveNone)
{
    // Two formats fixate to the same mode apart from the format: both stay;
    // the same mode twice is one.
    const auto list = modes("video/x-raw, format=YUY2, width=[ 1, 640 ], height=[ 1, 480 ], framerate=30/1; "
                            "video/x-raw, format=YUY2, width=320, height=240, framerate=30/1; "
                            "video/x-raw, format=NV12, width=[ 1, 640 ], height=[ 1, 480 ], framerate=30/1",
                            320, 240);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].format, "YUY2");
    EXPECT_EQ(list[1].format, "NV12");
    const char* nothing[] = {"video/x-raw, format=YUY2", "video/x-raw, width=320, height=240", "ANY", "EMPTY",
                             "image/jpeg, width=0, height=240"};
    for (const char* caps : nothing) {
        SCOPED_TRACE(caps);
        EXPECT_TRUE(modes(caps, 320, 240).empty());
    }
    EXPECT_TRUE(kwo::modesFromCapsText("", 320, 240).empty());
    EXPECT_TRUE(kwo::modesFromCapsText("not caps at all {", 320, 240).empty());
    EXPECT_EQ(kwo::modesFromCapsText("video/x-raw, format=BGRx, width=[ 1, 64 ], height=8", 320, 240),
              (std::vector<kwo::CameraMode>{{"video/x-raw", "BGRx", 64, 8, 0, 1}}));
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
