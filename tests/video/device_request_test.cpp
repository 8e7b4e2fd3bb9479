#include "video/device_request.h"
#include "tests/support/json.h"
#include "video/video_config.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <stdexcept>

namespace {

TEST(DeviceRequest, ReadsBackWhatTheDeviceTextSays)
{
    const kwo::DeviceRequest request = kwo::parseDeviceRequest(kwo::buildVideoConfig(
        kwo::test::parseJson(R"({"dialog": true, "width": 640, "height": 480, "flip_horizontal": true, "flip_vertical": false})"),
        "Clip Co.mkv"));
    EXPECT_EQ(request.friendlyName, "Clip Co.mkv");
    EXPECT_EQ(request.width, 640u);
    EXPECT_EQ(request.height, 480u);
    EXPECT_TRUE(request.showFormatDialog);
    EXPECT_TRUE(request.flipHorizontal);
    EXPECT_FALSE(request.flipVertical);
}

// Every size the configuration can hold (an unsigned 32-bit number) reads
// back from the text built from it.
TEST(DeviceRequest, SizesReadBackOverTheWholeUnsignedRange)
{
    for (const unsigned size : {0u, 1u, 999999999u, 1000000000u, 4294967295u}) {
        SCOPED_TRACE(size);
        Json::Value video(Json::objectValue);
        video["width"] = size;
        EXPECT_EQ(kwo::parseDeviceRequest(kwo::buildVideoConfig(video, "cam")).width, size);
    }
    EXPECT_EQ(kwo::parseDeviceRequest("<dsvl_input><camera frame_width=\"000320\" friendly_name=\"c\"/></dsvl_input>").width,
              320u);
}

TEST(DeviceRequest, AbsentAttributesAreNotRequested)
{
    const kwo::DeviceRequest request = kwo::parseDeviceRequest(kwo::buildVideoConfig(kwo::test::parseJson("{}"), "cam"));
    EXPECT_EQ(request.friendlyName, "cam");
    EXPECT_FALSE(request.width);
    EXPECT_FALSE(request.height);
    EXPECT_FALSE(request.showFormatDialog);
    EXPECT_FALSE(request.flipHorizontal);
    EXPECT_FALSE(request.flipVertical);
}

// Whatever the name holds, the video library finds the same name in the text,
// and a name cannot add elements or attributes of its own.
TEST(DeviceRequest, EveryNameReadsBackUnchanged)
{
    for (const std::string name : {"a&b.mkv", "R&D", "Cam \"Pro\"", "it's", "<camera/>", "a\"><RGB32 flip_h=\"true",
                                   "&amp;", "\xc3\xa9" "cran",
                                   "tab\there", "two\nlines\r\n"}) {
        SCOPED_TRACE(name);
        const kwo::DeviceRequest request = kwo::parseDeviceRequest(
            kwo::buildVideoConfig(kwo::test::parseJson(R"({"flip_horizontal": false})"), name));
        EXPECT_EQ(request.friendlyName, name);
        EXPECT_FALSE(request.flipHorizontal);
        EXPECT_FALSE(request.width);
    }
}

TEST(DeviceRequest, RefusesTextsThatSayNothingUsable)
{
    const std::string good = kwo::buildVideoConfig(kwo::test::parseJson(R"({"width": 320})"), "cam");
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"empty", ""},
        {"not XML", "camera=cam"},
        {"cut short", good.substr(0, good.size() / 2)},
        {"another root", "<video><camera friendly_name=\"cam\"/></video>"},
        {"no camera", "<dsvl_input/>"},
        {"no name", "<dsvl_input><camera frame_width=\"320\"/></dsvl_input>"},
        {"a size that is not a number", "<dsvl_input><camera frame_width=\"wide\" friendly_name=\"c\"/></dsvl_input>"},
        {"a negative size", "<dsvl_input><camera frame_width=\"-1\" friendly_name=\"c\"/></dsvl_input>"},
        {"a size beyond 32 bits", "<dsvl_input><camera frame_width=\"4294967296\" friendly_name=\"c\"/></dsvl_input>"},
        {"a flip that is not a boolean",
         "<dsvl_input><camera friendly_name=\"c\"><pixel_format><RGB32 flip_h=\"yes\"/></pixel_format></camera>"
         "</dsvl_input>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_THROW(kwo::parseDeviceRequest(c.text), std::runtime_error);
    }
}

TEST(DeviceRequest, TakesBooleansInBothSchemaSpellings)
{
    const kwo::DeviceRequest request = kwo::parseDeviceRequest(
        "<dsvl_input><camera show_format_dialog=\"1\" friendly_name=\"c\"><pixel_format>"
        "<RGB32 flip_h=\"0\" flip_v=\"1\"/></pixel_format></camera></dsvl_input>");
    EXPECT_TRUE(request.showFormatDialog);
    EXPECT_FALSE(request.flipHorizontal);
    EXPECT_TRUE(request.flipVertical);
}

} // namespace
