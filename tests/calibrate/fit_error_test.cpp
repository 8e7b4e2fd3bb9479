// The fit against a camera of another model than the tracker's (OpenCV's
// radial factor about the principal point, different focal lengths across
// and down), on corners given exactly or with known noise: how close it
// comes, and what the error on held-out views says.

#include "tools/calibrate/camera_fit.h"
#include "tools/synthetic/board_video.h"
#include "tracking/ar/calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using kwo::calibrate::BoardView;

struct Recording {
    kwo::synthetic::BoardCamera camera;
    std::vector<BoardView> views;
    std::vector<cv::Point3f> board;
};

// The true corners of the careful technician's 25 poses, with Gaussian
// noise of `noise` pixels.
Recording recording(double noise) {
    static const kwo::synthetic::BoardVideoRenderer renderer{kwo::synthetic::BoardVideoSettings{}};
    Recording r{renderer.settings().camera, {}, renderer.settings().board.cornerPositions()};
    std::minstd_rand random(7);
    std::normal_distribution<double> error(0, noise);
    for (const kwo::synthetic::BoardPose& pose : kwo::synthetic::thoroughPoses(renderer)) {
        BoardView view;
        for (const cv::Point2d& p : renderer.trueCorners(pose))
            view.emplace_back(static_cast<float>(p.x + error(random)), static_cast<float>(p.y + error(random)));
        r.views.push_back(std::move(view));
    }
    return r;
}

TEST(FitError, ExactCornersOfAnotherLensModelGiveItsCamera) {
    const Recording r = recording(0);
    const auto fit = kwo::calibrate::fitCamera(r.views, r.board, r.camera.size);
    ASSERT_TRUE(fit);
    const ARParam& p = fit->param;
    const double s = p.dist_factor[3];
    EXPECT_NEAR(p.mat[0][0] * s / r.camera.fx, 1, 2e-4);
    EXPECT_NEAR(p.mat[1][1] * s / r.camera.fy, 1, 2e-4);
    cv::Point2d axis;
    kwo::ar::idealToObserved(p.dist_factor, p.mat[0][2], p.mat[1][2], axis.x, axis.y);
    EXPECT_NEAR(axis.x, r.camera.cx, 0.1);
    EXPECT_NEAR(axis.y, r.camera.cy, 0.1);
    // One factor in pixels stands for OpenCV's k1 in normalised units: the
    // same barrel to within the two focal lengths' difference.
    EXPECT_NEAR(p.dist_factor[2] * s * s / 1e8, -r.camera.k1 / (r.camera.fx * r.camera.fy), 2e-9);
    EXPECT_LT(fit->trackerRms, 0.02);
}

TEST(FitError, HeldOutViewsShowTheNoiseTheFitPartlyFollows) {
    // Noise of 0.2 px across and down puts a corner 0.28 px off on average
    // (the errors are distances). The fit's own error comes out below that
    // (the camera and the poses bend toward the noise); views left out of
    // the fit come out above it, and closer to it.
    const double perCorner = 0.2 * std::sqrt(2.0);
    for (std::size_t count : {10u, 25u}) {
        Recording r = recording(0.2);
        r.views.resize(count);
        const auto fit = kwo::calibrate::fitCamera(r.views, r.board, r.camera.size);
        ASSERT_TRUE(fit) << count;
        const double heldOut = kwo::calibrate::heldOutError(*fit, r.views, r.board);
        EXPECT_LT(fit->trackerRms, perCorner) << count;
        EXPECT_GT(heldOut, fit->trackerRms) << count;
        EXPECT_NEAR(heldOut, perCorner, 0.02) << count;
        std::printf("%zu views: fit %.4f px, held out %.4f px\n", count, fit->trackerRms, heldOut);
    }
    // Nothing to hold out from a single view.
    const Recording r = recording(0);
    const auto fit = kwo::calibrate::fitCamera(r.views, r.board, r.camera.size);
    ASSERT_TRUE(fit);
    EXPECT_LT(kwo::calibrate::heldOutError(*fit, {r.views[0]}, r.board), 0);
}

} // namespace
