#include "tools/calibrate/camera_fit.h"

#include "tracking/ar/calibration.h"

#include <opencv2/calib3d.hpp>

#include <cmath>

namespace kwo::calibrate {

namespace {

struct Poses {
    std::vector<cv::Mat> rotations, translations;
};

// Ideal pixels of every corner of every view through a pinhole camera.
std::vector<cv::Point2d> idealCorners(const cv::Matx33d& camera, const Poses& poses,
                                      const std::vector<cv::Point3f>& corners, std::size_t viewCount) {
    std::vector<cv::Point2d> ideal;
    for (std::size_t v = 0; v < viewCount; ++v) {
        // In double precision: the fit resolves hundredths of a pixel.
        std::vector<cv::Point3d> board(corners.begin(), corners.end());
        std::vector<cv::Point2d> projected;
        cv::projectPoints(board, poses.rotations[v], poses.translations[v], camera, cv::noArray(), projected);
        ideal.insert(ideal.end(), projected.begin(), projected.end());
    }
    return ideal;
}

cv::Point2d toObserved(const double d[4], const cv::Point2d& ideal) {
    cv::Point2d observed;
    kwo::ar::idealToObserved(d, ideal.x, ideal.y, observed.x, observed.y);
    return observed;
}

// Residuals of the tracker's model, x and y interleaved.
void lensResiduals(const std::vector<cv::Point2d>& ideal, const std::vector<cv::Point2d>& observed, const double d[4],
                   cv::Mat& residuals) {
    residuals.create(static_cast<int>(ideal.size() * 2), 1, CV_64F);
    for (std::size_t i = 0; i < ideal.size(); ++i) {
        const cv::Point2d o = toObserved(d, ideal[i]);
        residuals.at<double>(static_cast<int>(2 * i)) = o.x - observed[i].x;
        residuals.at<double>(static_cast<int>(2 * i + 1)) = o.y - observed[i].y;
    }
}

std::vector<std::vector<cv::Point2d>> asDouble(const std::vector<BoardView>& views) {
    std::vector<std::vector<cv::Point2d>> result;
    for (const BoardView& view : views) result.emplace_back(view.begin(), view.end());
    return result;
}

double rmsOf(const cv::Mat& residuals) {
    return std::sqrt(residuals.dot(residuals) / std::max(1, residuals.rows / 2));
}

// Levenberg-Marquardt over the values of `distFactor` whose `free` flag is
// set, with a numerical Jacobian whose steps suit each value's size (pixels
// for the centre, the factor in units of 1e-8 per squared pixel, the scale
// near 1). Returns the RMS error.
double fitLensValues(const std::vector<cv::Point2d>& ideal, const std::vector<cv::Point2d>& observed,
                     double distFactor[4], const bool free[4]) {
    const double steps[4] = {1e-3, 1e-3, 1e-3, 1e-7};
    double d[4] = {distFactor[0], distFactor[1], distFactor[2], distFactor[3]};
    cv::Mat residuals;
    lensResiduals(ideal, observed, d, residuals);
    double cost = residuals.dot(residuals);
    double damping = 1e-3;
    int index[4], count = 0;
    for (int k = 0; k < 4; ++k)
        if (free[k]) index[count++] = k;
    const int n = residuals.rows;
    for (int iteration = 0; iteration < 100; ++iteration) {
        cv::Mat jacobian(n, count, CV_64F);
        for (int j = 0; j < count; ++j) {
            const int k = index[j];
            double plus[4] = {d[0], d[1], d[2], d[3]}, minus[4] = {d[0], d[1], d[2], d[3]};
            plus[k] += steps[k];
            minus[k] -= steps[k];
            cv::Mat rp, rm;
            lensResiduals(ideal, observed, plus, rp);
            lensResiduals(ideal, observed, minus, rm);
            cv::Mat column = (rp - rm) / (2 * steps[k]);
            column.copyTo(jacobian.col(j));
        }
        const cv::Mat normal = jacobian.t() * jacobian, gradient = jacobian.t() * residuals;
        bool improved = false;
        while (damping < 1e12) {
            cv::Mat damped = normal.clone();
            for (int k = 0; k < count; ++k) damped.at<double>(k, k) *= 1 + damping;
            cv::Mat delta;
            if (!cv::solve(damped, -gradient, delta, cv::DECOMP_CHOLESKY)) {
                damping *= 10;
                continue;
            }
            double trial[4] = {d[0], d[1], d[2], d[3]};
            for (int j = 0; j < count; ++j) trial[index[j]] += delta.at<double>(j);
            cv::Mat trialResiduals;
            lensResiduals(ideal, observed, trial, trialResiduals);
            const double trialCost = trialResiduals.dot(trialResiduals);
            if (std::isfinite(trialCost) && trialCost < cost) {
                const double gain = (cost - trialCost) / cost;
                std::copy(trial, trial + 4, d);
                residuals = trialResiduals;
                cost = trialCost;
                damping = std::max(1e-9, damping / 10);
                improved = gain > 1e-12;
                break;
            }
            damping *= 10;
        }
        if (!improved) break;
    }
    std::copy(d, d + 4, distFactor);
    return rmsOf(residuals);
}

} // namespace

double fitTrackerLens(const std::vector<cv::Point2d>& ideal, const std::vector<cv::Point2d>& observed,
                      double distFactor[4], bool fitScale) {
    // Without a factor the centre hardly matters (it only shifts by its
    // distance times 1 - scale), so a fit that starts there can wander off
    // along that valley: the factor and the scale come first, about the
    // centre given, then everything together.
    const bool radialFirst[4] = {false, false, true, fitScale};
    fitLensValues(ideal, observed, distFactor, radialFirst);
    const bool all[4] = {true, true, true, fitScale};
    return fitLensValues(ideal, observed, distFactor, all);
}

std::optional<CameraFit> fitCamera(const std::vector<BoardView>& views, const std::vector<cv::Point3f>& corners,
                                   cv::Size frameSize, std::string* why) {
    auto refuse = [&](const std::string& text) {
        if (why) *why = text;
        return std::optional<CameraFit>();
    };
    if (views.size() < 3) return refuse("at least 3 views of the board are needed");
    std::vector<std::vector<cv::Point3f>> objectPoints(views.size(), corners);
    std::vector<cv::Point2d> observed;
    for (const BoardView& view : views) {
        if (view.size() != corners.size()) return refuse("a view does not hold every corner of the board");
        for (const cv::Point2f& p : view) observed.emplace_back(p.x, p.y);
    }

    // 1. OpenCV's calibration with its own lens model (no third radial term:
    //    with a few views it only fits the noise).
    cv::Mat openCvCamera = cv::Mat::eye(3, 3, CV_64F), distortion;
    Poses poses;
    double openCvRms = 0;
    try {
        openCvRms = cv::calibrateCamera(objectPoints, views, frameSize, openCvCamera, distortion, poses.rotations,
                                        poses.translations, cv::CALIB_FIX_K3);
    } catch (const cv::Exception& e) {
        return refuse(std::string("the calibration failed (") + e.err + ")");
    }
    if (!std::isfinite(openCvRms)) return refuse("the calibration failed (no finite error)");

    // 2. The tracker's lens fitted to those intrinsics and poses, starting
    //    from no distortion about the principal point.
    const cv::Matx33d k(openCvCamera);
    TrackerCamera camera{k(0, 0), k(1, 1), k(0, 2), k(1, 2), {k(0, 2), k(1, 2), 0, 1}};
    fitTrackerLens(idealCorners(k, poses, corners, views.size()), observed, camera.distFactor);

    // 3. Everything together: the camera in the tracker's model and every
    //    view's pose, on every corner at once.
    std::vector<BoardPose> boardPoses;
    for (std::size_t v = 0; v < views.size(); ++v)
        boardPoses.push_back({cv::Vec3d(poses.rotations[v]), cv::Vec3d(poses.translations[v])});
    const std::vector<cv::Point3d> board(corners.begin(), corners.end());
    const std::vector<std::vector<cv::Point2d>> observedViews = asDouble(views);

    CameraFit fit;
    fit.openCvRms = openCvRms;
    fit.trackerRms = refineBundle(camera, boardPoses, board, observedViews);
    fit.camera = camera;
    fit.poses = boardPoses;
    ARParam& p = fit.param;
    p.xsize = frameSize.width;
    p.ysize = frameSize.height;
    const double mat[3][4] = {{camera.fx, 0, camera.cx, 0}, {0, camera.fy, camera.cy, 0}, {0, 0, 1, 0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) p.mat[r][c] = mat[r][c];
    std::copy(camera.distFactor, camera.distFactor + 4, p.dist_factor);
    for (std::size_t v = 0; v < views.size(); ++v) {
        const std::vector<cv::Point2d> projected = projectBoard(camera, boardPoses[v], board);
        for (std::size_t i = 0; i < projected.size(); ++i)
            fit.worstError = std::max(fit.worstError, cv::norm(projected[i] - observedViews[v][i]));
    }
    std::string reason;
    if (!kwo::ar::checkCalibration(p, &reason)) return refuse("the result is not a usable camera (" + reason + ")");
    return fit;
}

double quickError(const std::vector<BoardView>& views, const std::vector<cv::Point3f>& corners, cv::Size frameSize) {
    if (views.size() < 3) return -1;
    cv::Mat camera = cv::Mat::eye(3, 3, CV_64F), distortion;
    std::vector<cv::Mat> rotations, translations;
    try {
        const double rms = cv::calibrateCamera(std::vector<std::vector<cv::Point3f>>(views.size(), corners), views,
                                               frameSize, camera, distortion, rotations, translations,
                                               cv::CALIB_FIX_K3);
        return std::isfinite(rms) ? rms : -1;
    } catch (const cv::Exception&) {
        return -1;
    }
}

double heldOutError(const CameraFit& fit, const std::vector<BoardView>& views, const std::vector<cv::Point3f>& corners,
                    int groups) {
    const std::size_t count = views.size();
    groups = std::min<int>(groups, static_cast<int>(count));
    if (groups < 2 || fit.poses.size() != count) return -1;
    const std::vector<cv::Point3d> board(corners.begin(), corners.end());
    const std::vector<std::vector<cv::Point2d>> observed = asDouble(views);
    double sum = 0;
    std::size_t judged = 0;
    for (int group = 0; group < groups; ++group) {
        // The camera again without this group's views (from the full fit:
        // the optimum does not depend on where the search starts)...
        std::vector<std::vector<cv::Point2d>> kept, left;
        std::vector<BoardPose> keptPoses, leftPoses;
        for (std::size_t v = 0; v < count; ++v) {
            const bool out = static_cast<int>(v % static_cast<std::size_t>(groups)) == group;
            (out ? left : kept).push_back(observed[v]);
            (out ? leftPoses : keptPoses).push_back(fit.poses[v]);
        }
        TrackerCamera camera = fit.camera;
        refineBundle(camera, keptPoses, board, kept);
        // ...then each left-out view's pose alone, with that camera held.
        const double rms = refineBundle(camera, leftPoses, board, left, false);
        sum += rms * rms * static_cast<double>(left.size() * board.size());
        judged += left.size() * board.size();
    }
    return std::sqrt(sum / static_cast<double>(judged));
}

} // namespace kwo::calibrate
