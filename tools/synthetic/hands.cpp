#include "tools/synthetic/hands.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kwo::synthetic {
namespace {

cv::Mat pixels(SyntheticFrame& frame) { return cv::Mat(frame.height, frame.width, CV_8UC4, frame.pixels.data()); }

} // namespace

void castShadow(SyntheticFrame& frame, double x, double y, double angle, double offset, double light) {
    cv::Mat bgrx = pixels(frame);
    const double c = std::cos(angle), s = std::sin(angle);
    for (int row = 0; row < frame.height; ++row)
        for (int column = 0; column < frame.width; ++column) {
            const double d = (column - x) * c + (row - y) * s - offset;
            const double t = std::clamp(d / 1.5 + 0.5, 0.0, 1.0);
            const double factor = 1 - t * (1 - light);
            if (factor >= 1) continue;
            cv::Vec4b& p = bgrx.at<cv::Vec4b>(row, column);
            for (int k = 0; k < 3; ++k) p[k] = cv::saturate_cast<std::uint8_t>(p[k] * factor);
        }
}

void layFinger(SyntheticFrame& frame, const ARParam& camera, const double pose[3][4], double x0, double y0, double x1,
               double y1, double thickness) {
    const double angle = std::atan2(y1 - y0, x1 - x0);
    std::vector<cv::Point> outline;
    // Half a circle round each end, joined by the stroke's sides; points in
    // 1/16 pixel for anti-aliased filling.
    constexpr int perEnd = 24;
    for (int k = 0; k < 2 * perEnd; ++k) {
        const bool far = k < perEnd;
        const double a = angle + (far ? -CV_PI / 2 : CV_PI / 2) + CV_PI * (k % perEnd) / (perEnd - 1);
        const double mx = (far ? x1 : x0) + thickness / 2 * std::cos(a);
        const double my = (far ? y1 : y0) + thickness / 2 * std::sin(a);
        double ideal[2], observed[2];
        if (!projectPoint(camera, pose, mx, my, ideal, observed)) return;
        outline.emplace_back(cvRound(observed[0] * 16), cvRound(observed[1] * 16));
    }
    cv::Mat bgrx = pixels(frame);
    cv::fillPoly(bgrx, std::vector<std::vector<cv::Point>>{outline}, cv::Scalar(125, 150, 205, 255), cv::LINE_AA, 4);
}

void holdByThumb(SyntheticFrame& frame, const ARParam& camera, const double pose[3][4], double width, double depth,
                 double along, double thickness) {
    const double edge = -width / 2, tip = edge + depth * width / 4;
    layFinger(frame, camera, pose, along, edge - width / 2, along, tip - thickness / 2, thickness);
}

void addCameraFaults(SyntheticFrame& frame, double blur, double noise, int jpegQuality, std::uint32_t seed) {
    cv::Mat bgrx = pixels(frame);
    if (blur > 0) cv::GaussianBlur(bgrx, bgrx, cv::Size(0, 0), blur);
    if (noise > 0) {
        cv::Mat n(bgrx.size(), CV_32FC4);
        cv::RNG rng(seed);
        rng.fill(n, cv::RNG::NORMAL, 0, noise);
        cv::Mat f;
        bgrx.convertTo(f, CV_32FC4);
        f += n;
        f.convertTo(bgrx, CV_8UC4);
    }
    if (jpegQuality > 0) compressAsJpeg(frame, jpegQuality);
}

void markerCentre(const MarkerTruth& truth, double& x, double& y) {
    x = y = 0;
    for (const auto& corner : truth.observed) {
        x += corner[0] / 4;
        y += corner[1] / 4;
    }
}

} // namespace kwo::synthetic
