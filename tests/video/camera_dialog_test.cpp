// The viewer choosing its camera, end to end: the real program in a
// temporary program folder, clip files as cameras, the dialog answered with
// xdotool under the test's own virtual display.
#include "clip_fixtures.h"

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"
#include "tests/support/viewer.h"
#include "video/camera_list.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

namespace {

using namespace std::chrono_literals;
using kwo::test::Picture;
using kwo::test::Process;
using kwo::test::ProcessResult;
using kwo::test::ProgramFolder;
using kwo::test::shell;
using kwo::test::waitForWindow;

const std::string dialogTitle = "^Telvarin$";
// The viewer's own window, named apart from the dialog.
const std::string viewerTitle = "Viewer";
// Starts quickly on the core media alone: windowed, no tracked objects.
const char* const viewerDocument = R"({
    "window": {"fullscreen": false, "title": "Viewer"},
    "media": {"locations": ["./media/graphics/Core.dat"]},
    "tracking": {"objects": [], "collisions": []}
})";

// A picture of one window. Saved as a stripped PNG first: ImageMagick writes
// the window name into a PPM header as a comment otherwise.
Picture windowPicture(const std::string& window, const std::string& path)
{
    shell("xwd -silent -id " + window + " | convert xwd:- -strip '" + path + "'");
    return kwo::test::loadPicture(path);
}

class CameraChoice : public testing::Test {
protected:
    void SetUp() override
    {
        // The cases count the cameras; real ones would add to them.
        unsetenv("KWO_CLIP_CAMERAS");
        kwo::CameraList cameras;
        kwo::listCameras(cameras);
        if (!cameras.empty())
            GTEST_SKIP() << "this machine has a real camera";
        program.write("kwo.config", viewerDocument);
        kwo::test::writeCountingClip(program.file("first.mkv"), 3, 30);
        kwo::test::writeCountingClip(program.file("second.mkv"), 3, 30);
    }

    // The viewer's environment with these clip cameras. OGRE 1.12 frees
    // decoded pictures with delete[] that its image codec allocated with
    // malloc; the sanitizer must not stop the viewer over the engine's own
    // mismatch.
    std::vector<std::string> clips(std::initializer_list<const char*> names) const
    {
        std::string value;
        for (const char* name : names)
            value += (value.empty() ? "" : ":") + program.file(name);
        return {"KWO_CLIP_CAMERAS=" + value, "ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:alloc_dealloc_mismatch=0"};
    }

    static std::vector<std::string> with(std::vector<std::string> environment, const std::string& entry)
    {
        environment.push_back(entry);
        return environment;
    }

    void remember(const std::string& userDocument) const { program.write("user.config", userDocument); }

    std::string rememberedCamera() const
    {
        const std::string text = program.read("user.config");
        const std::size_t key = text.find("\"camera\"");
        if (key == std::string::npos)
            return "(none)";
        const std::size_t open = text.find('"', text.find(':', key));
        return text.substr(open + 1, text.find('"', open + 1) - open - 1);
    }

    // Start-up is over once the viewer's window shows (the user document is
    // written just before) or the program has ended; the viewer is then
    // closed with Escape (or its error box answered), as a visitor would.
    ProcessResult finishStartUp(Process& viewer) { return kwo::test::closeViewer(viewer, viewerTitle, 60); }

    void answer(const std::string& window, const std::string& keys)
    {
        shell("xdotool windowactivate --sync " + window + " >/dev/null 2>&1; xdotool key " + keys);
    }

    ProgramFolder program;
};

TEST_F(CameraChoice, NoCameraEndsStartUpWithTheMessage)
{
    remember("{\"camera\": \"first.mkv\"}\n");
    Process viewer({program.executable()}, "", clips({}));
    const std::string box = waitForWindow("^Error$");
    ASSERT_FALSE(box.empty()) << "no error box";
    answer(box, "Return");
    const ProcessResult result = viewer.wait(30s);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Exception: No camera\n"), std::string::npos) << result.err;
    EXPECT_EQ(program.read("user.config"), "{\"camera\": \"first.mkv\"}\n");
}

