// kwo-calibrate on recordings made without any of its own arithmetic: the
// printed board page held before a camera of OpenCV's model (one radial
// factor about the principal point), blurred and noisy. The camera file must
// hold that camera to a few tenths of a percent, and a recording that ends
// early must leave the station's older file alone and say what is missing.

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tools/calibrate/chessboard.h"
#include "tools/synthetic/board_video.h"
#include "tracking/ar/calibration.h"

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <filesystem>

namespace {

using kwo::synthetic::BoardPose;
using kwo::synthetic::BoardVideoRenderer;
using kwo::synthetic::BoardVideoSettings;

const std::string tool = KWO_PROGRAM_DIR "/kwo-calibrate";

const BoardVideoRenderer& renderer() {
    static const BoardVideoRenderer shared{BoardVideoSettings{}};
    return shared;
}

TEST(BoardVideo, TheFinderSeesTheCornersWhereTheTruthPutsThem) {
    // The renderer's answer must be right before anything is judged by it:
    // the board is found in every pose, and its refined corners lie on the
    // true ones (a wrong ray, lens or page placement would show as a
    // pixel or more).
    const std::vector<BoardPose> poses = kwo::synthetic::thoroughPoses(renderer());
    ASSERT_EQ(poses.size(), 25u);
    const cv::Size board = renderer().settings().board.innerCorners();
    for (std::size_t i : {0u, 8u, 18u, 23u}) {
        cv::Mat grey;
        cv::cvtColor(renderer().render(poses[i], 1), grey, cv::COLOR_BGRA2GRAY);
        std::vector<cv::Point2f> found;
        ASSERT_TRUE(cv::findChessboardCornersSB(grey, board, found, cv::CALIB_CB_NORMALIZE_IMAGE)) << "pose " << i;
        kwo::calibrate::refineCorners(grey, board, found);
        const std::vector<cv::Point2d> truth = renderer().trueCorners(poses[i]);
        if (cv::norm(cv::Point2d(found.front()) - truth.front()) > cv::norm(cv::Point2d(found.front()) - truth.back()))
            std::reverse(found.begin(), found.end());
        double sum = 0, worst = 0;
        for (std::size_t k = 0; k < found.size(); ++k) {
            const double error = cv::norm(cv::Point2d(found[k]) - truth[k]);
            sum += error * error;
            worst = std::max(worst, error);
        }
        EXPECT_LT(std::sqrt(sum / static_cast<double>(found.size())), 0.06) << "pose " << i;
        EXPECT_LT(worst, 0.2) << "pose " << i;
    }
}

TEST(CalibrateIndependentVideo, HoldsTheCameraTheRecordingWasMadeThrough) {
    kwo::test::TempDir folder;
    kwo::synthetic::writeBoardVideo(folder.file("board.mkv"), renderer(), kwo::synthetic::thoroughPoses(renderer()), 2);
    const kwo::test::ProcessResult result =
        kwo::test::run({tool, "--video", folder.file("board.mkv"), "--output", folder.file("camera.dat"), "--no-window",
                        "--views", "25"},
                       "", {}, std::chrono::minutes(5));
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    std::vector<ARParam> records;
    std::string error;
    ASSERT_TRUE(kwo::ar::readCalibrationFile(folder.file("camera.dat"), 1, records, &error)) << error;
    const ARParam& found = records[0];
    const kwo::synthetic::BoardCamera& truth = renderer().settings().camera;

    // The focal lengths as the tracker uses them (times the lens scale): a
    // creature stands as much too far away as they are short.
    const double s = found.dist_factor[3];
    EXPECT_NEAR(found.mat[0][0] * s / truth.fx, 1, 0.003) << result.out;
    EXPECT_NEAR(found.mat[1][1] * s / truth.fy, 1, 0.003) << result.out;
    // The optical axis: where the calibration puts the ray straight ahead.
    cv::Point2d axis;
    kwo::ar::idealToObserved(found.dist_factor, found.mat[0][2], found.mat[1][2], axis.x, axis.y);
    EXPECT_LT(cv::norm(axis - cv::Point2d(truth.cx, truth.cy)), 1.0) << result.out;

    // The error on views left out of the fit is printed, and it is of the
    // corners' own size: the fit follows the camera, not the noise.
    const std::string heldOut = "error on views held out of the fit: RMS ";
    const std::size_t at = result.out.find(heldOut);
    ASSERT_NE(at, std::string::npos) << result.out;
    EXPECT_LT(std::stod(result.out.substr(at + heldOut.size())), 0.1) << result.out;
}

TEST(CalibrateIndependentVideo, ARecordingThatEndsEarlyIsRefusedWithWhatIsMissing) {
    kwo::test::TempDir folder;
    kwo::synthetic::writeBoardVideo(folder.file("short.mkv"), renderer(), kwo::synthetic::oneSidedPoses(renderer()), 2);
    const std::string older(136, 'o');
    folder.write("camera.dat", older);
    const kwo::test::ProcessResult result = kwo::test::run(
        {tool, "--video", folder.file("short.mkv"), "--output", folder.file("camera.dat"), "--no-window"}, "", {},
        std::chrono::minutes(5));
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    // The left half only: too little of the picture, and the right corners
    // never reached.
    EXPECT_NE(result.err.find("the views cover 38 % of the picture (at least 70 % is needed) and none reached its "
                              "upper-right or lower-right corners: nothing written to " +
                              folder.file("camera.dat")),
              std::string::npos)
        << result.err;
    EXPECT_EQ(folder.read("camera.dat"), older);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2) << "a file was left behind";
}

} // namespace
