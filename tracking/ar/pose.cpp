#include "tracking/ar/stages.h"

#include <opencv2/calib3d.hpp>

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

// Refines a pose on the reprojection error (Levenberg-Marquardt).
Pose refine(const Pose& start, const std::vector<cv::Point3d>& object, const std::vector<cv::Point2d>& image,
            const cv::Matx33d& k) {
    cv::Mat rvec, tvec(3, 1, CV_64F);
    cv::Rodrigues(cv::Mat(start.rotation), rvec);
    for (int i = 0; i < 3; ++i) tvec.at<double>(i) = start.translation[i];
    cv::solvePnPRefineLM(object, image, cv::Mat(k), cv::noArray(), rvec, tvec,
                         cv::TermCriteria(cv::TermCriteria::EPS + cv::TermCriteria::COUNT, 20, 1e-10));
    return fromVectors(rvec, tvec);
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

// Both planar solutions of the square solver and the homography's, each
// refined; the best fit wins.
bool freshPose(const std::vector<cv::Point3d>& object, const std::vector<cv::Point2d>& image, const cv::Matx33d& k,
               Pose& pose, double& error) {
    std::vector<Pose> starts;
    std::vector<cv::Mat> rvecs, tvecs;
    try {
        cv::solvePnPGeneric(object, image, cv::Mat(k), cv::noArray(), rvecs, tvecs, false, cv::SOLVEPNP_IPPE_SQUARE);
        for (std::size_t i = 0; i < rvecs.size(); ++i) starts.push_back(fromVectors(rvecs[i], tvecs[i]));
        Pose fromHomography;
        if (homographyPose(object, image, k, fromHomography)) starts.push_back(fromHomography);
    } catch (const cv::Exception&) {
        return false;
    }
    error = INFINITY;
    for (const Pose& start : starts) {
        if (!isFinite(start)) continue;
        const Pose candidate = refine(start, object, image, k);
        if (!isFinite(candidate)) continue;
        const double e = fitError(k, candidate, object, image);
        if (e < error) {
            error = e;
            pose = candidate;
        }
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

} // namespace

double estimatePose(const Calibration& calibration, const ARMarkerInfo& marker, const double center[2],
                    double width, const double (*previous)[4], double continueErrorLimit, double conv[3][4]) {
    if (!(width > 0) || !std::isfinite(width) || marker.dir < 0 || marker.dir > 3) return -1;
    if (!std::isfinite(center[0]) || !std::isfinite(center[1])) return -1;

    // Corners as printed: upper-left, upper-right, lower-right, lower-left,
    // about the marker's own centre (the form the square solver wants).
    const double h = width / 2;
    const std::vector<cv::Point3d> object{{-h, h, 0}, {h, h, 0}, {h, -h, 0}, {-h, -h, 0}};
    std::vector<cv::Point2d> image(4);
    for (int k = 0; k < 4; ++k) {
        const double* v = marker.vertex[(4 - marker.dir + k) % 4];
        if (!std::isfinite(v[0]) || !std::isfinite(v[1])) return -1;
        image[k] = {v[0], v[1]};
    }
    if (!isQuadrilateral(image)) return -1;
    cv::Matx33d k;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) k(r, c) = calibration.intrinsic[r][c];
    cv::Matx33d extrinsicRotation;
    cv::Vec3d extrinsicTranslation;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) extrinsicRotation(r, c) = calibration.extrinsic[r][c];
        extrinsicTranslation[r] = calibration.extrinsic[r][3];
    }
    const cv::Vec3d offset(center[0], center[1], 0);

    Pose best;
    double bestError = INFINITY;
    if (previous && isRigid(previous)) {
        // The previous transform, taken into the intrinsic camera's frame and
        // about the marker centre, seeds the refinement: no jump between the
        // two mirror-image solutions of a square seen head-on.
        Pose start;
        cv::Matx33d r;
        cv::Vec3d t;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) r(i, j) = previous[i][j];
            t[i] = previous[i][3];
        }
        start.rotation = extrinsicRotation * r;
        start.translation = extrinsicRotation * (r * offset + t) + extrinsicTranslation;
        const Pose continued = refine(start, object, image, k);
        if (isFinite(continued)) {
            best = continued;
            bestError = fitError(k, continued, object, image);
        }
    }
    if (!(bestError <= continueErrorLimit)) {
        Pose fresh;
        double freshError;
        if (freshPose(object, image, k, fresh, freshError) && freshError < bestError) {
            best = fresh;
            bestError = freshError;
        }
    }
    if (!std::isfinite(bestError)) return -1;

    // Back to the calibration's frame and the caller's origin.
    const cv::Matx33d rotation = extrinsicRotation.t() * best.rotation;
    const cv::Vec3d translation = extrinsicRotation.t() * (best.translation - best.rotation * offset - extrinsicTranslation);
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) conv[i][j] = rotation(i, j);
        conv[i][3] = translation[i];
    }
    return bestError;
}

} // namespace kwo::ar
