#include "tracking/ar/pose.h"
#include "tracking/ar/stages.h"

#include <opencv2/calib3d.hpp>

#include <algorithm>
#include <cmath>

namespace kwo::ar {
namespace {

struct Pose {
    cv::Matx33d rotation;
    cv::Vec3d translation;
};

// Mean squared reprojection error per corner, pixels squared; infinite when a
// corner falls behind the camera.
double fitError(const cv::Matx33d& k, const Pose& pose, const std::vector<cv::Point3d>& object,
                const std::vector<cv::Point2d>& image) {
    double sum = 0;
    for (std::size_t i = 0; i < object.size(); ++i) {
        const cv::Vec3d p = pose.rotation * cv::Vec3d(object[i].x, object[i].y, object[i].z) + pose.translation;
        if (!(p[2] > 0)) return INFINITY;
        const cv::Vec3d q = k * p;
        const double dx = q[0] / q[2] - image[i].x, dy = q[1] / q[2] - image[i].y;
        sum += dx * dx + dy * dy;
    }
    return sum / object.size();
}

Pose fromVectors(const cv::Mat& rvec, const cv::Mat& tvec) {
    Pose pose;
    cv::Mat r;
    cv::Rodrigues(rvec, r);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) pose.rotation(i, j) = r.at<double>(i, j);
        pose.translation[i] = tvec.at<double>(i);
    }
    return pose;
}

bool isFinite(const Pose& pose) {
    for (int i = 0; i < 9; ++i)
        if (!std::isfinite(pose.rotation.val[i])) return false;
    for (int i = 0; i < 3; ++i)
        if (!std::isfinite(pose.translation[i])) return false;
    return true;
}

// Residuals (x and y per corner) of a pose.
void residuals(const cv::Matx33d& k, const cv::Matx33d& r, const cv::Vec3d& t, const std::vector<cv::Point3d>& object,
               const std::vector<cv::Point2d>& image, double out[8]) {
    for (int i = 0; i < 4; ++i) {
        const cv::Vec3d q = k * (r * cv::Vec3d(object[i].x, object[i].y, object[i].z) + t);
        out[2 * i] = q[0] / q[2] - image[i].x;
        out[2 * i + 1] = q[1] / q[2] - image[i].y;
    }
}

// The rotation by the vector (wx, wy, wz) (Rodrigues' formula), written out:
// the refinement builds several per iteration, and the general converter's
// array handling costs more than the arithmetic.
cv::Matx33d smallRotation(double wx, double wy, double wz) {
    const double angle2 = wx * wx + wy * wy + wz * wz;
    double a, b; // sin(angle) / angle, (1 - cos(angle)) / angle^2
    if (angle2 < 1e-8) {
        a = 1 - angle2 / 6;
        b = 0.5 - angle2 / 24;
    } else {
        const double angle = std::sqrt(angle2);
        a = std::sin(angle) / angle;
        b = (1 - std::cos(angle)) / angle2;
    }
    return cv::Matx33d(1 - b * (wy * wy + wz * wz), -a * wz + b * wx * wy, a * wy + b * wx * wz,
                       a * wz + b * wx * wy, 1 - b * (wx * wx + wz * wz), -a * wx + b * wy * wz,
                       -a * wy + b * wx * wz, a * wx + b * wy * wz, 1 - b * (wx * wx + wy * wy));
}

// Solves the symmetric positive definite system a x = y by Cholesky
// factorisation; false when a is not positive definite.
bool solveSymmetric(const cv::Matx66d& a, const cv::Vec6d& y, cv::Vec6d& x) {
    double l[6][6] = {};
    for (int i = 0; i < 6; ++i)
        for (int j = 0; j <= i; ++j) {
            double sum = a(i, j);
            for (int k = 0; k < j; ++k) sum -= l[i][k] * l[j][k];
            if (i == j) {
                if (!(sum > 0)) return false;
                l[i][i] = std::sqrt(sum);
            } else {
                l[i][j] = sum / l[j][j];
            }
        }
    double z[6];
    for (int i = 0; i < 6; ++i) {
        double sum = y[i];
        for (int k = 0; k < i; ++k) sum -= l[i][k] * z[k];
        z[i] = sum / l[i][i];
    }
    for (int i = 5; i >= 0; --i) {
        double sum = z[i];
        for (int k = i + 1; k < 6; ++k) sum -= l[k][i] * x[k];
        x[i] = sum / l[i][i];
    }
    return true;
}

