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

double rmsOf(const cv::Mat& residuals) {
    return std::sqrt(residuals.dot(residuals) / std::max(1, residuals.rows / 2));
}

struct Estimate {
    cv::Matx33d camera;
    double distFactor[4];
    Poses poses;
    double rms;
};

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
    cv::Mat camera = cv::Mat::eye(3, 3, CV_64F), distortion;
    Poses poses;
    double openCvRms = 0;
    try {
        openCvRms = cv::calibrateCamera(objectPoints, views, frameSize, camera, distortion, poses.rotations,
                                        poses.translations, cv::CALIB_FIX_K3);
    } catch (const cv::Exception& e) {
        return refuse(std::string("the calibration failed (") + e.err + ")");
    }
    if (!std::isfinite(openCvRms)) return refuse("the calibration failed (no finite error)");

    // 2. The tracker's lens fitted to those intrinsics and poses, starting
    //    from no distortion about the principal point.
    Estimate best{cv::Matx33d(camera), {camera.at<double>(0, 2), camera.at<double>(1, 2), 0, 1}, poses, 0};
    best.rms = fitTrackerLens(idealCorners(best.camera, poses, corners, views.size()), observed, best.distFactor);

    // 3. Refine: undistort the corners with the tracker's lens, calibrate a
    //    pinhole camera on them, fit the lens again; keep the best round.
    //    The scale stays as first fitted: together with the focal lengths it
    //    only says once what either says alone.
    Estimate current = best;
    for (int round = 0; round < 8; ++round) {
        std::vector<std::vector<cv::Point2f>> undistorted;
        std::size_t k = 0;
        for (std::size_t v = 0; v < views.size(); ++v) {
            std::vector<cv::Point2f> view;
            for (std::size_t i = 0; i < corners.size(); ++i, ++k) {
                double ix, iy;
                kwo::ar::observedToIdeal(current.distFactor, observed[k].x, observed[k].y, ix, iy);
                view.emplace_back(static_cast<float>(ix), static_cast<float>(iy));
            }
            undistorted.push_back(std::move(view));
        }
        cv::Mat pinhole(current.camera), none = cv::Mat::zeros(5, 1, CV_64F);
        Poses refined;
        try {
            cv::calibrateCamera(objectPoints, undistorted, frameSize, pinhole, none, refined.rotations,
                                refined.translations,
                                cv::CALIB_USE_INTRINSIC_GUESS | cv::CALIB_FIX_K1 | cv::CALIB_FIX_K2 |
                                    cv::CALIB_FIX_K3 | cv::CALIB_ZERO_TANGENT_DIST);
        } catch (const cv::Exception&) {
            break;
        }
        Estimate next{cv::Matx33d(pinhole), {}, refined, 0};
        std::copy(current.distFactor, current.distFactor + 4, next.distFactor);
        const std::vector<cv::Point2d> ideal = idealCorners(next.camera, refined, corners, views.size());
        next.rms = fitTrackerLens(ideal, observed, next.distFactor, false);
        if (!(next.rms < current.rms - 1e-6)) {
            if (next.rms < best.rms) best = next;
            break;
        }
        current = next;
        if (current.rms < best.rms) best = current;
    }

    CameraFit fit;
    fit.openCvRms = openCvRms;
    fit.trackerRms = best.rms;
    ARParam& p = fit.param;
    p.xsize = frameSize.width;
    p.ysize = frameSize.height;
    const double mat[3][4] = {{best.camera(0, 0), best.camera(0, 1), best.camera(0, 2), 0},
                              {0, best.camera(1, 1), best.camera(1, 2), 0},
                              {0, 0, 1, 0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) p.mat[r][c] = mat[r][c];
    std::copy(best.distFactor, best.distFactor + 4, p.dist_factor);
    const std::vector<cv::Point2d> ideal = idealCorners(best.camera, best.poses, corners, views.size());
    for (std::size_t i = 0; i < ideal.size(); ++i) {
        const cv::Point2d o = toObserved(best.distFactor, ideal[i]);
        fit.worstError = std::max(fit.worstError, std::hypot(o.x - observed[i].x, o.y - observed[i].y));
    }
    std::string reason;
    if (!kwo::ar::checkCalibration(p, &reason)) return refuse("the result is not a usable camera (" + reason + ")");
    return fit;
}

} // namespace kwo::calibrate
