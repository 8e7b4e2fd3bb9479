#include "tracking/auto_threshold.h"

#include "tracking/ar/ar.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace kwo {
namespace {

// Fractions of a marker's side. The printed border is a quarter of the side
// wide: its middle lies an eighth in from the edge. The paper is looked at a
// little outside the edge, well inside the white margin a marker is printed
// with, and far enough out that blur across the edge does not reach it.
constexpr double borderDepth = 0.125;
constexpr double paperDepth = -0.1;
constexpr int samplesPerSide = 7;

// Below this difference (grey levels) between paper and border the samples
// are not of a marker any more (it moved away, or a hand covers it).
constexpr double minimumContrast = 24;

// Grey level (mean of blue, green, red) at a point inside the frame.
double greyAt(const ar::FrameView& frame, const std::array<double, 2>& point)
{
    return frame.brightnessAt(point[0], point[1]) / 3.0;
}

double median(std::vector<double>& values)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

} // namespace

AutoThreshold::AutoThreshold(const double distFactor[4])
{
    if (distFactor) {
        std::copy(distFactor, distFactor + 4, distortion.begin());
        distorted = distFactor[2] != 0;
    }
}

void AutoThreshold::learn(const ARMarkerInfo* markers, int count)
{
    known.clear();
    const cv::Point2f unit[4] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < count; ++i) {
        const ARMarkerInfo& marker = markers[i];
        if (marker.id < 0)
            continue;
        cv::Point2f corners[4];
        for (int k = 0; k < 4; ++k)
            corners[k] = cv::Point2f(static_cast<float>(marker.vertex[k][0]), static_cast<float>(marker.vertex[k][1]));
        const cv::Matx33d toImage = cv::getPerspectiveTransform(unit, corners);
        auto place = [&](double u, double v) {
            const cv::Vec3d p = toImage * cv::Vec3d(u, v, 1);
            std::array<double, 2> point{p[0] / p[2], p[1] / p[2]};
            if (distorted)
                arParamIdeal2Observ(distortion.data(), point[0], point[1], &point[0], &point[1]);
            return point;
        };
        MarkerSamples samples;
        for (int s = 1; s <= samplesPerSide; ++s) {
            const double a = static_cast<double>(s) / (samplesPerSide + 1);
            for (double depth : {borderDepth, paperDepth}) {
                auto& into = depth == borderDepth ? samples.border : samples.paper;
                // The four sides, each at `depth` in from its edge.
                into.push_back(place(a, depth));
                into.push_back(place(1 - depth, a));
                into.push_back(place(1 - a, 1 - depth));
                into.push_back(place(depth, 1 - a));
            }
        }
        known.push_back(std::move(samples));
    }
}

bool AutoThreshold::fromMarkers(const ar::FrameView& frame, int& threshold) const
{
    double lightestBorder = 0, darkestPaper = 255, middles = 0;
    int usable = 0;
    std::vector<double> levels;
    for (const MarkerSamples& marker : known) {
        // Medians: a finger on the paper or a highlight on the ink moves
        // them little.
        double level[2];
        bool enough = true;
        for (int which = 0; which < 2; ++which) {
            levels.clear();
            for (const auto& point : which == 0 ? marker.border : marker.paper)
                if (frame.contains(point[0], point[1]))
                    levels.push_back(greyAt(frame, point));
            enough = enough && levels.size() >= samplesPerSide;
            level[which] = enough ? median(levels) : 0;
        }
        const double border = level[0], paper = level[1];
        if (!enough || paper - border < minimumContrast)
            continue;
        lightestBorder = std::max(lightestBorder, border);
        darkestPaper = std::min(darkestPaper, paper);
        middles += (border + paper) / 2;
        ++usable;
    }
    if (usable == 0)
        return false;
    // One threshold that keeps every marker's border dark and its paper
    // light, when there is one; else the compromise of their middles.
    const double chosen = lightestBorder < darkestPaper ? (lightestBorder + darkestPaper) / 2 : middles / usable;
    threshold = std::clamp(static_cast<int>(chosen), 0, 255);
    return true;
}

int AutoThreshold::choose(const ar::FrameView& frame)
{
    int threshold = 0;
    if (fromMarkers(frame, threshold)) {
        lastSource = Source::markers;
    } else {
        // Every second pixel of every second row: the split is the same and
        // costs a quarter.
        threshold = otsuThreshold(frame, 2, histogram);
        lastSource = Source::frame;
    }
    lastThreshold = threshold;
    return threshold;
}

int otsuThreshold(const ar::FrameView& frame, int step, std::vector<int>& histogram)
{
    // Levels are floor((blue + green + red) / 3): a pixel of level k is dark
    // exactly when k <= threshold.
    histogram.assign(256, 0);
    step = std::max(step, 1);
    for (int y = 0; y < frame.height; y += step) {
        const std::uint8_t* p = frame.pixel(0, y);
        for (int x = 0; x < frame.width; x += step, p += 4 * step)
            ++histogram[(p[0] + p[1] + p[2]) / 3];
    }
    long total = 0;
    double sum = 0;
    for (int k = 0; k < 256; ++k) {
        total += histogram[k];
        sum += static_cast<double>(k) * histogram[k];
    }
    if (total == 0)
        return 0;
    // The split k (dark: levels 0..k) with the largest variance between the
    // two classes.
    // Empty levels between the classes give equal splits: the middle of
    // that gap is taken, not its dark end.
    long darkCount = 0;
    double darkSum = 0, best = -1;
    int first = 0, lastEqual = 0;
    for (int k = 0; k < 255; ++k) {
        darkCount += histogram[k];
        darkSum += static_cast<double>(k) * histogram[k];
        const long lightCount = total - darkCount;
        if (darkCount == 0 || lightCount == 0)
            continue;
        const double darkMean = darkSum / darkCount, lightMean = (sum - darkSum) / lightCount;
        const double between = static_cast<double>(darkCount) * lightCount * (darkMean - lightMean) * (darkMean - lightMean);
        if (between > best * (1 + 1e-12)) {
            best = between;
            first = lastEqual = k;
        } else if (between >= best * (1 - 1e-12)) {
            lastEqual = k;
        }
    }
    return (first + lastEqual) / 2;
}

} // namespace kwo
