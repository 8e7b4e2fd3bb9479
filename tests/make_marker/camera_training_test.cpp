// Training a pattern from a clip camera: the printed marker as the camera
// delivers it, taken without a window (--take-first) or with Space in the
// window.

#include "tests/make_marker/fixtures.h"
#include "tests/support/screen.h"
#include "tools/make_marker/marker_pattern.h"
#include "video/clip_writer.h"
#include "tests/support/still_clip.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cstring>
#include <fstream>
#include <thread>

namespace kwo::test {
namespace {

bool exists(const std::string& path) { return std::ifstream(path).good(); }

// A table seen by a 640x480 camera: the artwork's marker near, upright and a
// little turned, a project marker farther off (smaller, so not the one taken).
class CameraTraining : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(cv::imwrite(dir.file("art.png"), lopsidedArtwork()));
        const ProcessResult made = makeMarker({"--picture", dir.file("art.png"), "-o", dir.file("Art"), "--no-station"});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        square = printedSquare(dir.file("Art.png"));

        synthetic::PrintedMarker art;
        art.picture = square;
        art.width = 83;
        synthetic::makePose(15, -10, 8, -40, 10, 380, art.pose);
        double farPose[3][4];
        synthetic::makePose(0, 20, 40, 150, -60, 800, farPose);
        const synthetic::PrintedMarker far = printed("Brackenjaw", 83, farPose);
        synthetic::FrameOptions options;
        options.blur = 0.7;
        options.noise = 2;
        writeClipOf(dir.file("table.mkv"), synthetic::renderFrame(plainCamera(), {far, art}, options));
        // An empty table: plain, since a textured one may hold a dark square.
        options.background = cv::Mat(480, 640, CV_8UC3, cv::Scalar(150, 160, 170));
        writeClipOf(dir.file("empty.mkv"), synthetic::renderFrame(plainCamera(), {}, options));
    }

    static void writeClipOf(const std::string& path, const synthetic::SyntheticFrame& frame) {
        writeStillClip(path, frame, 10);
    }

    std::vector<std::string> clipCameras() const {
        return {"KWO_CLIP_CAMERAS=" + dir.file("table.mkv") + ":" + dir.file("empty.mkv")};
    }

    void expectIdentifies(const std::string& pattern, const std::string& label) {
        const std::vector<PoseResult> results = identifyAtPoses(square, pattern);
        for (std::size_t i = 0; i < results.size(); ++i) {
            EXPECT_EQ(results[i].id, 4) << label << " pose " << i;
            EXPECT_GE(results[i].cf, 0.9) << label << " pose " << i;
            EXPECT_LT(results[i].cornerRms, 1.0) << label << " pose " << i;
        }
        ar::PatternFile trained, fromArtwork;
        ASSERT_TRUE(ar::readPatternFile(pattern, trained));
        ASSERT_TRUE(ar::readPatternFile(dir.file("Art.pattern"), fromArtwork));
        std::printf("%s: cf at 20 poses least %.3f, median %.3f; against the artwork's pattern %.3f\n", label.c_str(),
                    leastCf(results), medianCf(results), make_marker::bestMatch(trained, fromArtwork));
    }

    TempDir dir;
    cv::Mat square;
};

TEST_F(CameraTraining, FirstSquareOfAClipCameraGivesAPatternThatIdentifiesTheMarker) {
    // Without the station's settings, and with them (the built-in document's
    // video settings, threshold and calibration tracking/camera.dat); a clip
    // camera plays at its own size either way.
    for (const bool station : {false, true}) {
        const std::string label = station ? "station settings" : "camera's own size";
        const std::string out = dir.file(station ? "Station" : "Own");
        std::vector<std::string> arguments{"--camera", "table.mkv", "--take-first", "-o", out};
        if (!station) arguments.push_back("--no-station");
        const ProcessResult trained = makeMarker(arguments, clipCameras());
        ASSERT_EQ(trained.exitCode, 0) << label << "\n" << trained.out << trained.err;
        EXPECT_NE(trained.out.find("Camera 'table.mkv': 640x480, threshold 100."), std::string::npos) << trained.out;
        // Only the pattern: the marker is printed already.
        EXPECT_FALSE(exists(out + ".png") || exists(out + ".pdf")) << label;
        expectIdentifies(out + ".pattern", label);
    }
}

TEST_F(CameraTraining, NoSquareInTheWaitWritesNothing) {
    const ProcessResult result =
        makeMarker({"--camera", "empty.mkv", "--take-first", "--wait", "1.5", "-o", dir.file("None"), "--no-station"},
                   clipCameras());
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("no square seen by camera 'empty.mkv' within 1.5 s (threshold 100); nothing written"),
              std::string::npos)
        << result.err;
    EXPECT_FALSE(exists(dir.file("None.pattern")));
}

TEST_F(CameraTraining, WindowOutlinesTheBiggestSquareAndSpaceTakesIt) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
    const std::string out = dir.file("Spaced");
    std::vector<std::string> argv{makeMarkerProgram, "--camera", "table.mkv", "-o", out, "--no-station"};
    Process program(argv, "", clipCameras());
    const std::string window = waitForWindow("kwo-make-marker: table.mkv", 60);
    ASSERT_FALSE(window.empty()) << program.errorSoFar();
    const Picture shot = captureDrawnWindow(window, 30);
    // The outline is drawn in pure green round the near marker (left of
    // centre), and nowhere near the far one (upper right).
    int greenNear = 0, greenFar = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const Picture::Pixel p = shot.at(x, y);
            if (p.g > 200 && p.r < 60 && p.b < 60) ++(x > 420 && y < 200 ? greenFar : greenNear);
        }
    EXPECT_GT(greenNear, 400);
    EXPECT_EQ(greenFar, 0);
    savePicture(shot, dir.file("window.png"));

    shell("xdotool windowactivate --sync " + window + " key space 2>/dev/null || xdotool windowfocus --sync " + window +
          " key space 2>/dev/null");
    const ProcessResult result = program.wait(std::chrono::seconds(60));
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    expectIdentifies(out + ".pattern", "taken with Space");
}

TEST_F(CameraTraining, EscapeCancelsAndWritesNothing) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
    std::vector<std::string> argv{makeMarkerProgram, "--camera", "table.mkv", "-o", dir.file("Cancelled"), "--no-station"};
    Process program(argv, "", clipCameras());
    const std::string window = waitForWindow("kwo-make-marker: table.mkv", 60);
    ASSERT_FALSE(window.empty()) << program.errorSoFar();
    captureDrawnWindow(window, 30);
    shell("xdotool windowactivate --sync " + window + " key Escape 2>/dev/null || xdotool windowfocus --sync " + window +
          " key Escape 2>/dev/null");
    const ProcessResult result = program.wait(std::chrono::seconds(60));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("cancelled; nothing written"), std::string::npos) << result.err;
    EXPECT_FALSE(exists(dir.file("Cancelled.pattern")));
}

} // namespace
} // namespace kwo::test
