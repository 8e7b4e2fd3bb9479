#include "tools/calibrate/bundle_fit.h"

#include "tracking/ar/calibration.h"

#include <opencv2/calib3d.hpp>

#include <algorithm>
#include <cmath>

namespace kwo::calibrate {

namespace {

// The camera's values as one vector: fx, fy, cx, cy, lens centre x and y,
// lens factor. The lens scale stays as given: with the focal lengths it only
// says once more what they say.
constexpr int cameraValues = 7;
constexpr int poseValues = 6;
// Central-difference steps, each suited to its value's size and effect.
constexpr double cameraSteps[cameraValues] = {1e-3, 1e-3, 1e-3, 1e-3, 1e-3, 1e-3, 1e-3};
constexpr double poseSteps[poseValues] = {1e-6, 1e-6, 1e-6, 1e-4, 1e-4, 1e-4};

struct Values {
    double camera[cameraValues];
    std::vector<cv::Vec6d> poses; // rotation vector, translation
};

TrackerCamera cameraOf(const double v[cameraValues], double scale) {
    TrackerCamera camera;
    camera.fx = v[0];
    camera.fy = v[1];
    camera.cx = v[2];
    camera.cy = v[3];
    camera.distFactor[0] = v[4];
    camera.distFactor[1] = v[5];
    camera.distFactor[2] = v[6];
    camera.distFactor[3] = scale;
    return camera;
}

// Observed minus projected, x and y interleaved, for one view.
void viewResiduals(const TrackerCamera& camera, const cv::Vec6d& pose, const std::vector<cv::Point3d>& board,
                   const std::vector<cv::Point2d>& observed, double* out) {
    const BoardPose p{{pose[0], pose[1], pose[2]}, {pose[3], pose[4], pose[5]}};
    const std::vector<cv::Point2d> projected = projectBoard(camera, p, board);
    for (std::size_t i = 0; i < projected.size(); ++i) {
        out[2 * i] = projected[i].x - observed[i].x;
        out[2 * i + 1] = projected[i].y - observed[i].y;
    }
}

class Bundle {
public:
    Bundle(const std::vector<cv::Point3d>& board, const std::vector<std::vector<cv::Point2d>>& observed, double scale,
           bool refineCamera)
        : board(board), observed(observed), scale(scale), rows(static_cast<int>(2 * board.size())),
          free(refineCamera ? cameraValues : 0) {}

    double cost(const Values& v) const {
        const TrackerCamera camera = cameraOf(v.camera, scale);
        std::vector<double> r(static_cast<std::size_t>(rows));
        double sum = 0;
        for (std::size_t view = 0; view < observed.size(); ++view) {
            viewResiduals(camera, v.poses[view], board, observed[view], r.data());
            for (double e : r) sum += e * e;
        }
        return sum;
    }

    // Runs Levenberg-Marquardt with Marquardt's scaling; the poses' 6 x 6
    // blocks are eliminated view by view (the Schur complement), so the
    // work grows with the views, not with their cube.
    void solve(Values& v) const {
        const int n = free;
        const std::size_t views = observed.size();
        double current = cost(v);
        double damping = 1e-3;
        for (int iteration = 0; iteration < 100 && current > 0; ++iteration) {
            // Normal equations: U (camera), W (camera x pose), V (pose blocks).
            cv::Mat U = cv::Mat::zeros(n, n, CV_64F), gu = cv::Mat::zeros(n, 1, CV_64F);
            std::vector<cv::Mat> W(views), V(views), gv(views);
            const TrackerCamera camera = cameraOf(v.camera, scale);
            std::vector<cv::Mat> cameraColumns(static_cast<std::size_t>(n));
            for (int j = 0; j < n; ++j) cameraColumns[static_cast<std::size_t>(j)] = cameraDerivative(v, j);
            for (std::size_t view = 0; view < views; ++view) {
                cv::Mat r(rows, 1, CV_64F);
                viewResiduals(camera, v.poses[view], board, observed[view], r.ptr<double>());
                cv::Mat jc(rows, n, CV_64F), jp(rows, poseValues, CV_64F);
                for (int j = 0; j < n; ++j)
                    cameraColumns[static_cast<std::size_t>(j)].rowRange(static_cast<int>(view) * rows,
                                                                         static_cast<int>(view + 1) * rows)
                        .copyTo(jc.col(j));
                for (int k = 0; k < poseValues; ++k) {
                    cv::Vec6d plus = v.poses[view], minus = v.poses[view];
                    plus[k] += poseSteps[k];
                    minus[k] -= poseSteps[k];
                    cv::Mat rp(rows, 1, CV_64F), rm(rows, 1, CV_64F);
                    viewResiduals(camera, plus, board, observed[view], rp.ptr<double>());
                    viewResiduals(camera, minus, board, observed[view], rm.ptr<double>());
                    cv::Mat column = (rp - rm) / (2 * poseSteps[k]);
                    column.copyTo(jp.col(k));
                }
                if (n > 0) {
                    U += jc.t() * jc;
                    gu += jc.t() * r;
                    W[view] = jc.t() * jp;
                }
                V[view] = jp.t() * jp;
                gv[view] = jp.t() * r;
            }
            bool improved = false;
            while (damping < 1e12) {
                Values trial = v;
                if (!step(U, gu, W, V, gv, damping, trial)) {
                    damping *= 10;
                    continue;
                }
                const double trialCost = cost(trial);
                if (std::isfinite(trialCost) && trialCost < current) {
                    const double gain = (current - trialCost) / current;
                    v = trial;
                    current = trialCost;
                    damping = std::max(1e-9, damping / 10);
                    improved = gain > 1e-12;
                    break;
                }
                damping *= 10;
            }
            if (!improved) break;
        }
    }

