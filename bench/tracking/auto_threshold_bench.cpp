// The threshold chosen for every frame ("auto") against fixed thresholds, on
// a station by a window from morning to evening: four markers on a table
// seen through a strong lighting gradient (the light falls to 40 % across the
// frame), the whole picture's brightness ramping from x0.3 up to x1.5 and
// back down, the markers drifting slowly. A camera without automatic exposure
// sees exactly this; one with it still sees the gradient.
//
// Prints, per brightness step and for two kinds of print (deep black ink on
// white, grey ink on dull paper), the share of markers identified (right
// pattern, corners within 3 px) with "auto", with the one fixed threshold that
// does best over the whole day, with the default 100, and with the local
// threshold ("adaptive"); then the processor time per frame of "auto"
// (choice + detection) against detection alone with the same thresholds
// fixed in advance, so that the ratio is the choice's own cost, and against
// detection at 100; the choice alone, from the markers and over the whole
// frame; and "adaptive" against detection at 100.
//
// Times are the thread's processor time, OpenCV held to the calling thread;
// the cases run interleaved in rounds, and the figures are the median of the
// rounds with their spread. Frames are detected without the tracker's
// memory of markers between frames: each frame counts for what its own
// picture shows.
//
// usage: bench_auto_threshold [Google Benchmark options]
//        (default: --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true)

#include "bench/tracking/rounds.h"
#include "bench/tracking/scenes.h"
#include "tools/synthetic/lighting.h"
#include "tracking/auto_threshold.h"

