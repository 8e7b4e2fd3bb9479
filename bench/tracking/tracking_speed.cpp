// The tracker's summary table: for 320x240 and 640x480 frames with 1 and 4
// markers on cluttered table tops, identification rate, false
// identifications, corner and pose errors, the confidence on realistic
// renders of other tools' sample markers, and the time per frame
// (detection + identification + pose) as a ratio to OpenCV's ArUco on equal
// frames; and the same with the detector's local threshold ("adaptive").
//
// Times are the thread's processor time, with OpenCV held to the calling
// thread (cv::setNumThreads(1)) so ArUco's work is all counted; the cases
// run interleaved in rounds, and the table gives the median of the rounds
// with their spread.
//
// usage: bench_tracking_speed [Google Benchmark options]
//        (default: --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true)
//        KWO_TEST_DATA=folder of the sample patterns (default: the shared one)

#include "bench/tracking/adaptive_figures.h"
#include "bench/tracking/rounds.h"
#include "bench/tracking/scenes.h"
#include "bench/tracking/tracking_figures.h"

#include <benchmark/benchmark.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace kwo::bench {
namespace {

constexpr int framesPerCase = 16;

struct Case {
    std::vector<synthetic::SyntheticFrame> frames;
    ARParam param;
};

// Frames are rendered once per (size, markers, kind), on the same cluttered
// backgrounds for both kinds.
const Case& frames(int width, int markers, bool aruco) {
    static std::map<std::tuple<int, int, bool>, Case> cache;
    auto key = std::make_tuple(width, markers, aruco);
    auto found = cache.find(key);
    if (found != cache.end()) return found->second;
    Case c;
    c.param = camera(width, width * 3 / 4);
    synthetic::FrameRenderer renderer(c.param);
    for (int i = 0; i < framesPerCase; ++i) {
        synthetic::FrameOptions options;
        options.seed = 100 + i;
        options.noise = 2;
        options.blur = 0.5;
        options.background = synthetic::clutteredBackground(c.param.xsize, c.param.ysize, 100 + i).picture;
        c.frames.push_back(renderer.render(printScene(tableScene(markers, 100 + i), aruco), options));
    }
    return cache.emplace(key, std::move(c)).first->second;
}

void oursWith(benchmark::State& state, const ar::Threshold& threshold) {
    const int width = static_cast<int>(state.range(0)), count = static_cast<int>(state.range(1));
    const Case& c = frames(width, count, false);
    ar::Tracker tracker = designTracker(c.param, frameParameters());
    const double center[2] = {0, 0};
    std::size_t frame = 0, found = 0, runs = 0;
    for (auto _ : state) {
        const auto& f = c.frames[frame++ % c.frames.size()];
        const auto& markers = tracker.detect(ar::FrameView::packed(f.data(), f.width, f.height), threshold);
        for (const ARMarkerInfo& m : markers) {
            if (m.id < 0) continue;
            double conv[3][4];
            if (tracker.pose(m, center, 83, conv) >= 0) ++found;
        }
        ++runs;
        benchmark::ClobberMemory();
    }
    state.counters["posed/frame"] = static_cast<double>(found) / runs;
}

void ours(benchmark::State& state) { oursWith(state, ar::Threshold::global(100)); }
// The same with the local threshold.
void oursAdaptive(benchmark::State& state) { oursWith(state, ar::Threshold::adaptive()); }

// The two parts of ours alone: detection with identification, and the pose
// of every identified marker of a frame.
void detectWith(benchmark::State& state, const ar::Threshold& threshold) {
    const int width = static_cast<int>(state.range(0)), count = static_cast<int>(state.range(1));
    const Case& c = frames(width, count, false);
    ar::Tracker tracker = designTracker(c.param, frameParameters());
    std::size_t frame = 0;
    for (auto _ : state) {
        const auto& f = c.frames[frame++ % c.frames.size()];
        benchmark::DoNotOptimize(tracker.detect(ar::FrameView::packed(f.data(), f.width, f.height), threshold).data());
    }
}

void oursDetect(benchmark::State& state) { detectWith(state, ar::Threshold::global(100)); }
void oursAdaptiveDetect(benchmark::State& state) { detectWith(state, ar::Threshold::adaptive()); }

void oursPose(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), count = static_cast<int>(state.range(1));
    const Case& c = frames(width, count, false);
    ar::Tracker tracker = designTracker(c.param, frameParameters());
    std::vector<std::vector<ARMarkerInfo>> found;
    for (const auto& f : c.frames) {
        found.emplace_back();
        for (const ARMarkerInfo& m : tracker.detect(ar::FrameView::packed(f.data(), f.width, f.height), 100))
            if (m.id >= 0) found.back().push_back(m);
    }
    const double center[2] = {0, 0};
    std::size_t frame = 0;
    for (auto _ : state) {
        for (const ARMarkerInfo& m : found[frame++ % found.size()]) {
            double conv[3][4];
            benchmark::DoNotOptimize(tracker.pose(m, center, 83, conv));
        }
    }
}