// Refines a pose on the reprojection error: Levenberg-Marquardt over a
// rotation increment (applied on the left) and the translation, with a
// numeric Jacobian; four corners make this a 6x8 problem, so a hand-rolled
// loop is far cheaper than a general solver.
Pose refine(const Pose& start, const std::vector<cv::Point3d>& object, const std::vector<cv::Point2d>& image,
            const cv::Matx33d& k) {
    Pose pose = start;
    double current[8];
    residuals(k, pose.rotation, pose.translation, object, image, current);
    double cost = 0;
    for (double v : current) cost += v * v;
    double lambda = 1e-3;
    for (int iteration = 0; iteration < 20 && cost > 1e-14; ++iteration) {
        // Jacobian of each corner's projection: a rotation increment w on
        // the left moves the rotated corner r by w x r, a translation step
        // moves it as it is; the projection u = (k p)_0 / p_2 changes by
        // (k_0 - u e_2) / p_2 per unit of p.
        double jacobian[8][6];
        for (int i = 0; i < 4; ++i) {
            const cv::Vec3d r = pose.rotation * cv::Vec3d(object[i].x, object[i].y, object[i].z);
            const cv::Vec3d p = r + pose.translation;
            const cv::Vec3d q = k * p;
            const double u = q[0] / q[2], v = q[1] / q[2];
            const cv::Vec3d du(k(0, 0) - u * k(2, 0), k(0, 1) - u * k(2, 1), k(0, 2) - u * k(2, 2));
            const cv::Vec3d dv(k(1, 0) - v * k(2, 0), k(1, 1) - v * k(2, 1), k(1, 2) - v * k(2, 2));
            const double z = k(2, 0) * p[0] + k(2, 1) * p[1] + k(2, 2) * p[2];
            for (int row = 0; row < 2; ++row) {
                const cv::Vec3d g = (row == 0 ? du : dv) * (1 / z);
                double* out = jacobian[2 * i + row];
                // d/dw of g . (w x r) = g . (e_a x r) = (r x g)_a
                const cv::Vec3d c = r.cross(g);
                out[0] = c[0];
                out[1] = c[1];
                out[2] = c[2];
                out[3] = g[0];
                out[4] = g[1];
                out[5] = g[2];
            }
        }
        cv::Matx66d normal = cv::Matx66d::zeros();
        cv::Vec6d gradient = cv::Vec6d::all(0);
        for (int i = 0; i < 8; ++i)
            for (int a = 0; a < 6; ++a) {
                gradient[a] += jacobian[i][a] * current[i];
                for (int b = 0; b < 6; ++b) normal(a, b) += jacobian[i][a] * jacobian[i][b];
            }
        bool improved = false;
        for (int attempt = 0; attempt < 8 && !improved; ++attempt) {
            cv::Matx66d damped = normal;
            for (int a = 0; a < 6; ++a) damped(a, a) *= 1.0 + lambda;
            cv::Vec6d step;
            if (!solveSymmetric(damped, -gradient, step)) {
                lambda *= 10;
                continue;
            }
            const cv::Matx33d r = smallRotation(step[0], step[1], step[2]) * pose.rotation;
            const cv::Vec3d t = pose.translation + cv::Vec3d(step[3], step[4], step[5]);
            double trial[8];
            residuals(k, r, t, object, image, trial);
            double trialCost = 0;
            for (double v : trial) trialCost += v * v;
            if (std::isfinite(trialCost) && trialCost < cost) {
                const double gain = cost - trialCost;
                pose.rotation = r;
                pose.translation = t;
                std::copy(trial, trial + 8, current);
                cost = trialCost;
                lambda = std::max(1e-9, lambda / 10);
                improved = true;
                if (gain < 1e-12 * (1 + cost)) return pose;
            } else {
                lambda *= 10;
            }
        }
        if (!improved) break;
    }
    return pose;
}

