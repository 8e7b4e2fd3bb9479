#include "tracking/tracked_size.h"

#include "config/exception.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace kwo {

std::optional<int> readTrackingFactor(const Setting& tracking)
{
    const Setting value = tracking["downscale"];
    if (value.isAbsent() || (value.value().isString() && value.value().asString() == "auto"))
        return std::nullopt;
    const Json::Value& v = value.value();
    const bool whole = (v.isInt() || v.isUInt() || (v.isDouble() && v.asDouble() == static_cast<int>(v.asDouble()))) &&
                       v.asDouble() >= 1 && v.asDouble() <= maximumTrackingFactor;
    if (!whole)
        throw Exception("Invalid " + value.path() + " " + value.written() + " (auto, or a whole number from 1 to " +
                        std::to_string(maximumTrackingFactor) + ")");
    return v.asInt();
}

TrackedSize chooseTrackedSize(int width, int height, std::optional<int> factor)
{
    const int wanted = factor ? std::max(1, *factor) : (width >= 2 * fullTrackingWidth ? 2 : 1);
    int chosen = 1;
    for (int f = std::min(wanted, std::max(1, std::min(width, height))); f > 1; --f)
        if (width % f == 0 && height % f == 0) {
            chosen = f;
            break;
        }
    return {chosen, width / chosen, height / chosen};
}

ARParam trackedCalibration(const ARParam& full, const TrackedSize& size)
{
    ARParam tracked = full;
    if (size.factor <= 1)
        return tracked;
    arParamChangeSize(&full, size.width, size.height, &tracked);
    // Copy pixel j is the mean of picture pixels f*j .. f*j + f - 1: its
    // centre lies at f*j + (f - 1) / 2 in the picture, so picture
    // coordinate u is (u - (f - 1) / 2) / f in the copy. The change of size
    // scaled by 1 / f alone.
    const double shift = (size.factor - 1) / (2.0 * size.factor);
    for (int column = 0; column < 4; ++column) {
        tracked.mat[0][column] -= shift * tracked.mat[2][column];
        tracked.mat[1][column] -= shift * tracked.mat[2][column];
    }
    tracked.dist_factor[0] -= shift;
    tracked.dist_factor[1] -= shift;
    return tracked;
}

void shrinkPicture(const std::uint8_t* picture, int width, int height, const TrackedSize& size,
                   std::vector<std::uint8_t>& copy)
{
    copy.resize(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 4);
    const cv::Mat source(height, width, CV_8UC4, const_cast<std::uint8_t*>(picture));
    cv::Mat target(size.height, size.width, CV_8UC4, copy.data());
    if (size.factor <= 1) {
        source.copyTo(target);
        return;
    }
    // Area averaging of whole blocks: OpenCV's fast path for whole factors.
    cv::resize(source, target, target.size(), 0, 0, cv::INTER_AREA);
}

std::vector<ARMarkerInfo> markersInPicture(const ARMarkerInfo* markers, int count, const TrackedSize& size)
{
    std::vector<ARMarkerInfo> placed(markers, markers + std::max(0, count));
    if (size.factor <= 1)
        return placed;
    const double f = size.factor, offset = (f - 1) / 2;
    for (ARMarkerInfo& marker : placed) {
        marker.area *= size.factor * size.factor;
        for (int i = 0; i < 2; ++i)
            marker.pos[i] = marker.pos[i] * f + offset;
        for (auto& vertex : marker.vertex)
            for (double& v : vertex)
                v = v * f + offset;
        // a x + b y + c = 0 in the copy, with x = (X - offset) / f.
        for (auto& line : marker.line)
            line[2] = line[2] * f - (line[0] + line[1]) * offset;
    }
    return placed;
}

} // namespace kwo