void aruco(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), count = static_cast<int>(state.range(1));
    const Case& c = frames(width, count, true);
    const auto dictionary = arucoDictionary();
    const auto parameters = cv::aruco::DetectorParameters::create();
    const cv::Mat k(intrinsics(c.param));
    const cv::Mat noDistortion = cv::Mat::zeros(1, 5, CV_64F);
    std::size_t frame = 0, found = 0, runs = 0;
    for (auto _ : state) {
        const auto& f = c.frames[frame++ % c.frames.size()];
        const cv::Mat grey = arucoGrey(f);
        std::vector<std::vector<cv::Point2f>> corners;
        std::vector<int> ids;
        cv::aruco::detectMarkers(grey, dictionary, corners, ids, parameters);
        std::vector<cv::Vec3d> rvecs, tvecs;
        if (!ids.empty()) cv::aruco::estimatePoseSingleMarkers(corners, 83, k, noDistortion, rvecs, tvecs);
        found += ids.size();
        ++runs;
        benchmark::ClobberMemory();
    }
    state.counters["posed/frame"] = static_cast<double>(found) / runs;
}

void cases(benchmark::internal::Benchmark* b) {
    for (int width : {320, 640})
        for (int markers : {1, 4}) b->Args({width, markers});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(ours)->Apply(cases);
BENCHMARK(oursDetect)->Apply(cases);
BENCHMARK(oursPose)->Apply(cases);
BENCHMARK(aruco)->Apply(cases);
BENCHMARK(oursAdaptive)->Apply(cases);
BENCHMARK(oursAdaptiveDetect)->Apply(cases);

// Per-round ratios a[i] / b[i] of two benchmarks: rounds are interleaved,
// so each pair ran under the same load. Median [min..max].
std::string ratioOf(const RoundsReporter& reporter, const std::string& a, const std::string& b) {
    const auto x = reporter.rounds.find(a), y = reporter.rounds.find(b);
    if (x == reporter.rounds.end() || y == reporter.rounds.end()) return "-";
    std::vector<double> r;
    for (std::size_t i = 0; i < std::min(x->second.size(), y->second.size()); ++i) r.push_back(x->second[i] / y->second[i]);
    char text[64];
    std::snprintf(text, sizeof text, "%.2f [%.2f..%.2f]", medianOf(r), *std::min_element(r.begin(), r.end()),
                  *std::max_element(r.begin(), r.end()));
    return text;
}

void printAdaptiveSummary(const RoundsReporter& reporter,
                          const std::map<std::pair<int, int>, AdaptiveClutterFigures>& cluttered) {
    std::printf("\nLocal threshold (\"adaptive\") against the global one (100) on the same cluttered frames; time "
                "ratios per round, median [min..max]:\n");
    std::printf("%-8s %-7s %19s %19s %10s %19s %19s %19s\n", "size", "markers", "identified glob/adap",
                "false/1000 glob/adap", "adap ms", "adaptive/ArUco", "adaptive/global", "detection adap/glob");
    for (const auto& [key, f] : cluttered) {
        const auto [width, markers] = key;
        const std::string name = "/" + std::to_string(width) + "/" + std::to_string(markers);
        const auto adaptive = reporter.rounds.find("oursAdaptive" + name);
        char ms[16] = "-";
        if (adaptive != reporter.rounds.end()) std::snprintf(ms, sizeof ms, "%.3f", medianOf(adaptive->second));
        char identified[32], falseIds[32];
        std::snprintf(identified, sizeof identified, "%.1f%% / %.1f%%", 100.0 * f.identifiedGlobal / std::max(1, f.markers),
                      100.0 * f.identifiedAdaptive / std::max(1, f.markers));
        std::snprintf(falseIds, sizeof falseIds, "%.1f / %.1f", 1000.0 * f.falseGlobal / std::max(1, f.frames),
                      1000.0 * f.falseAdaptive / std::max(1, f.frames));
        std::printf("%-8s %-7d %19s %19s %10s %19s %19s %19s\n",
                    (std::to_string(width) + "x" + std::to_string(width * 3 / 4)).c_str(), markers, identified, falseIds,
                    ms, ratioOf(reporter, "oursAdaptive" + name, "aruco" + name).c_str(),
                    ratioOf(reporter, "oursAdaptive" + name, "ours" + name).c_str(),
                    ratioOf(reporter, "oursAdaptiveDetect" + name, "oursDetect" + name).c_str());
    }
}

} // namespace
} // namespace kwo::bench

