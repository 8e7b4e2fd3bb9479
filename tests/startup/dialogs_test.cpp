// The error boxes on a real display, answered the way a user would.
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"
#include "tests/support/viewer.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using kwo::test::ProgramFolder;
using kwo::test::shell;
using kwo::test::waitForWindow;

void press(const std::string& window, const std::string& key)
{
    shell("xdotool windowactivate --sync " + window + " >/dev/null 2>&1; xdotool key --clearmodifiers " + key);
}

TEST(ErrorBox, ShownFirstThenTheStandardErrorLine)
{
    ProgramFolder program;
    program.write("kwo.config", "[1, 2]");
    kwo::test::Process viewer({program.executable()});
    const std::string box = waitForWindow("^Error$");
    ASSERT_FALSE(box.empty()) << "no Error box";
    // Nothing is written before the user has answered.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(viewer.running());
    const std::string text = shell("xdotool getwindowname " + box);
    EXPECT_EQ(text, "Error\n");
    press(box, "Return");
    const auto result = viewer.wait(std::chrono::seconds(20));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Exception: kwo.config: the document must be a JSON object\n");
}

TEST(ConfigurationErrorBox, CancelEndsWithMinusOneAndLeavesTheUserDocument)
{
    ProgramFolder program;
    program.write("kwo.config", "{");
    program.write("user.config", "{\"camera\": \"kept\"}\n");
    kwo::test::Process viewer({program.executable()});
    const std::string box = waitForWindow("^Configuration file error$");
    ASSERT_FALSE(box.empty()) << "no configuration error box";
    press(box, "Escape");
    const auto result = viewer.wait(std::chrono::seconds(20));
    EXPECT_EQ(result.exitCode, 255);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(program.read("user.config"), "{\"camera\": \"kept\"}\n");
}

TEST(ConfigurationErrorBox, OkGoesOnWithTheDefaults)
{
    ProgramFolder program;
    // Valid up to the error: nothing of it may be merged.
    program.write("kwo.config", "{\"misc\": {\"fix_video\": false}, \"window\": [1,");
    kwo::test::Process viewer({program.executable()}, "", kwo::test::clipCameraEnvironment());
    const std::string box = waitForWindow("^Configuration file error$");
    ASSERT_FALSE(box.empty()) << "no configuration error box";
    press(box, "Return");
    // The built-in document then runs the whole show, and the run ends as usual.
    const auto result = kwo::test::closeViewer(viewer);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(waitForWindow("^Configuration file error$", 0.1).empty());
    // Nothing of the invalid document was merged: the user document holds
    // the camera, whatever else it kept of the main document's text.
    EXPECT_NE(program.read("user.config").find("\"camera\" : \"still.mkv\""), std::string::npos);
}

} // namespace