// The classic plane-to-image homography split into rotation and translation;
// well conditioned exactly where the square solver is not (a square seen
// exactly head-on).
bool homographyPose(const std::vector<cv::Point3d>& object, const std::vector<cv::Point2d>& image,
                    const cv::Matx33d& k, Pose& pose) {
    std::vector<cv::Point2d> plane;
    for (const auto& p : object) plane.emplace_back(p.x, p.y);
    const cv::Mat h = cv::findHomography(plane, image, 0);
    if (h.empty()) return false;
    const cv::Matx33d m = k.inv() * cv::Matx33d(h);
    const cv::Vec3d c0(m(0, 0), m(1, 0), m(2, 0)), c1(m(0, 1), m(1, 1), m(2, 1)), c2(m(0, 2), m(1, 2), m(2, 2));
    const double n0 = cv::norm(c0), n1 = cv::norm(c1);
    if (!(n0 > 0) || !(n1 > 0)) return false;
    double scale = 2.0 / (n0 + n1);
    if (c2[2] * scale < 0) scale = -scale; // the marker is in front of the camera
    const cv::Vec3d r0 = c0 * scale, r1 = c1 * scale, r2 = r0.cross(r1);
    const cv::Matx33d rough(r0[0], r1[0], r2[0], r0[1], r1[1], r2[1], r0[2], r1[2], r2[2]);
    cv::SVD svd{cv::Mat(rough)};
    cv::Mat r = svd.u * svd.vt;
    if (cv::determinant(r) < 0) return false;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) pose.rotation(i, j) = r.at<double>(i, j);
    pose.translation = c2 * scale;
    return true;
}

// The square solver's two planar solutions, refined; the other solution is
// refined too when it fits nearly as well (a square seen nearly head-on, where
// the two mirror images are hard to tell apart). The homography's pose joins
// only when the square solver gave nothing good (exactly head-on it can).
// Each refined candidate with its fit error, best start first; none when
// the solver fails.
std::vector<std::pair<double, Pose>> freshCandidates(const std::vector<cv::Point3d>& object,
                                                     const std::vector<cv::Point2d>& image, const cv::Matx33d& k) {
    std::vector<std::pair<double, Pose>> ranked;
    auto add = [&](const Pose& start) {
        if (isFinite(start)) ranked.emplace_back(fitError(k, start, object, image), start);
    };
    try {
        std::vector<cv::Mat> rvecs, tvecs;
        cv::solvePnPGeneric(object, image, cv::Mat(k), cv::noArray(), rvecs, tvecs, false, cv::SOLVEPNP_IPPE_SQUARE);
        for (std::size_t i = 0; i < rvecs.size(); ++i) add(fromVectors(rvecs[i], tvecs[i]));
        const bool good = std::any_of(ranked.begin(), ranked.end(), [](const auto& r) { return r.first < 1.0; });
        Pose fromHomography;
        if (!good && homographyPose(object, image, k, fromHomography)) add(fromHomography);
    } catch (const cv::Exception&) {
        return {};
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::pair<double, Pose>> refined;
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        if (i > 0 && !refined.empty() && ranked[i].first > 4 * ranked[0].first + 0.5) break;
        const Pose candidate = refine(ranked[i].second, object, image, k);
        if (!isFinite(candidate)) continue;
        const double e = fitError(k, candidate, object, image);
        if (std::isfinite(e)) refined.emplace_back(e, candidate);
    }
    return refined;
}