TEST_F(CameraChoice, OneCameraIsTakenWithoutADialog)
{
    const std::string before = "{\"camera\": \"second.mkv\"}\n";
    remember(before);
    Process viewer({program.executable()}, "", clips({"first.mkv"}));
    EXPECT_NE(waitForWindow("^" + viewerTitle + "$", 60), "") << "the viewer did not start";
    EXPECT_EQ(shell("xdotool search --name '" + dialogTitle + "' 2>/dev/null"), "") << "a dialog was shown";
    const ProcessResult result = finishStartUp(viewer);
    EXPECT_EQ(rememberedCamera(), "first.mkv");
    EXPECT_EQ(result.err.find("Exception"), std::string::npos) << result.err;
}

TEST_F(CameraChoice, EnterTakesThePreselectedCamera)
{
    const struct {
        const char* userDocument;
        const char* expected;
    } cases[] = {
        {"{\"camera\": \"second.mkv\"}\n", "second.mkv"},
        {"{\"camera\": \"first.mkv\"}\n", "first.mkv"},
        {"{}\n", "first.mkv"},
        {"{\"camera\": \"\"}\n", "first.mkv"},
        {"{\"camera\": \"elsewhere.mkv\"}\n", "first.mkv"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.userDocument);
        remember(c.userDocument);
        Process viewer({program.executable()}, "", clips({"first.mkv", "second.mkv"}));
        const std::string dialog = waitForWindow(dialogTitle);
        ASSERT_FALSE(dialog.empty()) << "no dialog";
        answer(dialog, "Return");
        const ProcessResult result = finishStartUp(viewer);
        EXPECT_EQ(rememberedCamera(), c.expected);
        EXPECT_EQ(result.err.find("Exception"), std::string::npos) << result.err;
    }
}

TEST_F(CameraChoice, EscapeEndsTheProgramQuietlyAndKeepsTheUserDocument)
{
    // Odd spacing on purpose: any rewrite would show.
    const std::string before = "{ \"camera\" :\"second.mkv\",  \"other\": 1 }";
    remember(before);
    Process viewer({program.executable()}, "", clips({"first.mkv", "second.mkv"}));
    const std::string dialog = waitForWindow(dialogTitle);
    ASSERT_FALSE(dialog.empty()) << "no dialog";
    answer(dialog, "Escape");
    const ProcessResult result = viewer.wait(30s);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(program.read("user.config"), before);
    EXPECT_EQ(waitForWindow("^Error$", 1), "") << "an error box appeared";
}

// Finds the rows of the list in a picture of the dialog by the selection's
// colour: the selected row is the only large block of a saturated blue.
struct RowBand {
    int top = -1, bottom = -1, x = -1;
};
RowBand selectedRow(const Picture& picture)
{
    RowBand band;
    for (int y = 0; y < picture.height; ++y) {
        int blue = 0, firstX = -1;
        for (int x = 0; x < picture.width; ++x) {
            const auto p = picture.at(x, y);
            if (p.b > 150 && p.b - p.r > 80) {
                ++blue;
                if (firstX < 0)
                    firstX = x;
            }
        }
        if (blue > picture.width / 2) {
            if (band.top < 0)
                band.top = y;
            band.bottom = y;
            band.x = firstX;
        }
    }
    return band;
}

