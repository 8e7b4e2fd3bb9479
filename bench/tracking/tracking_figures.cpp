#include "bench/tracking/tracking_figures.h"

#include "bench/tracking/scenes.h"
#include "tools/synthetic/pose_errors.h"
#include "tracking/ar/stages.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace kwo::bench {
namespace {

using synthetic::rotationError;
using synthetic::translationError;

double median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

CaseFigures clutteredFigures(int width, int count, int frames, std::uint32_t seed) {
    CaseFigures figures;
    const ARParam param = camera(width, width * 3 / 4);
    synthetic::FrameRenderer renderer(param);
    ar::Tracker tracker = designTracker(param, frameParameters());
    double cornerSquares = 0;
    std::vector<double> rotation, translation;
    for (int i = 0; i < frames; ++i) {
        const std::uint32_t frameSeed = seed + static_cast<std::uint32_t>(i);
        const synthetic::Clutter clutter = synthetic::clutteredBackground(param.xsize, param.ysize, frameSeed);
        synthetic::FrameOptions options;
        options.seed = frameSeed;
        options.noise = 2;
        options.blur = 0.5;
        options.background = clutter.picture;
        const auto scene = tableScene(count, frameSeed);
        const auto frame = renderer.render(printScene(scene, false), options);
        ++figures.frames;
        figures.markers += count;
        const auto& found = tracker.detect(ar::FrameView::packed(frame.data(), frame.width, frame.height), 100);
        std::vector<bool> seen(count, false);
        for (const ARMarkerInfo& m : found) {
            if (m.id < 0) continue;
            const bool right = m.id < count && !seen[m.id] && cornerRms(m, frame.markers[m.id]) < 3.0;
            if (right) {
                seen[m.id] = true;
                ++figures.identified;
                const double rms = cornerRms(m, frame.markers[m.id]);
                cornerSquares += rms * rms;
                double conv[3][4];
                const double center[2] = {0, 0};
                if (tracker.pose(m, center, 83, conv) >= 0) {
                    rotation.push_back(rotationError(conv, frame.markers[m.id].pose));
                    translation.push_back(100 * translationError(conv, frame.markers[m.id].pose));
                }
                continue;
            }
            ++figures.falseIds;
            // On a square at all: one of the markers (wrong id or corners) or a decoy.
            bool onSquare = false;
            const double side = std::sqrt(static_cast<double>(m.area));
            for (int k = 0; k < count && !onSquare; ++k) {
                double sum = 0;
                for (int c = 0; c < 4; ++c) {
                    double nearest = 1e18;
                    for (int t = 0; t < 4; ++t)
                        nearest = std::min(nearest, std::hypot(m.vertex[c][0] - frame.markers[k].ideal[t][0],
                                                               m.vertex[c][1] - frame.markers[k].ideal[t][1]));
                    sum = std::max(sum, nearest);
                }
                onSquare = sum < std::max(3.0, 0.2 * side);
            }
            // A decoy partly covered by a marker's sheet is still a square
            // region; a decoy's outline is all this counts it by.
            if (!onSquare) onSquare = synthetic::isOnDecoy(clutter, m.vertex, std::max(3.0, 0.2 * side));
            if (!onSquare) ++figures.falseOffSquares;
        }
    }
    figures.cornerRms = std::sqrt(cornerSquares / std::max(1, figures.identified));
    figures.rotationMedian = median(rotation);
    figures.translationMedian = median(translation);
    return figures;
}

TiltedFigures tiltedFigures(int frames, std::uint32_t seed) {
    TiltedFigures figures;
    const ARParam param = camera(640, 480);
    synthetic::FrameRenderer renderer(param);
    ar::Tracker tracker = designTracker(param, frameParameters());
    std::minstd_rand random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    std::vector<cv::Mat> pictures;
    for (const auto& name : designNames()) pictures.push_back(synthetic::designPicture(name, 256));
    for (int i = 0; i < frames; ++i) {
        const int index = i % 4;
        // A side of 40-52 px seen head-on shrinks to about half along the
        // tilt; the distance is set for the unshrunk side.
        const double side = 40 + 12 * unit(random);
        const double tilt = 53 + 7 * unit(random);
        const double z = param.mat[0][0] * 83 / side;
        const double axis = unit(random) * 2 * M_PI;
        double pose[3][4];
        // Drawn last argument first: the order the set was always drawn
        // in, now fixed by the code rather than the compiler.
        const double y = (unit(random) - 0.5) * z * 0.4, x = (unit(random) - 0.5) * z * 0.5;
        const double spin = 360 * unit(random);
        synthetic::makePose(tilt * std::cos(axis), tilt * std::sin(axis), spin, x, y, z, pose);
        synthetic::PrintedMarker m;
        m.picture = pictures[index];
        m.width = 83;
        std::copy(&pose[0][0], &pose[0][0] + 12, &m.pose[0][0]);
        synthetic::FrameOptions options;
        options.seed = seed + static_cast<std::uint32_t>(i);
        options.noise = 2;
        options.blur = 1.0 + 0.5 * unit(random);
        const auto frame = renderer.render({m}, options);
        ++figures.markers;
        for (const ARMarkerInfo& found : tracker.detect(ar::FrameView::packed(frame.data(), frame.width, frame.height), 100))
            if (found.id == index && cornerRms(found, frame.markers[0]) < 3.0) {
                ++figures.identified;
                break;
            }
    }
    return figures;
}

namespace {

} // namespace

SampleFigures sampleFigures(const std::string& folder, int width, int renders, std::uint32_t seed) {
    SampleFigures figures;
    const ARParam param = camera(width, width * 3 / 4);
    // Every square names its best pattern, however weak: the figure is the
    // confidence, not whether it passes the cut.
    ar::TrackerParameters parameters = frameParameters();
    parameters.confidenceCut = -2;
    ar::Tracker tracker(parameters);
    tracker.setCalibration(param);
    std::vector<ar::PatternFile> patterns;
    std::vector<cv::Mat> pictures;
    if (!loadSamples(folder, patterns, pictures)) return figures;
    std::vector<ar::PatternTemplate> templates;
    for (const ar::PatternFile& pattern : patterns) {
        tracker.addPattern(pattern);
        templates.push_back(ar::makeTemplate(pattern));
    }
    synthetic::FrameRenderer renderer(param);
    std::minstd_rand random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    double sum = 0;
    figures.cfMin = 1;
    for (int i = 0; i < renders; ++i) {
        const int index = i % 4;
        // 30 to 90 px across, tilted up to 45 degrees, any turn.
        const double side = (30 + 60 * unit(random)) * width / 640.0 + 10;
        const double z = param.mat[0][0] * 80 / side;
        double pose[3][4];
        // Drawn last argument first, as for the tilted set.
        const double y = (unit(random) - 0.5) * z * 0.3, x = (unit(random) - 0.5) * z * 0.4;
        const double spin = 360 * unit(random), tiltY = 90 * unit(random) - 45, tiltX = 90 * unit(random) - 45;
        synthetic::makePose(tiltX, tiltY, spin, x, y, z, pose);
        synthetic::PrintedMarker m;
        m.picture = pictures[index];
        m.width = 80;
        std::copy(&pose[0][0], &pose[0][0] + 12, &m.pose[0][0]);
        const auto frame = realisticFrame(renderer, {m}, seed + static_cast<std::uint32_t>(i));
        // The confidence is the matcher's cosine for the right pattern, also
        // where the tracker leaves the square unnamed because a part of it
        // contradicts the pattern; identified counts the squares it names.
        const ar::FrameView view = ar::FrameView::packed(frame.data(), frame.width, frame.height);
        double best = -1;
        bool named = false;
        for (const ARMarkerInfo& found : tracker.detect(view, 100)) {
            if (cornerRms(found, frame.markers[0]) >= 3.0) continue;
            double sample[ar::patternValues];
            ar::CellBlur blur;
            if (!ar::takeSample(view, param.dist_factor, found.vertex, sample, &blur)) continue;
            const ar::Match match = ar::matchSample(sample, templates.data(), static_cast<int>(templates.size()), blur);
            if (match.slot == index) best = std::max(best, match.cf);
            named = named || (found.id == index && found.cf >= 0.5);
        }
        ++figures.renders;
        if (named) ++figures.identified;
        sum += std::max(best, 0.0);
        figures.cfMin = std::min(figures.cfMin, std::max(best, 0.0));
    }
    figures.cfMean = sum / std::max(1, figures.renders);
    return figures;
}

std::vector<ConditionFigures> conditionFigures(const std::string& folder, int renders, std::uint32_t seed) {
    struct Condition {
        const char* name;
        double blur, paper, ink, gradient;
        double shadow;  // light left in a hard shadow across the marker; 0 none
        double sharpen; // a webcam's own sharpening: unsharp mask of this amount
        double minSide, maxSide;
    };
    const Condition conditions[] = {
        {"sharp (blur 0.3)", 0.3, 220, 30, 0.2, 0, 0, 40, 150},
        {"webcam (blur 0.9)", 0.9, 220, 30, 0.2, 0, 0, 40, 150},
        {"out of focus (blur 1.8)", 1.8, 220, 30, 0.2, 0, 0, 40, 150},
        {"far out of focus (2.5)", 2.5, 220, 30, 0.2, 0, 0, 60, 150},
        {"dim, low contrast", 0.9, 130, 70, 0.3, 0, 0, 40, 150},
        {"hard shadow across", 0.9, 220, 30, 0.1, 0.5, 0, 60, 150},
        {"sharpened by the camera", 1.0, 220, 30, 0.2, 0, 1.5, 40, 150},
        {"small (20-40 px)", 0.9, 220, 30, 0.2, 0, 0, 20, 40},
    };
    std::vector<ConditionFigures> result;
    const ARParam param = camera(640, 480);
    ar::Tracker tracker(frameParameters());
    tracker.setCalibration(param);
    std::vector<ar::PatternFile> patterns;
    std::vector<cv::Mat> pictures;
    if (!loadSamples(folder, patterns, pictures)) return result;
    for (const ar::PatternFile& pattern : patterns) tracker.addPattern(pattern);
    synthetic::FrameRenderer renderer(param);
    for (const Condition& c : conditions) {
        ConditionFigures figures;
        figures.condition = c.name;
        std::minstd_rand random(seed);
        std::uniform_real_distribution<double> unit(0, 1);
        double cfSum = 0;
        for (int i = 0; i < renders; ++i) {
            const int index = i % 4;
            const double side = c.minSide + (c.maxSide - c.minSide) * unit(random);
            const double z = param.mat[0][0] * 80 / side;
            const double tiltX = 100 * unit(random) - 50, tiltY = 100 * unit(random) - 50;
            const double spin = 360 * unit(random);
            const double x = (unit(random) - 0.5) * z * 0.3, y = (unit(random) - 0.5) * z * 0.2;
            double pose[3][4];
            synthetic::makePose(tiltX, tiltY, spin, x, y, z, pose);
            synthetic::PrintedMarker m;
            m.picture = pictures[index];
            m.width = 80;
            std::copy(&pose[0][0], &pose[0][0] + 12, &m.pose[0][0]);
            synthetic::FrameOptions options;
            options.seed = seed + static_cast<std::uint32_t>(i);
            options.paper = c.paper;
            options.ink = c.ink;
            options.blur = c.blur;
            options.noise = 3;
            options.gradient = c.gradient;
            options.gradientAngle = 360 * unit(random);
            auto frame = renderer.render({m}, options);
            const double shadowAngle = 2 * CV_PI * unit(random), shadowOffset = (unit(random) - 0.5) * side * 0.6;
            // The shadow's edge near the marker's centre.
            double cx = 0, cy = 0;
            for (const auto& corner : frame.markers[0].observed) {
                cx += corner[0] / 4;
                cy += corner[1] / 4;
            }
            shadeAndSharpen(frame, cx, cy, shadowAngle, shadowOffset, c.shadow, c.sharpen);
            synthetic::compressAsJpeg(frame, 80);
            // The threshold halfway between the ink and the darkest paper.
            const double darkestPaper = c.paper * (1 - c.gradient) * (c.shadow > 0 ? c.shadow : 1);
            const int threshold = static_cast<int>((darkestPaper + c.ink) / 2);
            bool named = false;
            double best = 0;
            for (const ARMarkerInfo& found : tracker.detect(ar::FrameView::packed(frame.data(), frame.width, frame.height), threshold)) {
                const bool onMarker = cornerRms(found, frame.markers[0]) < 3.0;
                if (onMarker) best = std::max(best, found.cf);
                if (onMarker && found.id == index) named = true;
                else if (found.id >= 0) ++figures.wrong;
            }
            ++figures.renders;
            if (named) ++figures.named;
            cfSum += best;
        }
        figures.cfMean = cfSum / std::max(1, figures.renders);
        result.push_back(figures);
    }
    return result;
}

} // namespace kwo::bench
