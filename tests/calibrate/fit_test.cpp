// The fit of the tracker's lens and of the whole camera on exact corner
// positions: what the program computes, without detection in the way.

#include "tools/calibrate/camera_fit.h"
#include "tools/calibrate/chessboard.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/calibration.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct Lens {
    const char* name;
    double d[4];
};

class TrackerLensFit : public ::testing::TestWithParam<Lens> {};

TEST_P(TrackerLensFit, RecoversTheLensFromExactPairs) {
    const Lens& lens = GetParam();
    std::vector<cv::Point2d> ideal, observed;
    for (int y = -20; y <= 500; y += 26)
        for (int x = -20; x <= 660; x += 34) {
            cv::Point2d o;
            kwo::ar::idealToObserved(lens.d, x, y, o.x, o.y);
            ideal.emplace_back(x, y);
            observed.push_back(o);
        }
    double d[4] = {320, 240, 0, 1};
    const double rms = kwo::calibrate::fitTrackerLens(ideal, observed, d);
    EXPECT_LT(rms, 1e-6);
    EXPECT_NEAR(d[0], lens.d[0], 1e-3);
    EXPECT_NEAR(d[1], lens.d[1], 1e-3);
    EXPECT_NEAR(d[2], lens.d[2], 1e-3);
    EXPECT_NEAR(d[3], lens.d[3], 1e-6);
}

INSTANTIATE_TEST_SUITE_P(Lenses, TrackerLensFit,
                         ::testing::Values(Lens{"none", {320, 240, 0, 1}}, Lens{"barrel", {331, 247, 60, 1}},
                                           Lens{"strongBarrelOffCentre", {300, 270, 150, 0.97}},
                                           Lens{"pincushion", {322, 236, -40, 1.02}}),
                         [](const auto& info) { return std::string(info.param.name); });

// Exact corners of a 9x6 board at 15 poses through a known camera.
std::vector<kwo::calibrate::BoardView> exactViews(const ARParam& camera, const kwo::calibrate::Chessboard& board) {
    std::vector<kwo::calibrate::BoardView> views;
    for (int i = 0; i < 15; ++i) {
        double pose[3][4];
        kwo::synthetic::makePose((i % 5 - 2) * 14, (i % 3 - 1) * 22, (i % 4) * 8, (i % 3 - 1) * 80,
                                 (i % 2 ? 50 : -50), 600 + 40 * (i % 4), pose);
        kwo::calibrate::BoardView view;
        for (const cv::Point3f& p : board.cornerPositions()) {
            double ideal[2], observed[2];
            // Board millimetres about its centre, y up.
            kwo::synthetic::projectPoint(camera, pose, p.x - board.widthMm() / 2, board.heightMm() / 2 - p.y, ideal,
                                         observed);
            view.emplace_back(static_cast<float>(observed[0]), static_cast<float>(observed[1]));
        }
        views.push_back(std::move(view));
    }
    return views;
}

TEST(CameraFit, RecoversIntrinsicsAndLensFromExactCorners) {
    ARParam camera{};
    camera.xsize = 640;
    camera.ysize = 480;
    const double mat[3][4] = {{615, 0, 326, 0}, {0, 611, 236, 0}, {0, 0, 1, 0}};
    std::copy(&mat[0][0], &mat[0][0] + 12, &camera.mat[0][0]);
    const double lens[4] = {331, 247, 60, 1};
    std::copy(lens, lens + 4, camera.dist_factor);
    const kwo::calibrate::Chessboard board;
    const auto fit = kwo::calibrate::fitCamera(exactViews(camera, board), board.cornerPositions(), {640, 480});
    ASSERT_TRUE(fit);
    const double s = fit->param.dist_factor[3];
    EXPECT_NEAR(fit->param.mat[0][0] * s, 615, 615 * 0.002);
    EXPECT_NEAR(fit->param.mat[1][1] * s, 611, 611 * 0.002);
    EXPECT_NEAR(fit->param.mat[0][2], 326, 0.2);
    EXPECT_NEAR(fit->param.mat[1][2], 236, 0.2);
    EXPECT_NEAR(fit->param.dist_factor[0], 331, 0.2);
    EXPECT_NEAR(fit->param.dist_factor[1], 247, 0.2);
    EXPECT_NEAR(fit->param.dist_factor[2], 60, 0.5);
    // Corner positions are stored as floats: about 1e-5 px of rounding.
    EXPECT_LT(fit->trackerRms, 0.005);
    EXPECT_LT(fit->worstError, 0.02);
    EXPECT_EQ(fit->param.xsize, 640);
    EXPECT_EQ(fit->param.ysize, 480);
}

TEST(CameraFit, RefusesTooFewOrIncompleteViews) {
    const kwo::calibrate::Chessboard board;
    std::string why;
    const kwo::calibrate::BoardView someView(54, cv::Point2f(10, 10));
    EXPECT_FALSE(kwo::calibrate::fitCamera({someView, someView}, board.cornerPositions(), {640, 480}, &why));
    EXPECT_NE(why.find("at least 3 views"), std::string::npos) << why;
    const kwo::calibrate::BoardView shortView(20, cv::Point2f(10, 10));
    EXPECT_FALSE(kwo::calibrate::fitCamera({someView, someView, shortView}, board.cornerPositions(), {640, 480}, &why));
    EXPECT_NE(why.find("every corner"), std::string::npos) << why;
}

} // namespace