    int corners() const { return static_cast<int>(observed.size() * board.size()); }

private:
    // d(residuals)/d(camera value k) over every view, stacked.
    cv::Mat cameraDerivative(const Values& v, int k) const {
        cv::Mat column(static_cast<int>(observed.size()) * rows, 1, CV_64F);
        double plus[cameraValues], minus[cameraValues];
        std::copy(v.camera, v.camera + cameraValues, plus);
        std::copy(v.camera, v.camera + cameraValues, minus);
        plus[k] += cameraSteps[k];
        minus[k] -= cameraSteps[k];
        const TrackerCamera up = cameraOf(plus, scale);
        const TrackerCamera down = cameraOf(minus, scale);
        std::vector<double> rp(static_cast<std::size_t>(rows)), rm(static_cast<std::size_t>(rows));
        for (std::size_t view = 0; view < observed.size(); ++view) {
            viewResiduals(up, v.poses[view], board, observed[view], rp.data());
            viewResiduals(down, v.poses[view], board, observed[view], rm.data());
            for (int i = 0; i < rows; ++i)
                column.at<double>(static_cast<int>(view) * rows + i) =
                    (rp[static_cast<std::size_t>(i)] - rm[static_cast<std::size_t>(i)]) / (2 * cameraSteps[k]);
        }
        return column;
    }

    // One damped step (the system's diagonal scaled by 1 + damping); false
    // when a block cannot be solved.
    bool step(const cv::Mat& U, const cv::Mat& gu, const std::vector<cv::Mat>& W, const std::vector<cv::Mat>& V,
              const std::vector<cv::Mat>& gv, double damping, Values& v) const {
        const int n = U.rows;
        const std::size_t views = V.size();
        std::vector<cv::Mat> inverse(views);
        cv::Mat S, rhs;
        if (n > 0) {
            S = U.clone();
            rhs = -gu;
            for (int k = 0; k < n; ++k) S.at<double>(k, k) *= 1 + damping;
        }
        for (std::size_t view = 0; view < views; ++view) {
            cv::Mat block = V[view].clone();
            for (int k = 0; k < poseValues; ++k) block.at<double>(k, k) = block.at<double>(k, k) * (1 + damping) + 1e-12;
            if (cv::invert(block, inverse[view], cv::DECOMP_CHOLESKY) == 0) return false;
            if (n > 0) {
                S -= W[view] * inverse[view] * W[view].t();
                rhs += W[view] * inverse[view] * gv[view];
            }
        }
        cv::Mat du;
        if (n > 0 && !cv::solve(S, rhs, du, cv::DECOMP_CHOLESKY)) return false;
        for (int j = 0; j < n; ++j) v.camera[j] += du.at<double>(j);
        for (std::size_t view = 0; view < views; ++view) {
            cv::Mat b = -gv[view];
            if (n > 0) b -= W[view].t() * du;
            const cv::Mat dp = inverse[view] * b;
            for (int k = 0; k < poseValues; ++k) v.poses[view][k] += dp.at<double>(k);
        }
        return true;
    }

    const std::vector<cv::Point3d>& board;
    const std::vector<std::vector<cv::Point2d>>& observed;
    const double scale;
    const int rows; // residuals per view
    const int free; // camera values refined: all or none
};

} // namespace

std::vector<cv::Point2d> projectBoard(const TrackerCamera& camera, const BoardPose& pose,
                                      const std::vector<cv::Point3d>& board) {
    cv::Matx33d rotation;
    cv::Rodrigues(pose.rotation, rotation);
    std::vector<cv::Point2d> projected;
    projected.reserve(board.size());
    for (const cv::Point3d& p : board) {
        const cv::Vec3d c = rotation * cv::Vec3d(p.x, p.y, p.z) + pose.translation;
        const double ix = camera.fx * c[0] / c[2] + camera.cx, iy = camera.fy * c[1] / c[2] + camera.cy;
        cv::Point2d o;
        kwo::ar::idealToObserved(camera.distFactor, ix, iy, o.x, o.y);
        projected.push_back(o);
    }
    return projected;
}

double refineBundle(TrackerCamera& camera, std::vector<BoardPose>& poses, const std::vector<cv::Point3d>& board,
                    const std::vector<std::vector<cv::Point2d>>& observed, bool refineCamera) {
    Values values{{camera.fx, camera.fy, camera.cx, camera.cy, camera.distFactor[0], camera.distFactor[1],
                   camera.distFactor[2]},
                  {}};
    for (const BoardPose& pose : poses)
        values.poses.emplace_back(pose.rotation[0], pose.rotation[1], pose.rotation[2], pose.translation[0],
                                  pose.translation[1], pose.translation[2]);
    const Bundle bundle(board, observed, camera.distFactor[3], refineCamera);
    bundle.solve(values);
    camera = cameraOf(values.camera, camera.distFactor[3]);
    for (std::size_t view = 0; view < poses.size(); ++view) {
        const cv::Vec6d& p = values.poses[view];
        poses[view] = {{p[0], p[1], p[2]}, {p[3], p[4], p[5]}};
    }
    return std::sqrt(bundle.cost(values) / std::max(1, bundle.corners()));
}

} // namespace kwo::calibrate
