// kwo-calibrate's window on a display: the live picture with the board found
// drawn on it, and Escape giving up without writing anything.

#include "tests/calibrate/calibration_clip.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <utility>

namespace {

// Pixels of strong colour: the finder's corner marks (the clip is grey, the
// coverage tint faint).
int colouredPixels(const kwo::test::Picture& picture) {
    int count = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const auto p = picture.at(x, y);
            if (std::max({p.r, p.g, p.b}) - std::min({p.r, p.g, p.b}) > 150) ++count;
        }
    return count;
}

TEST(CalibrateWindow, ShowsTheBoardFoundAndEscapeWritesNothing) {
    kwo::test::TempDir folder;
    // A video is read at the tool's own pace: long enough that Escape comes
    // before its end, even on a quiet machine.
    kwo::test::writeCalibrationClip(folder.file("board.mkv"), 3, 300);
    kwo::test::Process tool({KWO_PROGRAM_DIR "/kwo-calibrate", "--video", folder.file("board.mkv"), "--output",
                             folder.file("camera.dat")});
    const std::string window = kwo::test::waitForWindow("^kwo-calibrate$", 60);
    ASSERT_FALSE(window.empty()) << tool.errorSoFar();

    kwo::test::Picture picture;
    int coloured = 0;
    for (int attempt = 0; attempt < 120 && coloured < 200; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        picture = kwo::test::captureWindow(window);
        coloured = colouredPixels(picture);
    }
    kwo::test::savePicture(picture, "/tmp/kwo-calibrate-window.png");
    EXPECT_EQ(picture.width, 640);
    EXPECT_EQ(picture.height, 480);
    EXPECT_GE(coloured, 200) << "no corner marks drawn; see /tmp/kwo-calibrate-window.png";
    // The camera picture fills the window (the clip's table top is light).
    for (const auto& [x, y] : {std::pair{630, 10}, std::pair{630, 470}, std::pair{10, 470}})
        EXPECT_GT(picture.at(x, y).r + picture.at(x, y).g + picture.at(x, y).b, 300) << x << "," << y;

    // Without a window manager (it may still be starting) focus will do.
    kwo::test::shell("xdotool windowactivate --sync " + window + " key Escape 2>/dev/null || xdotool windowfocus --sync " +
                     window + " key Escape 2>/dev/null");
    const kwo::test::ProcessResult result = tool.wait(std::chrono::seconds(60));
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_NE(result.out.find("Given up: nothing written to " + folder.file("camera.dat")), std::string::npos)
        << result.out;
    EXPECT_FALSE(folder.exists("camera.dat"));
}

} // namespace
