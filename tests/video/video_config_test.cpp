#include "video/video_config.h"
#include "tests/support/json.h"

#include "config/exception.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <stdexcept>

namespace {

const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<dsvl_input xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                         "xsi:noNamespaceSchemaLocation=\"DsVideoLib.xsd\">\n";

std::string document(const std::string& cameraAttributes, const std::string& pixelAttributes)
{
    return head + "  <camera" + cameraAttributes + ">\n" + "    <pixel_format>\n" + "      <RGB32" + pixelAttributes +
           "/>\n" + "    </pixel_format>\n" + "  </camera>\n" + "</dsvl_input>\n";
}

struct Case {
    const char* what;
    const char* section; // the merged "video" section
    const char* camera;
    std::string cameraAttributes;
    std::string pixelAttributes;
};

TEST(BuildVideoConfig, WritesExactlyThePresentAttributesInOrder)
{
    const Case cases[] = {
        {"built-in defaults",
         R"({"width": 320, "height": 240, "flip_horizontal": false, "flip_vertical": false, "pixel": "rgb32"})",
         "Cam", R"( frame_width="320" frame_height="240" friendly_name="Cam")", R"( flip_h="false" flip_v="false")"},
        {"dialog true comes first",
         R"({"dialog": true, "width": 320, "height": 240, "flip_horizontal": false, "flip_vertical": false})", "Cam",
         R"( show_format_dialog="true" frame_width="320" frame_height="240" friendly_name="Cam")",
         R"( flip_h="false" flip_v="false")"},
        {"dialog null is false", R"({"dialog": null, "width": 320, "height": 240})", "Cam",
         R"( show_format_dialog="false" frame_width="320" frame_height="240" friendly_name="Cam")", ""},
        {"real width is written as a whole number", R"({"width": 640.0, "height": 480})", "Cam",
         R"( frame_width="640" frame_height="480" friendly_name="Cam")", ""},
        {"null sizes are 0", R"({"width": null, "height": null})", "Cam",
         R"( frame_width="0" frame_height="0" friendly_name="Cam")", ""},
        {"flips true", R"({"flip_horizontal": true, "flip_vertical": true})", "Cam", R"( friendly_name="Cam")",
         R"( flip_h="true" flip_v="true")"},
        {"only the vertical flip", R"({"flip_vertical": true})", "Cam", R"( friendly_name="Cam")",
         R"( flip_v="true")"},
        {"nothing set", R"({})", "Cam", R"( friendly_name="Cam")", ""},
        {"no section at all", "null", "Cam", R"( friendly_name="Cam")", ""},
        {"markup in the name is escaped", R"({})", "A \"<&>' \xc3\xa9",
         " friendly_name=\"A &quot;&lt;&amp;&gt;&apos; \xc3\xa9\"", ""},
        {"other bytes go in unchanged", R"({})", "Cam \xe9\x01;#", " friendly_name=\"Cam \xe9\x01;#\"", ""},
        {"empty name", R"({})", "", R"( friendly_name="")", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(kwo::buildVideoConfig(kwo::test::parseJson(c.section), c.camera),
                  document(c.cameraAttributes, c.pixelAttributes));
    }
}

TEST(BuildVideoConfig, DefaultsMatchTheWholeDocumentByteForByte)
{
    // Spelled out once in full, so a slip in the helper above cannot hide one in the code.
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<dsvl_input xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xsi:noNamespaceSchemaLocation=\"DsVideoLib.xsd\">\n"
        "  <camera frame_width=\"320\" frame_height=\"240\" friendly_name=\"USB Camera\">\n"
        "    <pixel_format>\n"
        "      <RGB32 flip_h=\"false\" flip_v=\"false\"/>\n"
        "    </pixel_format>\n"
        "  </camera>\n"
        "</dsvl_input>\n";
    EXPECT_EQ(kwo::buildVideoConfig(
                  kwo::test::parseJson(R"({"width": 320, "height": 240, "flip_horizontal": false, "flip_vertical": false})"),
                  "USB Camera"),
              expected);
}

TEST(BuildVideoConfig, ASectionThatIsNotAnObjectStopsByItsKey)
{
    for (const char* section : {"5", R"("cam")", "true", "[320, 240]"}) {
        SCOPED_TRACE(section);
        try {
            kwo::buildVideoConfig(kwo::test::parseJson(section), "Cam");
            ADD_FAILURE() << "no error";
        } catch (const kwo::Exception& error) {
            EXPECT_STREQ(error.what(), "video: expected an object");
        }
    }
}

TEST(BuildVideoConfig, UnconvertibleValuesFailBeforeAnythingIsOpened)
{
    for (const char* section : {R"({"width": -1})", R"({"height": "tall"})", R"({"height": [240]})"}) {
        SCOPED_TRACE(section);
        EXPECT_THROW(kwo::buildVideoConfig(kwo::test::parseJson(section), "Cam"), std::runtime_error);
    }
}

} // namespace