bool freshPose(const std::vector<cv::Point3d>& object, const std::vector<cv::Point2d>& image, const cv::Matx33d& k,
               Pose& pose, double& error) {
    error = INFINITY;
    for (const auto& [e, candidate] : freshCandidates(object, image, k))
        if (e < error) {
            error = e;
            pose = candidate;
        }
    return std::isfinite(error);
}

// The corners must enclose a convex quadrilateral of some size, in the
// order of the printed corners (clockwise on screen); anything else has no
// meaningful pose.
bool isQuadrilateral(const std::vector<cv::Point2d>& image) {
    double area = 0;
    for (int i = 0; i < 4; ++i) {
        const cv::Point2d& a = image[i];
        const cv::Point2d& b = image[(i + 1) % 4];
        const cv::Point2d& c = image[(i + 2) % 4];
        const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
        if (!(cross > 0)) return false;
        area += a.x * b.y - b.x * a.y;
    }
    return area / 2 > 1.0;
}

bool isRigid(const double m[3][4]) {
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            if (!std::isfinite(m[i][j])) return false;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double dot = 0;
            for (int r = 0; r < 3; ++r) dot += m[r][i] * m[r][j];
            if (std::abs(dot - (i == j ? 1.0 : 0.0)) > 0.05) return false;
        }
    return true;
}

// One marker's pose problem: its corners as printed (upper-left,
// upper-right, lower-right, lower-left) about the marker's own centre (the
// form the square solver wants), where the picture shows them, and the
// calibration split into the intrinsic camera and its own extrinsic part.
struct Problem {
    std::vector<cv::Point3d> object;
    std::vector<cv::Point2d> image;
    cv::Matx33d k;
    cv::Matx33d extrinsicRotation;
    cv::Vec3d extrinsicTranslation;
    cv::Vec3d offset; // the caller's origin in marker coordinates

    // False when the input has no meaningful pose.
    bool setUp(const Calibration& calibration, const ARMarkerInfo& marker, const double center[2], double width) {
        if (!(width > 0) || !std::isfinite(width) || marker.dir < 0 || marker.dir > 3) return false;
        if (!std::isfinite(center[0]) || !std::isfinite(center[1])) return false;
        const double h = width / 2;
        object = {{-h, h, 0}, {h, h, 0}, {h, -h, 0}, {-h, -h, 0}};
        image.resize(4);
        for (int c = 0; c < 4; ++c) {
            const double* v = marker.vertex[(4 - marker.dir + c) % 4];
            if (!std::isfinite(v[0]) || !std::isfinite(v[1])) return false;
            image[c] = {v[0], v[1]};
        }
        if (!isQuadrilateral(image)) return false;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) k(r, c) = calibration.intrinsic[r][c];
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) extrinsicRotation(r, c) = calibration.extrinsic[r][c];
            extrinsicTranslation[r] = calibration.extrinsic[r][3];
        }
        offset = cv::Vec3d(center[0], center[1], 0);
        return true;
    }

    // A caller's transform taken into the intrinsic camera's frame and about
    // the marker centre.
    Pose fromCaller(const double (*transform)[4]) const {
        Pose pose;
        cv::Matx33d r;
        cv::Vec3d t;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) r(i, j) = transform[i][j];
            t[i] = transform[i][3];
        }
        pose.rotation = extrinsicRotation * r;
        pose.translation = extrinsicRotation * (r * offset + t) + extrinsicTranslation;
        return pose;
    }

    // Back to the calibration's frame and the caller's origin. A calibration
    // with huge entries can overflow here even when the fit itself was
    // finite: such a transform is no result, and the caller's stays.
    bool toCaller(const Pose& pose, double conv[3][4]) const {
        const cv::Matx33d rotation = extrinsicRotation.t() * pose.rotation;
        const cv::Vec3d translation =
            extrinsicRotation.t() * (pose.translation - pose.rotation * offset - extrinsicTranslation);
        double result[3][4];
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) result[i][j] = rotation(i, j);
            result[i][3] = translation[i];
        }
        for (const auto& row : result)
            for (double value : row)
                if (!std::isfinite(value)) return false;
        std::copy(&result[0][0], &result[0][0] + 12, &conv[0][0]);
        return true;
    }
};

