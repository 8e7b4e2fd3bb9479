// kwo-calibrate run as a station's technician runs it, on clip files written
// here: the camera file it writes against the camera the clip was rendered
// through, and what it says and leaves alone when it cannot calibrate.

#include "tests/calibrate/calibration_clip.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tracking/ar/calibration.h"

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>

#include <cmath>
#include <filesystem>

namespace {

using kwo::test::ProcessResult;
using kwo::test::run;

const std::string tool = KWO_PROGRAM_DIR "/kwo-calibrate";

// The clip of 20 poses is rendered once for the whole program.
class CalibrateTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new kwo::test::TempDir;
        clip = new kwo::test::CalibrationClip(kwo::test::writeCalibrationClip(folder->file("board.mkv"), 20, 3));
    }
    static void TearDownTestSuite() {
        delete clip;
        delete folder;
    }
    static kwo::test::TempDir* folder;
    static kwo::test::CalibrationClip* clip;
};
kwo::test::TempDir* CalibrateTool::folder = nullptr;
kwo::test::CalibrationClip* CalibrateTool::clip = nullptr;

cv::Point2d observedThrough(const ARParam& camera, const cv::Point3d& ray) {
    const double ix = camera.mat[0][0] * ray.x / ray.z + camera.mat[0][1] * ray.y / ray.z + camera.mat[0][2];
    const double iy = camera.mat[1][1] * ray.y / ray.z + camera.mat[1][2];
    cv::Point2d observed;
    kwo::ar::idealToObserved(camera.dist_factor, ix, iy, observed.x, observed.y);
    return observed;
}

cv::Point3d rayOf(const ARParam& camera, const cv::Point2d& observed) {
    double ix, iy;
    kwo::ar::observedToIdeal(camera.dist_factor, observed.x, observed.y, ix, iy);
    const double y = (iy - camera.mat[1][2]) / camera.mat[1][1];
    const double x = (ix - camera.mat[0][2] - camera.mat[0][1] * y) / camera.mat[0][0];
    return {x, y, 1};
}

TEST_F(CalibrateTool, RecoversTheCameraTheClipWasRenderedThrough) {
    const std::string output = folder->file("camera.dat");
    const ProcessResult result = run({tool, "--video", folder->file("board.mkv"), "--output", output, "--no-window",
                                      "--views", "40"},
                                     "", {}, std::chrono::minutes(5));
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    std::vector<ARParam> records;
    std::string error;
    ASSERT_TRUE(kwo::ar::readCalibrationFile(output, 1, records, &error)) << error;
    EXPECT_EQ(std::filesystem::file_size(output), 136u);
    const ARParam& found = records[0];
    const ARParam& truth = clip->camera;
    EXPECT_EQ(found.xsize, 640);
    EXPECT_EQ(found.ysize, 480);

    // The scale and the focal lengths only say together how far a ray lands
    // from the lens centre; compared at scale 1, as the true camera has it.
    const double s = found.dist_factor[3];
    const double fx = found.mat[0][0] * s, fy = found.mat[1][1] * s;
    const double cx = found.dist_factor[0] + s * (found.mat[0][2] - found.dist_factor[0]);
    const double cy = found.dist_factor[1] + s * (found.mat[1][2] - found.dist_factor[1]);
    EXPECT_NEAR(fx / truth.mat[0][0], 1, 0.01) << "fx " << fx;
    EXPECT_NEAR(fy / truth.mat[1][1], 1, 0.01) << "fy " << fy;
    EXPECT_NEAR(cx / truth.mat[0][2], 1, 0.01) << "cx " << cx;
    EXPECT_NEAR(cy / truth.mat[1][2], 1, 0.01) << "cy " << cy;

    // The tracker finds each pose itself from the corners it sees: every
    // pose's true corners, undistorted with the written lens, fitted with a
    // pose through the written intrinsics and projected back through the
    // lens, land on themselves. (A principal point off by a pixel is a
    // camera turned by a fraction of a degree: no picture tells them apart,
    // and no pose the tracker computes suffers from it.)
    const cv::Matx33d intrinsics(found.mat[0][0], found.mat[0][1], found.mat[0][2], 0, found.mat[1][1],
                                 found.mat[1][2], 0, 0, 1);
    const std::vector<cv::Point3f> board = clip->board.cornerPositions();
    double worst = 0, sum = 0, worstRay = 0;
    int count = 0;
    for (const auto& pose : clip->corners) {
        std::vector<cv::Point2d> ideal;
        for (const cv::Point2d& corner : pose) {
            cv::Point2d p;
            kwo::ar::observedToIdeal(found.dist_factor, corner.x, corner.y, p.x, p.y);
            ideal.push_back(p);
        }
        cv::Mat rotation, translation;
        ASSERT_TRUE(cv::solvePnP(board, ideal, intrinsics, cv::noArray(), rotation, translation));
        std::vector<cv::Point2d> projected;
        cv::projectPoints(std::vector<cv::Point3d>(board.begin(), board.end()), rotation, translation, intrinsics,
                          cv::noArray(), projected);
        for (std::size_t i = 0; i < pose.size(); ++i) {
            cv::Point2d landed;
            kwo::ar::idealToObserved(found.dist_factor, projected[i].x, projected[i].y, landed.x, landed.y);
            const double error = cv::norm(landed - pose[i]);
            worst = std::max(worst, error);
            sum += error * error;
            ++count;
            // The same corner's true ray through the written calibration.
            worstRay = std::max(worstRay, cv::norm(observedThrough(found, rayOf(truth, pose[i])) - pose[i]));
        }
    }
    EXPECT_LT(worst, 0.3) << "RMS " << std::sqrt(sum / count);
    std::printf("recovered fx %.3f fy %.3f cx %.3f cy %.3f (scale-1 form), distortion %.3f %.3f %.4f %.6f;\n"
                "true fx %.3f fy %.3f cx %.3f cy %.3f, distortion %.3f %.3f %.4f %.6f;\n"
                "true corners refitted land within %.3f px (RMS %.3f px); true rays land within %.3f px\n",
                fx, fy, cx, cy, found.dist_factor[0], found.dist_factor[1], found.dist_factor[2], s, truth.mat[0][0],
                truth.mat[1][1], truth.mat[0][2], truth.mat[1][2], truth.dist_factor[0], truth.dist_factor[1],
                truth.dist_factor[2], truth.dist_factor[3], worst, std::sqrt(sum / count), worstRay);

    // What the technician reads: the figures and the error.
    for (const char* text : {"fx ", "fy ", "cx ", "cy ", "distortion: centre x", "factor", "scale",
                             "reprojection error with the tracker's model: RMS", "Camera file written"})
        EXPECT_NE(result.out.find(text), std::string::npos) << text << " missing from\n" << result.out;
    EXPECT_NE(result.out.find("View 20 taken"), std::string::npos) << result.out;
}

} // namespace
