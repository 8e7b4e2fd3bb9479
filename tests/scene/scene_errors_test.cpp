// Start-up errors of the engine, the background and the lights: one "Error"
// box, the line on standard error, exit code 1, and the viewer's window never
// shown.
#include "tests/app/viewer_session.h"

#include <gtest/gtest.h>

namespace kwo::test {
namespace {

TEST(SceneErrors, ReportedOnceWithTheWindowNeverShown)
{
    const struct {
        const char* overrides;
        const char* message;
    } cases[] = {
        // The engine's own text names the archive it could not open.
        {R"({"media": {"locations": ["./media/graphics/Core.dat", "./media/graphics/Missing.dat"]}})",
         "Missing.dat"},
        {R"({"media": {"locations": []}})", "Could not find material KWO/Background"},
        // Read before the render window is made: the conversion's text, with the key.
        {R"({"window": {"width": -1}})", "Negative integer can not be converted to unsigned integer (window/width: -1"},
        {R"({"rendering": {"viewport": {"mode": "Pixels"}}})", "Invalid viewport mode 'Pixels'"},
        {R"({"rendering": {"filtering": "fast"}})", "Invalid filter type 'fast'"},
        {R"({"rendering": {"shadow": {"technique": "soft"}}})", "Invalid shadow technique 'soft'"},
        {R"({"graphics": {"lights": [{"type": "point"}, {"type": "laser"}]}})", "Invalid light type 'laser'"},
        {R"({"rendering": {"pixel": "rgb16"}})", "Invalid pixel format"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.overrides);
        ViewerSession viewer(viewerDocument(c.overrides));
        viewer.launch();
        const std::string box = waitForWindow("^Error$", 30);
        ASSERT_NE(box, "") << "no error box";
        EXPECT_EQ(shell(std::string("xdotool search --onlyvisible --name '^") + viewerTitle + "$'"), "");
        // Without a window manager (it may still be starting) focus will do.
        shell("xdotool windowactivate --sync " + box + " key Return 2>/dev/null || xdotool windowfocus --sync " +
              box + " key Return");
        const ProcessResult result = viewer.finish();
        EXPECT_EQ(result.exitCode, 1);
        EXPECT_NE(result.err.find("Exception: "), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
}

} // namespace
} // namespace kwo::test
