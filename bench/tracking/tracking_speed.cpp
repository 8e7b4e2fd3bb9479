// Detection + identification + pose per frame, our tracker against OpenCV's
// ArUco on equal frames (same sizes, poses, background and noise). Prints
// Google Benchmark's table and then our time / ArUco time per case.
//
// Times are processor times: the machines are shared, and wall-clock time
// would count the waits for other programs.
//
// usage: bench_tracking_speed [Google Benchmark options], for example
//        --benchmark_repetitions=5 for steadier figures

#include "bench/tracking/scenes.h"

#include <benchmark/benchmark.h>
#include <opencv2/calib3d.hpp>

#include <cstdio>
#include <map>
#include <set>

namespace kwo::bench {
namespace {

constexpr int framesPerCase = 8;

// The frames of a case are independent scenes, not a video: no history, or
// remembered markers of the previous scene would be reported (and posed) too.
ar::TrackerParameters frameParameters() {
    ar::TrackerParameters parameters;
    parameters.historyFrames = 0;
    return parameters;
}

struct Case {
    std::vector<synthetic::SyntheticFrame> frames;
    ARParam param;
};

// Frames are rendered once per (size, markers, kind).
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
        c.frames.push_back(renderer.render(printScene(tableScene(markers, 100 + i), aruco), options));
    }
    return cache.emplace(key, std::move(c)).first->second;
}

void ours(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), count = static_cast<int>(state.range(1));
    const Case& c = frames(width, count, false);
    ar::Tracker tracker = designTracker(c.param, frameParameters());
    const double center[2] = {0, 0};
    std::size_t frame = 0, found = 0, runs = 0;
    for (auto _ : state) {
        const auto& f = c.frames[frame++ % c.frames.size()];
        const auto& markers = tracker.detect(ar::FrameView::packed(f.data(), f.width, f.height), 100);
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

// The two parts of ours alone: detection with identification, and the pose
// of every identified marker of a frame.
void oursDetect(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0)), count = static_cast<int>(state.range(1));
    const Case& c = frames(width, count, false);
    ar::Tracker tracker = designTracker(c.param, frameParameters());
    std::size_t frame = 0;
    for (auto _ : state) {
        const auto& f = c.frames[frame++ % c.frames.size()];
        benchmark::DoNotOptimize(tracker.detect(ar::FrameView::packed(f.data(), f.width, f.height), 100).data());
    }
}

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

// Keeps each run's time per iteration, to print the ratios afterwards.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With repetitions, the median stands for the case.
        for (const Run& run : runs) {
            const std::string name = run.run_name.str();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                times[name] = run.GetAdjustedCPUTime();
                medians.insert(name);
            } else if (run.run_type == Run::RT_Iteration && run.iterations > 0 && !medians.count(name)) {
                times[name] = run.GetAdjustedCPUTime();
            }
        }
    }
    std::map<std::string, double> times;
    std::set<std::string> medians;
};

} // namespace
} // namespace kwo::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    // Render every frame before timing starts.
    for (int width : {320, 640})
        for (int markers : {1, 4})
            for (bool aruco : {false, true}) kwo::bench::frames(width, markers, aruco);
    kwo::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nour time / ArUco time, processor time per frame (detection + identification + pose)\n");
    for (const auto& [name, time] : reporter.times) {
        if (name.rfind("ours/", 0) != 0) continue;
        const auto other = reporter.times.find("aruco/" + name.substr(5));
        if (other == reporter.times.end()) continue;
        std::printf("  %-12s %8.3f ms / %8.3f ms = %.2f\n", name.substr(5).c_str(), time, other->second,
                    time / other->second);
    }
    benchmark::Shutdown();
    return 0;
}
