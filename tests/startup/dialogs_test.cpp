// The error boxes on a real display, answered the way a user would.
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"
#include "tests/support/viewer.h"

#include <gtest/gtest.h>

#include <sstream>
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
    EXPECT_EQ(viewer.errorSoFar(), "") << "written while the box is up";
    const std::string text = shell("xdotool getwindowname " + box);
    EXPECT_EQ(text, "Error\n");
    press(box, "Return");
    const auto result = viewer.wait(std::chrono::seconds(20));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Exception: kwo.config: the document must be a JSON object\n");
}

// The first visible window whose title matches `pattern`, or "".
std::string visibleWindow(const std::string& pattern)
{
    std::istringstream ids(shell("xdotool search --onlyvisible --name '" + pattern + "' 2>/dev/null"));
    std::string id;
    ids >> id;
    return id;
}

TEST(ErrorBox, VideoAndTrackerSetUpErrorsWithTheWindowNeverShown)
{
    const char* const title = "KWO start-up under test";
    // The built-in creatures and media, so a late failure comes after the
    // engine, the window and three creatures were made.
    const auto document = [title](const std::string& params, const std::string& lastPattern) {
        return std::string(R"({"window": {"fullscreen": false, "title": ")") + title + R"("},
            "tracking": {"params": ")" + params + R"(", "objects": [
                {"name": "Quillmoth", "pattern": {"file": "tracking/Quillmoth.pattern", "size": 83}},
                {"name": "Brackenjaw", "pattern": {"file": "tracking/Brackenjaw.pattern", "size": 83}},
                {"name": "Sliverfin", "pattern": {"file": "tracking/Sliverfin.pattern", "size": 83}},
                {"name": "Mossglider", "pattern": {"file": ")" + lastPattern + R"(", "size": 83}}]}})";
    };
    const std::string goodParams = "tracking/camera.dat", goodPattern = "tracking/Mossglider.pattern";
    const struct {
        const char* what;
        std::string document;
        bool missingClip; // the only camera is a clip that is not there
        const char* message;
    } cases[] = {
        {"missing clip", document(goodParams, goodPattern), true, "Can't open video"},
        {"missing calibration", document("tracking/missing.dat", goodPattern), false, "Camera load error"},
        {"calibration too short", document("short.dat", goodPattern), false, "Camera load error"},
        {"missing pattern of the last object", document(goodParams, "tracking/Missing.pattern"), false,
         "Pattern load error"},
        {"pattern that is no pattern", document(goodParams, "notes.pattern"), false, "Pattern load error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ProgramFolder program;
        program.write("kwo.config", c.document);
        program.write("short.dat", std::string(40, '\1'));
        program.write("notes.pattern", "a pattern was meant to be here\n");
        const auto camera = c.missingClip ? std::vector<std::string>{"KWO_CLIP_CAMERAS=" + program.file("gone.mkv")}
                                          : kwo::test::clipCameraEnvironment();
        kwo::test::Process viewer({program.executable()}, "", camera);
        // Watch for the viewer's window all through the start-up: it may be
        // made before the failure, but must never be seen.
        bool windowSeen = false;
        std::string box;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (box.empty() && viewer.running() && std::chrono::steady_clock::now() < deadline) {
            windowSeen = windowSeen || !visibleWindow(std::string("^") + title + "$").empty();
            box = visibleWindow("^Error$");
        }
        ASSERT_NE(box, "") << "no Error box; " << viewer.wait(std::chrono::seconds(5)).err;
        EXPECT_FALSE(windowSeen) << "the viewer's window showed before the Error box";
        // The video layer may have said why it failed; the error itself
        // waits for the answer.
        EXPECT_EQ(viewer.errorSoFar().find("Exception"), std::string::npos) << "written while the box is up";
        press(box, "Return");
        const auto result = viewer.wait(std::chrono::seconds(20));
        EXPECT_EQ(result.exitCode, 1);
        // The message may go on to name the file it could not use.
        EXPECT_NE(result.err.find(std::string("Exception: ") + c.message), std::string::npos) << result.err;
        EXPECT_FALSE(program.exists("user.config")) << "a failed start-up wrote the user document";
    }
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
    // After the answer, the journal learns which file it was about.
    EXPECT_EQ(result.err, "Configuration file error (kwo.config)\n* Line 1, Column 2\n  Missing '}' or object member "
                          "name\n\nContinue with default settings?\n");
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
    EXPECT_EQ(result.err.rfind("Configuration file error (kwo.config)\n* Line 1, Column 45\n", 0), 0u) << result.err;
    const std::string goesOn = "\nWarning: kwo.config is not valid JSON; the built-in defaults apply\n";
    EXPECT_EQ(result.err.substr(result.err.size() - std::min(result.err.size(), goesOn.size())), goesOn);
    EXPECT_TRUE(waitForWindow("^Configuration file error$", 0.1).empty());
    // Nothing of the invalid document was merged: the user document holds
    // the camera, whatever else it kept of the main document's text.
    EXPECT_NE(program.read("user.config").find("\"camera\" : \"still.mkv\""), std::string::npos);
}

} // namespace