#include <benchmark/benchmark.h>
#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace kwo::bench {
namespace {

const double brightnessSteps[] = {0.3, 0.4, 0.5, 0.6, 0.8, 1.0, 1.2, 1.5};
constexpr int stepCount = sizeof brightnessSteps / sizeof brightnessSteps[0];
constexpr int framesPerStep = 4;
constexpr double gradient = 0.6;
// Gradient directions (degrees) of the scenes: from the side, from the top,
// from a corner.
const double gradientAngles[] = {0, 90, 225};

// How the markers are printed: deep black on white (the renderer's own
// levels), and grey ink on dull paper, as many office printers and cameras
// with a raised black level give.
struct Print {
    double ink, paper;
    const char* name;
};
const Print prints[] = {{25, 235, "deep black ink on white paper (grey levels 25 and 235 at x1)"},
                        {55, 205, "grey ink on dull paper (grey levels 55 and 205 at x1)"}};

struct RampFrame {
    synthetic::SyntheticFrame frame;
    int step; // index into brightnessSteps
};

// The day of one scene: the steps up, then down again. Four markers lie on
// the table in a 2x2 arrangement across the frame, tilted and turned.
std::vector<RampFrame> day(const synthetic::FrameRenderer& renderer, const Print& print, double angle,
                           std::uint32_t seed) {
    std::minstd_rand random(seed);
    std::uniform_real_distribution<double> tilt(-35, 35), spin(0, 360), depth(500, 700);
    const double spots[4][2] = {{-130, -100}, {130, -100}, {-130, 100}, {130, 100}};
    struct Placing {
        double tiltX, tiltY, spin, x, y, z;
    };
    std::vector<Placing> placings;
    for (const auto& spot : spots) {
        const double z = depth(random);
        placings.push_back({tilt(random), tilt(random), spin(random), spot[0] * z / 650, spot[1] * z / 650, z});
    }
    std::vector<int> order;
    for (int s = 0; s < stepCount; ++s) order.push_back(s);
    for (int s = stepCount - 1; s >= 0; --s) order.push_back(s);
    std::vector<RampFrame> frames;
    int index = 0;
    for (int step : order)
        for (int f = 0; f < framesPerStep; ++f, ++index) {
            // A slow drift: 1 mm and a third of a degree per frame.
            std::vector<Placement> scene(placings.size());
            for (std::size_t i = 0; i < placings.size(); ++i) {
                const Placing& p = placings[i];
                synthetic::makePose(p.tiltX, p.tiltY, p.spin + index / 3.0, p.x + index, p.y, p.z, scene[i].pose);
            }
            synthetic::FrameOptions options;
            options.seed = seed;
            options.blur = 0.5;
            options.ink = print.ink;
            options.paper = print.paper;
            options.gradient = gradient;
            options.gradientAngle = angle;
            const synthetic::SyntheticFrame lit = renderer.render(printScene(scene, false), options);
            frames.push_back({synthetic::relit(lit, brightnessSteps[step], 2, seed * 1000 + index), step});
        }
    return frames;
}

struct Scenes {
    ARParam param;
    std::vector<std::vector<RampFrame>> days;
};

const Scenes& scenes(int print = 0) {
    static std::map<int, Scenes> all;
    auto found = all.find(print);
    if (found != all.end()) return found->second;
    Scenes s;
    s.param = camera(640, 480);
    synthetic::FrameRenderer renderer(s.param);
    std::uint32_t seed = 500;
    for (double angle : gradientAngles) s.days.push_back(day(renderer, prints[print], angle, seed++));
    return all.emplace(print, std::move(s)).first->second;
}

ar::TrackerParameters noMemory() {
    ar::TrackerParameters parameters;
    parameters.historyFrames = 0;
    return parameters;
}

int identified(const std::vector<ARMarkerInfo>& found, const synthetic::SyntheticFrame& frame) {
    int count = 0;
    for (std::size_t k = 0; k < frame.markers.size(); ++k)
        count += std::any_of(found.begin(), found.end(), [&](const ARMarkerInfo& m) {
            return m.id == static_cast<int>(k) && cornerRms(m, frame.markers[k]) < 3.0;
        });
    return count;
}

// Identified markers per step (of markers shown), over every day; a fixed
// threshold, "auto" when `fixed` is -1, the local threshold when it is
// `adaptiveMode`. `chosen` receives auto's
// thresholds, frame by frame, day after day.
struct Rates {
    int found[stepCount] = {}, shown[stepCount] = {};
    int totalFound() const {
        int n = 0;
        for (int f : found) n += f;
        return n;
    }
};

constexpr int adaptiveMode = -2;

Rates detectDays(int print, int fixed, std::vector<int>* chosen = nullptr) {
    const Scenes& s = scenes(print);
    Rates rates;
    for (const auto& frames : s.days) {
        ar::Tracker tracker = designTracker(s.param, noMemory());
        AutoThreshold automatic(s.param.dist_factor);
        for (const RampFrame& f : frames) {
            const ar::FrameView view = ar::FrameView::packed(f.frame.data(), f.frame.width, f.frame.height);
            const int threshold = fixed >= 0 ? fixed : fixed == adaptiveMode ? 0 : automatic.choose(view);
            if (chosen) chosen->push_back(threshold);
            const auto& found = tracker.detect(view, fixed == adaptiveMode ? ar::Threshold::adaptive()
                                                                           : ar::Threshold::global(threshold));
            automatic.learn(found.data(), static_cast<int>(found.size()));
            rates.found[f.step] += identified(found, f.frame);
            rates.shown[f.step] += static_cast<int>(f.frame.markers.size());
        }
    }
    return rates;
}

std::vector<int>& autoThresholds() {
    static std::vector<int> chosen;
    return chosen;
}

// One frame after another, days in turn, as the viewer meets them.
template <typename Body>
void overDays(benchmark::State& state, Body body) {
    const Scenes& s = scenes();
    ar::Tracker tracker = designTracker(s.param, noMemory());
    AutoThreshold automatic(s.param.dist_factor);
    std::size_t day = 0, frame = 0, index = 0;
    for (auto _ : state) {
        const RampFrame& f = s.days[day][frame];
        body(tracker, automatic, ar::FrameView::packed(f.frame.data(), f.frame.width, f.frame.height), index);
        benchmark::ClobberMemory();
        ++index;
        if (++frame == s.days[day].size()) {
            frame = 0;
            tracker.resetHistory();
            automatic = AutoThreshold(s.param.dist_factor);
            if (++day == s.days.size()) {
                day = 0;
                index = 0;
            }
        }
    }
}

void autoThreshold(benchmark::State& state) {
    overDays(state, [](ar::Tracker& tracker, AutoThreshold& automatic, const ar::FrameView& view, std::size_t) {
        const auto& found = tracker.detect(view, automatic.choose(view));
        automatic.learn(found.data(), static_cast<int>(found.size()));
    });
}

void autoThresholdsFixed(benchmark::State& state) {
    overDays(state, [](ar::Tracker& tracker, AutoThreshold&, const ar::FrameView& view, std::size_t index) {
        benchmark::DoNotOptimize(tracker.detect(view, autoThresholds()[index]).data());
    });
}

void fixed100(benchmark::State& state) {
    overDays(state, [](ar::Tracker& tracker, AutoThreshold&, const ar::FrameView& view, std::size_t) {
        benchmark::DoNotOptimize(tracker.detect(view, 100).data());
    });
}

void adaptive(benchmark::State& state) {
    overDays(state, [](ar::Tracker& tracker, AutoThreshold&, const ar::FrameView& view, std::size_t) {
        benchmark::DoNotOptimize(tracker.detect(view, ar::Threshold::adaptive()).data());
    });
}

// The choice alone: from the last markers (learned once), and Otsu over the
// frame (nothing learned), the dearer of the two.
void choiceFromMarkers(benchmark::State& state) {
    const Scenes& s = scenes();
    ar::Tracker tracker = designTracker(s.param, noMemory());
    // A frame in full light, where 100 finds the markers to learn from.
    const RampFrame& f = *std::find_if(s.days[0].begin(), s.days[0].end(),
                                       [](const RampFrame& r) { return brightnessSteps[r.step] == 1.0; });
    const ar::FrameView view = ar::FrameView::packed(f.frame.data(), f.frame.width, f.frame.height);
    AutoThreshold automatic(s.param.dist_factor);
    const auto& found = tracker.detect(view, 100);
    automatic.learn(found.data(), static_cast<int>(found.size()));
    for (auto _ : state) benchmark::DoNotOptimize(automatic.choose(view));
    if (automatic.source() != AutoThreshold::Source::markers) state.SkipWithError("no markers learned");
}

void choiceOverFrame(benchmark::State& state) {
    const Scenes& s = scenes();
    const RampFrame& f = s.days[0][0];
    const ar::FrameView view = ar::FrameView::packed(f.frame.data(), f.frame.width, f.frame.height);
    AutoThreshold automatic(s.param.dist_factor);
    for (auto _ : state) benchmark::DoNotOptimize(automatic.choose(view));
}

BENCHMARK(autoThreshold)->Unit(benchmark::kMillisecond);
BENCHMARK(choiceFromMarkers)->Unit(benchmark::kMillisecond);
BENCHMARK(choiceOverFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(autoThresholdsFixed)->Unit(benchmark::kMillisecond);
BENCHMARK(fixed100)->Unit(benchmark::kMillisecond);
BENCHMARK(adaptive)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kwo::bench

int main(int argc, char** argv) {
    using namespace kwo::bench;
    cv::setNumThreads(1);
    initializeWithRounds(argc, argv);

    for (int print = 0; print < 2; ++print) {
        const Scenes& s = scenes(print);
        std::vector<int> chosen;
        const Rates automatic = detectDays(print, -1, &chosen);
        if (print == 0) autoThresholds() = chosen;
        const Rates at100 = detectDays(print, 100);
        const Rates local = detectDays(print, adaptiveMode);
        int best = 0;
        Rates bestRates;
        for (int t = 10; t <= 250; t += 5) {
            const Rates r = detectDays(print, t);
            if (r.totalFound() > bestRates.totalFound()) {
                best = t;
                bestRates = r;
            }
        }
        std::printf("Markers identified (right pattern, corners within 3 px) per brightness step, %s:\n"
                    "%zu scenes x 4 markers, %d frames per step rising and %d falling, light falling to %.0f %% "
                    "across the frame\n",
                    prints[print].name, s.days.size(), framesPerStep, framesPerStep, 100 * (1 - gradient));
        std::printf("%-10s %10s %18s %10s %10s\n", "brightness", "auto",
                    ("best fixed (" + std::to_string(best) + ")").c_str(), "fixed 100", "adaptive");
        auto percent = [](const Rates& r, int step) { return 100.0 * r.found[step] / std::max(1, r.shown[step]); };
        for (int step = 0; step < stepCount; ++step)
            std::printf("x%-9.1f %9.1f%% %17.1f%% %9.1f%% %9.1f%%\n", brightnessSteps[step], percent(automatic, step),
                        percent(bestRates, step), percent(at100, step), percent(local, step));
        int shown = 0;
        for (int n : automatic.shown) shown += n;
        std::printf("%-10s %9.1f%% %17.1f%% %9.1f%% %9.1f%%\n", "all", 100.0 * automatic.totalFound() / shown,
                    100.0 * bestRates.totalFound() / shown, 100.0 * at100.totalFound() / shown,
                    100.0 * local.totalFound() / shown);
        const auto [low, high] = std::minmax_element(chosen.begin(), chosen.end());
        std::printf("auto's thresholds: %d..%d\n\n", *low, *high);
    }

    RoundsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& r = reporter.rounds;
    if (r.count("autoThreshold") && r.count("autoThresholdsFixed") && r.count("fixed100")) {
        std::printf("\nProcessor time per 640x480 frame, ms, median of %zu rounds [min..max]:\n",
                    r.at("autoThreshold").size());
        std::printf("  auto (choice + detection)                  %s\n", spread(r.at("autoThreshold")).c_str());
        std::printf("  detection at auto's thresholds, fixed      %s\n", spread(r.at("autoThresholdsFixed")).c_str());
        std::printf("  detection at 100                           %s\n", spread(r.at("fixed100")).c_str());
        std::printf("  auto / detection at the same thresholds    %s\n",
                    spread(ratios(r.at("autoThreshold"), r.at("autoThresholdsFixed"))).c_str());
        std::printf("  auto / detection at 100                    %s\n",
                    spread(ratios(r.at("autoThreshold"), r.at("fixed100"))).c_str());
        if (r.count("adaptive")) {
            std::printf("  adaptive (detection)                       %s\n", spread(r.at("adaptive")).c_str());
            std::printf("  adaptive / detection at 100                %s\n",
                        spread(ratios(r.at("adaptive"), r.at("fixed100"))).c_str());
        }
        if (r.count("choiceFromMarkers") && r.count("choiceOverFrame")) {
            // Microseconds, and per cent of the detection.
            auto scaled = [](std::vector<double> v, double factor) {
                for (double& x : v) x *= factor;
                return v;
            };
            for (const auto& [name, what] : {std::pair{"choiceFromMarkers", "from 4 markers"},
                                             std::pair{"choiceOverFrame", "Otsu over the frame"}})
                std::printf("  the choice alone, %-20s     %s us, %s %% of detection at the same thresholds\n", what,
                            spread(scaled(r.at(name), 1000)).c_str(),
                            spread(scaled(ratios(r.at(name), r.at("autoThresholdsFixed")), 100)).c_str());
        }
    }
    benchmark::Shutdown();
    return 0;
}
