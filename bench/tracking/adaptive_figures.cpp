#include "bench/tracking/adaptive_figures.h"

#include "bench/tracking/scenes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kwo::bench {
namespace {

// The corners' RMS distance from the marker's in the best of the four turns:
// whether the square is the marker, whatever pattern it was taken for.
double cornerRmsAnyTurn(const ARMarkerInfo& m, const synthetic::MarkerTruth& truth) {
    ARMarkerInfo turned = m;
    double best = INFINITY;
    for (int dir = 0; dir < 4; ++dir) {
        turned.dir = dir;
        best = std::min(best, cornerRms(turned, truth));
    }
    return best;
}

void count(const std::vector<ARMarkerInfo>& found, const synthetic::MarkerTruth& truth, int id, ModeFigures& f) {
    bool square = false, named = false;
    for (const ARMarkerInfo& m : found) {
        const bool onMarker = cornerRmsAnyTurn(m, truth) < 3.0;
        square = square || onMarker;
        if (onMarker && m.id == id && cornerRms(m, truth) < 3.0) named = true;
        else if (m.id >= 0) ++f.wrong;
    }
    f.found += square;
    f.named += named;
}

} // namespace

std::vector<AdaptiveConditionFigures> adaptiveConditionFigures(const std::string& folder, int renders,
                                                               std::uint32_t seed) {
    enum Background { generated, dark, light };
    struct Condition {
        const char* name;
        double blur, paper, ink, gradient;
        double shadow;  // light left in a hard shadow across the marker; 0 none
        double sharpen; // a webcam's own sharpening: unsharp mask of this amount
        double minSide, maxSide;
        Background background;
    };
    // The first eight are the camera conditions of conditionFigures, drawn
    // the same way from the same seed, so their renders are the same.
    const Condition conditions[] = {
        {"sharp (blur 0.3)", 0.3, 220, 30, 0.2, 0, 0, 40, 150, generated},
        {"webcam (blur 0.9)", 0.9, 220, 30, 0.2, 0, 0, 40, 150, generated},
        {"out of focus (blur 1.8)", 1.8, 220, 30, 0.2, 0, 0, 40, 150, generated},
        {"far out of focus (2.5)", 2.5, 220, 30, 0.2, 0, 0, 60, 150, generated},
        {"dim, low contrast", 0.9, 130, 70, 0.3, 0, 0, 40, 150, generated},
        {"hard shadow across", 0.9, 220, 30, 0.1, 0.5, 0, 60, 150, generated},
        {"sharpened by the camera", 1.0, 220, 30, 0.2, 0, 1.5, 40, 150, generated},
        {"small (20-40 px)", 0.9, 220, 30, 0.2, 0, 0, 20, 40, generated},
        {"hard shadow, 40 % light", 0.9, 220, 30, 0.1, 0.4, 0, 60, 150, generated},
        {"shadow on a dark table", 0.9, 220, 30, 0.1, 0.5, 0, 60, 150, dark},
        {"dark table or coat", 0.9, 220, 30, 0.2, 0, 0, 40, 150, dark},
        {"white table", 0.9, 220, 30, 0.2, 0, 0, 40, 150, light},
        {"near (150-400 px)", 0.9, 220, 30, 0.2, 0, 0, 150, 400, generated},
        {"near, dark table", 0.9, 220, 30, 0.2, 0, 0, 150, 400, dark},
        {"smallest (16-20 px)", 0.9, 220, 30, 0.2, 0, 0, 16, 20, generated},
    };
    std::vector<AdaptiveConditionFigures> result;
    const ARParam param = camera(640, 480);
    ar::Tracker tracker(frameParameters());
    tracker.setCalibration(param);
    std::vector<ar::PatternFile> patterns;
    std::vector<cv::Mat> pictures;
    if (!loadSamples(folder, patterns, pictures)) return result;
    for (const ar::PatternFile& pattern : patterns) tracker.addPattern(pattern);
    synthetic::FrameRenderer renderer(param);
    for (const Condition& c : conditions) {
        AdaptiveConditionFigures figures;
        figures.condition = c.name;
        std::minstd_rand random(seed);
        std::uniform_real_distribution<double> unit(0, 1);
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
            if (c.background == dark)
                options.background = synthetic::clutteredBackground(640, 480, options.seed).picture * 0.25;
            else if (c.background == light)
                options.background = cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(240));
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
            const ar::FrameView view = ar::FrameView::packed(frame.data(), frame.width, frame.height);
            const double darkestPaper = c.paper * (1 - c.gradient) * (c.shadow > 0 ? c.shadow : 1);
            const int midway = static_cast<int>((darkestPaper + c.ink) / 2);
            const synthetic::MarkerTruth& truth = frame.markers[0];
            count(tracker.detect(view, ar::Threshold::adaptive()), truth, index, figures.adaptive);
            count(tracker.detect(view, midway), truth, index, figures.midway);
            count(tracker.detect(view, 100), truth, index, figures.at100);
            ++figures.renders;
        }
        result.push_back(figures);
    }
    return result;
}

