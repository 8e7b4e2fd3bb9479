// How the configuration turns into engine start-up values and the scene
// viewport's place.
#include "config/exception.h"
#include "scene/engine.h"
#include "scene/scaled_presentation.h"
#include "scene/video_background.h"
#include "tests/scene/json_text.h"

#include <gtest/gtest.h>

namespace kwo::test {
namespace {

TEST(ArchiveType, ZipByTheEndOfTheLocationInAnyCase)
{
    const struct {
        const char* location;
        const char* type;
    } cases[] = {
        {"./media/graphics/Core.dat", "Zip"}, {"./media/graphics/CORE.DAT", "Zip"},
        {"pack.Zip", "Zip"},                  {".zip", "Zip"},
        {"./media/graphics", "FileSystem"},   {"media/zip", "FileSystem"},
        {"dat", "FileSystem"},                {"", "FileSystem"},
        {"archive.dat/", "FileSystem"},       {"archive.tar", "FileSystem"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(archiveType(c.location), c.type) << c.location;
}

TEST(WindowSettings, BindTheRenderWindowWithExactlyFiveParameters)
{
    const Json::Value window = json(R"({"width": 1024, "height": 768, "title": "Hall", "color": 16,
                                         "vsync": false, "fsaa": 4, "gamma": true, "fullscreen": true})");
    const WindowSettings settings = readWindowSettings(Setting(window, "window"));
    EXPECT_EQ(settings.width, 1024u);
    EXPECT_EQ(settings.height, 768u);
    EXPECT_EQ(settings.title, "Hall");
    EXPECT_TRUE(settings.fullscreen);
    const Ogre::NameValuePairList parameters = renderWindowParameters(settings, 4194311);
    const Ogre::NameValuePairList expected = {{"colourDepth", "16"}, {"vsync", "false"}, {"FSAA", "4"},
                                              {"gamma", "true"},     {"externalWindowHandle", "4194311"}};
    EXPECT_EQ(parameters, expected);
}

TEST(WindowSettings, MissingKeysTakeTheirFallbacks)
{
    const Json::Value empty(Json::objectValue);
    const WindowSettings settings = readWindowSettings(Setting(empty, "window"));
    EXPECT_EQ(settings.width, 800u);
    EXPECT_EQ(settings.height, 600u);
    EXPECT_EQ(settings.title, "");
    const Ogre::NameValuePairList parameters = renderWindowParameters(settings, 7);
    EXPECT_EQ(parameters.at("colourDepth"), "32");
    EXPECT_EQ(parameters.at("vsync"), "true");
    EXPECT_EQ(parameters.at("FSAA"), "0");
    EXPECT_EQ(parameters.at("gamma"), "false");
    EXPECT_FALSE(settings.fullscreen);
}

// Every value the window cannot be made with stops before the window is
// made, named by its key: in the message, or (for the conversions, whose
// texts are fixed) in the detail.
TEST(WindowSettings, ValuesTheWindowCannotBeMadeWithAreRefusedByTheirKey)
{
    const struct {
        const char* window;
        const char* message;
        const char* detail;
    } cases[] = {
        {R"({"width": -1})", "Negative integer can not be converted to unsigned integer",
         "window/width: -1 is not a number from 0 to 4294967295"},
        {R"({"width": "800"})", "Type is not convertible to uint",
         "window/width: \"800\" is not a number from 0 to 4294967295"},
        {R"({"height": 1e12})", "Real out of unsigned integer range",
         "window/height: 1000000000000 is not a number from 0 to 4294967295"},
        {R"({"width": 0})", "window/width: 0 is below 1", ""},
        {R"({"height": null})", "window/height: 0 is below 1", ""},
        {R"({"color": 7})", "window/color: 7 is not 16, 24 or 32", ""},
        {R"({"fsaa": 64})", "window/fsaa: 64 is outside 0..16", ""},
        {R"({"title": {}})", "Type is not convertible to string", "window/title: an object is not a string"},
    };
    for (const auto& c : cases) {
        const Json::Value window = json(c.window);
        try {
            readWindowSettings(Setting(window, "window"));
            ADD_FAILURE() << c.window << " accepted";
        } catch (const Exception& error) {
            EXPECT_STREQ(error.what(), c.message) << c.window;
            EXPECT_EQ(error.detail(), c.detail) << c.window;
        }
    }
}

TEST(WindowSettings, SidesBeyondWhatIsDrawnCountAsTheLargestAndColourDepthsOfTheWindowSystemPass)
{
    const Json::Value wide = json(R"({"width": 100000, "height": 16384, "color": 24, "fsaa": 16})");
    const WindowSettings settings = readWindowSettings(Setting(wide, "window"));
    EXPECT_EQ(settings.width, maxWindowSide);
    EXPECT_EQ(settings.height, 16384u);
    EXPECT_EQ(settings.colourDepth, 24u);
    EXPECT_EQ(settings.fsaa, 16u);
}

TEST(WindowSettings, FullScreenResolutionIsOneOfThreeWords)
{
    const struct {
        const char* window;
        FullScreenResolution resolution;
    } cases[] = {
        {R"({})", FullScreenResolution::automatic},
        {R"({"fullscreen_resolution": "auto"})", FullScreenResolution::automatic},
        {R"({"fullscreen_resolution": "screen"})", FullScreenResolution::screen},
        {R"({"fullscreen_resolution": "window"})", FullScreenResolution::window},
    };
    for (const auto& c : cases) {
        const Json::Value window = json(c.window);
        EXPECT_EQ(readWindowSettings(Setting(window, "window")).fullscreenResolution, c.resolution) << c.window;
    }
    for (const char* wrong : {R"({"fullscreen_resolution": "Screen"})", R"({"fullscreen_resolution": ""})",
                              R"({"fullscreen_resolution": 1})"}) {
        const Json::Value window = json(wrong);
        try {
            readWindowSettings(Setting(window, "window"));
            ADD_FAILURE() << wrong << " accepted";
        } catch (const std::exception& error) {
            EXPECT_NE(std::string(error.what()).find("window/fullscreen_resolution"), std::string::npos)
                << error.what();
        }
    }
}

TEST(WindowSettings, FrameRateIsAWordOrACap)
{
    const struct {
        const char* window;
        DrawingRule rule;
        double cap;
    } cases[] = {
        {R"({})", DrawingRule::automatic, 0},
        {R"({"frame_rate": "auto"})", DrawingRule::automatic, 0},
        {R"({"frame_rate": "display"})", DrawingRule::display, 0},
        {R"({"frame_rate": "camera"})", DrawingRule::camera, 0},
        {R"({"frame_rate": 25})", DrawingRule::capped, 25},
        {R"({"frame_rate": 12.5})", DrawingRule::capped, 12.5},
    };
    for (const auto& c : cases) {
        const Json::Value window = json(c.window);
        const WindowSettings settings = readWindowSettings(Setting(window, "window"));
        EXPECT_EQ(settings.drawing, c.rule) << c.window;
        EXPECT_EQ(settings.frameRateCap, c.cap) << c.window;
    }
    for (const char* wrong : {R"({"frame_rate": 0})", R"({"frame_rate": -30})", R"({"frame_rate": "30"})",
                              R"({"frame_rate": "Camera"})", R"({"frame_rate": true})", R"({"frame_rate": null})"}) {
        const Json::Value window = json(wrong);
        try {
            readWindowSettings(Setting(window, "window"));
            ADD_FAILURE() << wrong << " accepted";
        } catch (const std::exception& error) {
            EXPECT_NE(std::string(error.what()).find("window/frame_rate"), std::string::npos) << error.what();
        }
    }
}

TEST(FullScreenResolution, TheConfiguredSizeIsScaledOnSoftwareRenderersUnlessTheWindowIsMultisampled)
{
    const char* const llvmpipe = "llvmpipe (LLVM 15.0.6, 256 bits)";
    // A graphics card whose driver names the compiler it uses: not software.
    const char* const radeon = "AMD Radeon RX 580 Series (polaris10, LLVM 15.0.6, DRM 3.49, 6.1.0-18-amd64)";
    const struct {
        FullScreenResolution resolution;
        const char* renderer;
        unsigned samples;
        bool scaled;
    } cases[] = {
        {FullScreenResolution::automatic, llvmpipe, 0, true},
        {FullScreenResolution::automatic, "softpipe", 0, true},
        {FullScreenResolution::automatic, "Software Rasterizer", 0, true},
        {FullScreenResolution::automatic, "SWR (LLVM 6.0.0, 256 bits)", 0, true},
        {FullScreenResolution::automatic, radeon, 0, false},
        {FullScreenResolution::automatic, "Mesa Intel(R) UHD Graphics 620 (KBL GT2)", 0, false},
        {FullScreenResolution::automatic, "", 0, false},
        {FullScreenResolution::screen, llvmpipe, 0, false},
        {FullScreenResolution::window, radeon, 0, true},
        {FullScreenResolution::window, llvmpipe, 4, false},
        {FullScreenResolution::automatic, llvmpipe, 2, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(drawsAtConfiguredSize(c.resolution, c.renderer, c.samples), c.scaled)
            << static_cast<int>(c.resolution) << " " << c.renderer << " " << c.samples;
}

ViewportPlacement place(const std::string& viewport, unsigned width, unsigned height)
{
    const Json::Value value = json(viewport);
    return readViewportPlacement(Setting(value, "rendering/viewport"), width, height);
}

TEST(ViewportPlacement, PixelsBecomeFractionsOfTheWindow)
{
    const std::string pixels = R"({"mode": "pixels", "left": 250, "top": 90, "width": 502, "height": 377})";
    const ViewportPlacement small = place(pixels, 800, 600);
    EXPECT_FLOAT_EQ(small.left, 250.0f / 800);
    EXPECT_FLOAT_EQ(small.top, 90.0f / 600);
    EXPECT_FLOAT_EQ(small.width, 502.0f / 800);
    EXPECT_FLOAT_EQ(small.height, 377.0f / 600);
    const ViewportPlacement large = place(pixels, 1024, 768);
    EXPECT_FLOAT_EQ(large.left, 250.0f / 1024);
    EXPECT_FLOAT_EQ(large.height, 377.0f / 768);
}

TEST(ViewportPlacement, RelativeTakesTheNumbersAsTheyAre)
{
    const ViewportPlacement whole = place(R"({"mode": "relative", "left": 0, "top": 0, "width": 1, "height": 1})",
                                          800, 600);
    EXPECT_FLOAT_EQ(whole.left, 0);
    EXPECT_FLOAT_EQ(whole.width, 1);
    EXPECT_FLOAT_EQ(whole.height, 1);
    const ViewportPlacement quarter =
        place(R"({"mode": "relative", "left": 0.25, "top": 0.5, "width": 0.5, "height": 0.25})", 1024, 768);
    EXPECT_FLOAT_EQ(quarter.left, 0.25f);
    EXPECT_FLOAT_EQ(quarter.top, 0.5f);
}

TEST(ViewportPlacement, MissingKeysTakeTheReadersFallbacks)
{
    // No mode: relative; its missing size would be zero, a place where
    // nothing shows, which is refused by the key.
    const ViewportPlacement bare = place(R"({"left": 0.5, "width": 0.5, "height": 0.5})", 800, 600);
    EXPECT_FLOAT_EQ(bare.left, 0.5f);
    try {
        place(R"({"left": 0.5})", 800, 600);
        ADD_FAILURE() << "a place of no size was accepted";
    } catch (const std::exception& error) {
        EXPECT_STREQ(error.what(), "rendering/viewport/width: 0 (the fallback) is not above 0");
    }
    // Pixels without a size: the whole window.
    const ViewportPlacement pixels = place(R"({"mode": "pixels", "left": 200})", 800, 600);
    EXPECT_FLOAT_EQ(pixels.left, 0.25f);
    EXPECT_FLOAT_EQ(pixels.width, 1);
    EXPECT_FLOAT_EQ(pixels.height, 1);
}

TEST(ViewportPlacement, UnknownModeNamesTheWord)
{
    for (const std::string mode : {"Pixels", "percent", ""}) {
        try {
            place(R"({"mode": ")" + mode + R"("})", 800, 600);
            ADD_FAILURE() << "accepted '" << mode << "'";
        } catch (const std::exception& error) {
            EXPECT_STREQ(error.what(), ("Invalid viewport mode '" + mode + "'").c_str());
        }
    }
}

TEST(ViewportPlacement, ValuesOfTheWrongTypeOrOfNoSizeAreRefusedByTheirKey)
{
    const struct {
        const char* viewport;
        const char* message;
    } refused[] = {
        {R"({"mode": "relative", "width": 0, "height": 1})", "rendering/viewport/width: 0 is not above 0"},
        {R"({"mode": "pixels", "width": 502, "height": -377})", "rendering/viewport/height: -377 is not above 0"},
        {R"({"mode": "relative", "left": 1e300, "width": 1, "height": 1})", "rendering/viewport/left: 1e+300 is too large"},
    };
    for (const auto& c : refused) {
        try {
            place(c.viewport, 800, 600);
            ADD_FAILURE() << c.viewport << " accepted";
        } catch (const std::exception& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
    EXPECT_ANY_THROW(place(R"({"mode": "pixels", "left": "wide"})", 800, 600));
    EXPECT_ANY_THROW(place(R"({"mode": 3})", 800, 600));
    EXPECT_ANY_THROW(place(R"(12)", 800, 600)); // not an object
}

} // namespace
} // namespace kwo::test