TEST_F(CameraChoice, TheDialogShowsBannerAndListCentredAndADoubleClickOnlySelects)
{
    const std::string before = "{\"camera\": \"second.mkv\"}\n";
    remember(before);
    Process viewer({program.executable()}, "", clips({"first.mkv", "second.mkv"}));
    const std::string dialog = waitForWindow(dialogTitle);
    ASSERT_FALSE(dialog.empty()) << "no dialog";
    std::this_thread::sleep_for(500ms); // let it draw
    const kwo::test::Geometry where = kwo::test::windowGeometry(dialog);
    const Picture shot = windowPicture(dialog, program.file("dialog.png"));
    ASSERT_FALSE(shot.empty());

    // Centred on the 1024 x 768 screen.
    EXPECT_NEAR(where.x + where.width / 2.0, 512, 2);
    EXPECT_NEAR(where.y + where.height / 2.0, 384, 2);
    // The banner: black figures on white across the upper part.
    int black = 0, white = 0;
    for (int y = 0; y < shot.height * 4 / 10; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const auto p = shot.at(x, y);
            black += p.r + p.g + p.b < 60;
            white += p.r + p.g + p.b > 740;
        }
    EXPECT_GT(black, 5000);
    EXPECT_GT(white, 20000);

    // The remembered second entry is selected; the first is the row above it.
    const RowBand second = selectedRow(shot);
    ASSERT_GE(second.top, 0) << "no selected row";
    const int rowHeight = second.bottom - second.top + 1;
    const int firstRowY = second.top - rowHeight / 2;
    shell("xdotool mousemove --window " + dialog + " " + std::to_string(second.x + 40) + " " +
          std::to_string(firstRowY) + " click --repeat 2 --delay 80 1");
    std::this_thread::sleep_for(700ms);
    ASSERT_TRUE(viewer.running()) << "the double click closed the dialog";
    EXPECT_NE(waitForWindow(dialogTitle, 1), "");
    const RowBand now = selectedRow(windowPicture(dialog, program.file("clicked.png")));
    EXPECT_LT(now.top, second.top) << "the double click did not select the first entry";
    // OK takes what the double click selected.
    answer(dialog, "Return");
    finishStartUp(viewer);
    EXPECT_EQ(rememberedCamera(), "first.mkv");
}

TEST_F(CameraChoice, TheButtonsAnswerWithTheMouse)
{
    // The buttons sit side by side at the bottom right: "OK", then "Annuler".
    const std::string before = "{\"camera\": \"second.mkv\"}\n";
    for (const bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "OK" : "Annuler");
        remember(before);
        Process viewer({program.executable()}, "", clips({"first.mkv", "second.mkv"}));
        const std::string dialog = waitForWindow(dialogTitle);
        ASSERT_FALSE(dialog.empty()) << "no dialog";
        std::this_thread::sleep_for(300ms);
        const kwo::test::Geometry size = kwo::test::windowGeometry(dialog);
        const int x = size.width - (ok ? 148 : 50), y = size.height - 23;
        shell("xdotool mousemove --window " + dialog + " " + std::to_string(x) + " " + std::to_string(y) +
              " click 1");
        if (ok) {
            finishStartUp(viewer);
            EXPECT_NE(program.read("user.config"), before) << "start-up did not go on";
            EXPECT_EQ(rememberedCamera(), "second.mkv");
        } else {
            const ProcessResult result = viewer.wait(30s);
            EXPECT_EQ(result.exitCode, 0);
            EXPECT_EQ(result.err, "");
            EXPECT_EQ(program.read("user.config"), before);
        }
    }
}

TEST_F(CameraChoice, WithoutADisplayTheRememberedCameraIsTakenWhenListed)
{
    const std::string before = "{\"camera\": \"second.mkv\"}\n";
    remember(before);
    Process viewer({program.executable()}, "", with(clips({"first.mkv", "second.mkv"}), "DISPLAY="));
    const ProcessResult result = finishStartUp(viewer);
    EXPECT_NE(result.err.find("  first.mkv\n  second.mkv\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Remembered camera: second.mkv"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Taking the remembered camera."), std::string::npos) << result.err;
    // The camera opened; whatever later start-up needs a display for is not this test's business.
    EXPECT_EQ(result.err.find("No camera"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Can't open video"), std::string::npos) << result.err;
}

TEST_F(CameraChoice, WithoutADisplayAnUnlistedRememberedCameraEndsAsOnCancel)
{
    for (const char* before : {"{\"camera\": \"elsewhere.mkv\"}\n", "{}\n"}) {
        SCOPED_TRACE(before);
        remember(before);
        const ProcessResult result =
            kwo::test::run({program.executable()}, "", with(clips({"first.mkv", "second.mkv"}), "DISPLAY="));
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_NE(result.err.find("nothing chosen"), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("Exception"), std::string::npos) << result.err;
        EXPECT_EQ(program.read("user.config"), before);
    }
}

} // namespace