int main(int argc, char** argv) {
    using namespace kwo::bench;
    cv::setNumThreads(1);
    initializeWithRounds(argc, argv);

    const char* data = std::getenv("KWO_TEST_DATA");
    const std::string folder = data ? data : KWO_SAMPLE_DATA;

    std::printf("Accuracy (fixed seeds; cluttered frames: text, strokes, blobs and decoy squares):\n");
    std::map<std::pair<int, int>, CaseFigures> cluttered;
    for (int width : {320, 640})
        for (int markers : {1, 4}) cluttered[{width, markers}] = clutteredFigures(width, markers, 250, 20000 + width + markers);
    std::map<int, SampleFigures> samples;
    for (int width : {320, 640}) samples[width] = sampleFigures(folder, width, 100, 30000 + width);
    const TiltedFigures tilted = tiltedFigures(500, 40000);
    std::map<std::pair<int, int>, AdaptiveClutterFigures> adaptiveCluttered;
    for (int width : {320, 640})
        for (int markers : {1, 4})
            adaptiveCluttered[{width, markers}] = adaptiveClutterFigures(width, markers, 250, 20000 + width + markers);

    // Render every timed frame before timing starts.
    for (int width : {320, 640})
        for (int markers : {1, 4})
            for (bool aruco : {false, true}) frames(width, markers, aruco);
    RoundsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\nSummary (250 cluttered frames per row; time: processor time per frame, detection + identification + "
                "pose, median of %zu rounds [min..max])\n",
                reporter.rounds.empty() ? std::size_t{0} : reporter.rounds.begin()->second.size());
    std::printf("%-8s %-7s %10s %12s %12s %10s %9s %9s %14s %22s %22s %16s\n", "size", "markers", "identified",
                "false/1000", "off-square", "corner px", "rot deg", "trans %", "sample cf", "ours ms", "ArUco ms",
                "ours/ArUco");
    for (const auto& [key, f] : cluttered) {
        const auto [width, markers] = key;
        const std::string name = "/" + std::to_string(width) + "/" + std::to_string(markers);
        const auto our = reporter.rounds.find("ours" + name), their = reporter.rounds.find("aruco" + name);
        char timing[3][64] = {"-", "-", "-"};
        if (our != reporter.rounds.end() && their != reporter.rounds.end()) {
            const double a = medianOf(our->second), b = medianOf(their->second);
            std::snprintf(timing[0], sizeof timing[0], "%.3f [%.3f..%.3f]", a,
                          *std::min_element(our->second.begin(), our->second.end()),
                          *std::max_element(our->second.begin(), our->second.end()));
            std::snprintf(timing[1], sizeof timing[1], "%.3f [%.3f..%.3f]", b,
                          *std::min_element(their->second.begin(), their->second.end()),
                          *std::max_element(their->second.begin(), their->second.end()));
            std::snprintf(timing[2], sizeof timing[2], "%.3f", a / b);
        }
        const SampleFigures& s = samples[width];
        char sample[48] = "no samples";
        if (s.renders > 0) std::snprintf(sample, sizeof sample, "%.3f (min %.2f)", s.cfMean, s.cfMin);
        std::printf("%-8s %-7d %9.1f%% %12.1f %12d %10.3f %9.3f %9.3f %14s %22s %22s %16s\n",
                    (std::to_string(width) + "x" + std::to_string(width * 3 / 4)).c_str(), markers,
                    100.0 * f.identified / std::max(1, f.markers), 1000.0 * f.falseIds / std::max(1, f.frames),
                    f.falseOffSquares, f.cornerRms, f.rotationMedian, f.translationMedian, sample, timing[0], timing[1],
                    timing[2]);
    }
    std::printf("\nSample markers: %d realistic renders per size (perspective, blur, noise, uneven light, JPEG); "
                "named (cf >= 0.5, no part contradicting the pattern): 320 %d, 640 %d\n",
                samples[320].renders, samples[320].identified, samples[640].identified);
    std::printf("Steeply tilted markers (40-52 px, 53-60 deg, blurred): %d of %d identified (%.1f%%)\n", tilted.identified,
                tilted.markers, 100.0 * tilted.identified / std::max(1, tilted.markers));
    printAdaptiveSummary(reporter, adaptiveCluttered);
    benchmark::Shutdown();
    return 0;
}
