// The error boxes on a real display, answered the way a user would.
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"

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
    EXPECT_EQ(result.exitCode, 0);
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
    kwo::test::Process viewer({program.executable()});
    const std::string box = waitForWindow("^Configuration file error$");
    ASSERT_FALSE(box.empty()) << "no configuration error box";
    press(box, "Return");
    // The start-up goes on: the box is gone and the viewer is past the
    // configuration (whatever comes next, no second configuration box).
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(waitForWindow("^Configuration file error$", 0.5).empty());
    shell("xdotool search --name '^Telvarin$' windowactivate --sync key Escape >/dev/null 2>&1");
    viewer.wait(std::chrono::seconds(30));
}

} // namespace