AdaptiveClutterFigures adaptiveClutterFigures(int width, int count, int frames, std::uint32_t seed) {
    AdaptiveClutterFigures figures;
    const ARParam param = camera(width, width * 3 / 4);
    synthetic::FrameRenderer renderer(param);
    ar::Tracker tracker = designTracker(param, frameParameters());
    auto tally = [&](const std::vector<ARMarkerInfo>& found, const synthetic::SyntheticFrame& frame, int& identified,
                     int& wrong) {
        std::vector<bool> seen(count, false);
        for (const ARMarkerInfo& m : found) {
            if (m.id < 0) continue;
            if (m.id < count && !seen[m.id] && cornerRms(m, frame.markers[m.id]) < 3.0) {
                seen[m.id] = true;
                ++identified;
            } else {
                ++wrong;
            }
        }
    };
    for (int i = 0; i < frames; ++i) {
        const std::uint32_t frameSeed = seed + static_cast<std::uint32_t>(i);
        synthetic::FrameOptions options;
        options.seed = frameSeed;
        options.noise = 2;
        options.blur = 0.5;
        options.background = synthetic::clutteredBackground(param.xsize, param.ysize, frameSeed).picture;
        const auto frame = renderer.render(printScene(tableScene(count, frameSeed), false), options);
        const ar::FrameView view = ar::FrameView::packed(frame.data(), frame.width, frame.height);
        ++figures.frames;
        figures.markers += count;
        tally(tracker.detect(view, 100), frame, figures.identifiedGlobal, figures.falseGlobal);
        tally(tracker.detect(view, ar::Threshold::adaptive()), frame, figures.identifiedAdaptive, figures.falseAdaptive);
    }
    return figures;
}

void printAdaptiveConditions(const std::string& folder, int renders, std::uint32_t seed) {
    const auto figures = adaptiveConditionFigures(folder, renders, seed);
    if (figures.empty()) {
        std::printf("Local threshold under camera conditions: sample patterns not found\n");
        return;
    }
    std::printf("Sample markers under camera conditions with the local threshold (\"adaptive\") and the global one, "
                "%d renders each\n(square: found with its corners within 3 px, named or not; named: the right "
                "pattern; wrong: squares named otherwise):\n",
                figures[0].renders);
    std::printf("  %-26s %26s   %26s   %26s\n", "", "adaptive", "midway threshold", "threshold 100");
    std::printf("  %-26s %8s %8s %8s   %8s %8s %8s   %8s %8s %8s\n", "condition", "square", "named", "wrong",
                "square", "named", "wrong", "square", "named", "wrong");
    for (const AdaptiveConditionFigures& f : figures) {
        const double n = std::max(1, f.renders) / 100.0;
        std::printf("  %-26s", f.condition.c_str());
        for (const ModeFigures* m : {&f.adaptive, &f.midway, &f.at100})
            std::printf(" %7.1f%% %7.1f%% %8d  ", m->found / n, m->named / n, m->wrong);
        std::printf("\n");
    }
}

} // namespace kwo::bench