double estimateUnguarded(const Calibration& calibration, const ARMarkerInfo& marker, const double center[2],
                         double width, const double (*previous)[4], double continueErrorLimit, double conv[3][4]) {
    Problem problem;
    if (!problem.setUp(calibration, marker, center, width)) return -1;

    Pose best;
    double bestError = INFINITY;
    if (previous && isRigid(previous)) {
        // The previous transform seeds the refinement: no jump between the
        // two mirror-image solutions of a square seen head-on.
        const Pose continued = refine(problem.fromCaller(previous), problem.object, problem.image, problem.k);
        if (isFinite(continued)) {
            best = continued;
            bestError = fitError(problem.k, continued, problem.object, problem.image);
        }
    }
    if (!(bestError <= continueErrorLimit)) {
        Pose fresh;
        double freshError;
        if (freshPose(problem.object, problem.image, problem.k, fresh, freshError) && freshError < bestError) {
            best = fresh;
            bestError = freshError;
        }
    }
    if (!std::isfinite(bestError) || bestError < 0) return -1;
    if (!problem.toCaller(best, conv)) return -1;
    return bestError;
}

// The angle of the rotation between two rotation matrices, as its cosine's
// stand-in: the trace of a^T b (3 for none, -1 for half a turn).
double alignment(const cv::Matx33d& a, const cv::Matx33d& b) {
    double trace = 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) trace += a(j, i) * b(j, i);
    return trace;
}

double nearestUnguarded(const Calibration& calibration, const ARMarkerInfo& marker, const double center[2],
                        double width, const double previous[3][4], double conv[3][4]) {
    Problem problem;
    if (!problem.setUp(calibration, marker, center, width)) return -1;
    std::vector<std::pair<double, Pose>> candidates = freshCandidates(problem.object, problem.image, problem.k);
    const Pose start = problem.fromCaller(previous);
    const Pose continued = refine(start, problem.object, problem.image, problem.k);
    if (isFinite(continued)) {
        const double e = fitError(problem.k, continued, problem.object, problem.image);
        if (std::isfinite(e)) candidates.emplace_back(e, continued);
    }
    if (candidates.empty()) return -1;
    double bestError = INFINITY;
    for (const auto& c : candidates) bestError = std::min(bestError, c.first);
    const double acceptable = nearFitFactor * bestError + nearFitSlack;
    const std::pair<double, Pose>* chosen = nullptr;
    double chosenAlignment = -INFINITY;
    for (const auto& c : candidates) {
        if (c.first > acceptable) continue;
        const double a = alignment(start.rotation, c.second.rotation);
        if (!chosen || a > chosenAlignment) {
            chosen = &c;
            chosenAlignment = a;
        }
    }
    if (!problem.toCaller(chosen->second, conv)) return -1;
    return chosen->first;
}

} // namespace

double estimatePose(const Calibration& calibration, const ARMarkerInfo& marker, const double center[2],
                    double width, const double (*previous)[4], double continueErrorLimit, double conv[3][4]) {
    // OpenCV refuses some degenerate inputs (a calibration with non-finite
    // products) by throwing; to the caller that is a failed estimate.
    try {
        return estimateUnguarded(calibration, marker, center, width, previous, continueErrorLimit, conv);
    } catch (const cv::Exception&) {
        return -1;
    }
}

double estimatePoseNear(const Calibration& calibration, const ARMarkerInfo& marker, const double center[2],
                        double width, const double previous[3][4], double conv[3][4]) {
    if (!previous || !isRigid(previous)) return estimatePose(calibration, marker, center, width, nullptr, 0, conv);
    try {
        return nearestUnguarded(calibration, marker, center, width, previous, conv);
    } catch (const cv::Exception&) {
        return -1;
    }
}

} // namespace kwo::ar
