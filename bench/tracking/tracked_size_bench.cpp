// What tracking a large camera picture costs the main thread per frame:
// detection and four poses on the whole 1280x720 or 1920x1080 picture,
// against shrinking it by a whole factor first and tracking the copy (the
// viewer's tracking/downscale), against the same at 640x480 (the mode the
// tracker was made for), and against one plain copy of the frame; with the
// corner error of each against the truth, in the picture's pixels. Frames
// show the four markers in a station's range, JPEG-compressed as a webcam
// sends them. Thread CPU time, interleaved rounds, medians with their range:
//   build/bench/tracking/bench_tracked_size
#include "bench/tracking/rounds.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/tracker.h"
#include "tracking/tracked_size.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <map>
#include <numbers>
#include <string>
#include <vector>

namespace {

const char* const designs[] = {"Quillmoth", "Brackenjaw", "Sliverfin", "Mossglider"};

// The benchmark clips' camera in a mode: the vertical view of a 640x480
// webcam with 60 degrees across, no distortion.
ARParam cameraFor(int width, int height)
{
    const double focal = (height * 4.0 / 3.0 / 2.0) / std::tan(std::numbers::pi / 6);
    ARParam camera{};
    camera.xsize = width;
    camera.ysize = height;
    camera.mat[0][0] = camera.mat[1][1] = focal;
    camera.mat[0][2] = camera.dist_factor[0] = (width - 1) / 2.0;
    camera.mat[1][2] = camera.dist_factor[1] = (height - 1) / 2.0;
    camera.mat[2][2] = 1;
    camera.dist_factor[3] = 1;
    return camera;
}

struct Scene {
    ARParam camera{};
    kwo::synthetic::SyntheticFrame frame;
};

// The four markers 45 to 75 cm away, tilted and turned, across the picture.
const Scene& scene(int width, int height)
{
    static std::map<int, Scene> scenes;
    Scene& s = scenes[width * 10000 + height];
    if (s.frame.width == 0) {
        s.camera = cameraFor(width, height);
        std::vector<kwo::synthetic::PrintedMarker> markers;
        for (int i = 0; i < 4; ++i) {
            kwo::synthetic::PrintedMarker p;
            p.picture = kwo::synthetic::designPicture(designs[i]);
            p.width = 83;
            kwo::synthetic::makePose(-35 + 10 * i, 15 - 10 * i, 20 * i - 25, -200 + 130 * i, (i % 2) * 80 - 40,
                                     450 + 100 * i, p.pose);
            markers.push_back(p);
        }
        kwo::synthetic::FrameOptions options;
        options.noise = 2;
        options.blur = 0.6;
        s.frame = kwo::synthetic::renderFrame(s.camera, markers, options);
        kwo::synthetic::compressAsJpeg(s.frame, 85);
    }
    return s;
}

// Largest corner error of the named markers against the truth, in the
// picture's pixels, by run name; -1 when one was not named.
std::map<std::string, double> cornerErrors;

void Track(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const Scene& s = scene(width, height);
    const kwo::TrackedSize size = kwo::chooseTrackedSize(width, height, static_cast<int>(state.range(2)));
    kwo::ar::Tracker tracker;
    tracker.setCalibration(kwo::trackedCalibration(s.camera, size));
    for (const char* design : designs)
        tracker.loadPattern(std::string(KWO_PROGRAM_DIR "/tracking/") + design + ".pattern");
    std::vector<std::uint8_t> frame(s.frame.pixels), copy;
    const double centre[2] = {0, 0};
    double conv[3][4];
    int named = 0;
    std::vector<ARMarkerInfo> last;
    for (auto _ : state) {
        const std::uint8_t* tracked = frame.data();
        if (size.factor > 1) {
            kwo::shrinkPicture(frame.data(), width, height, size, copy);
            tracked = copy.data();
        }
        const auto& markers = tracker.detect(kwo::ar::FrameView::packed(tracked, size.width, size.height), 100);
        named = 0;
        for (const ARMarkerInfo& marker : markers)
            if (marker.id >= 0 && tracker.pose(marker, centre, 83, conv) >= 0)
                ++named;
        last.assign(markers.begin(), markers.end());
    }
    double worst = named == 4 ? 0 : -1;
    for (const ARMarkerInfo& marker : kwo::markersInPicture(last.data(), static_cast<int>(last.size()), size)) {
        if (marker.id < 0 || worst < 0)
            continue;
        const kwo::synthetic::MarkerTruth& truth = s.frame.markers[static_cast<std::size_t>(marker.id)];
        for (int k = 0; k < 4; ++k) {
            // vertex[(4 - dir) % 4] is the printed upper-left corner.
            const auto& v = marker.vertex[(4 - marker.dir + k) % 4];
            worst = std::max(worst, std::hypot(v[0] - truth.ideal[k][0], v[1] - truth.ideal[k][1]));
        }
    }
    cornerErrors["Track/" + std::to_string(width) + "/" + std::to_string(height) + "/" +
                 std::to_string(state.range(2))] = worst;
    state.counters["named"] = named;
    state.counters["tracked_width"] = size.width;
}
BENCHMARK(Track)
    ->Args({640, 480, 1})
    ->Args({1280, 720, 1})
    ->Args({1280, 720, 2})
    ->Args({1920, 1080, 1})
    ->Args({1920, 1080, 2})
    ->Args({1920, 1080, 3})
    ->Unit(benchmark::kMicrosecond);

// The floor: one plain copy of the frame.
void Copy(benchmark::State& state)
{
    const Scene& s = scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::vector<std::uint8_t> frame(s.frame.pixels), other(frame.size());
    for (auto _ : state) {
        std::memcpy(other.data(), frame.data(), frame.size());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Copy)->Args({640, 480})->Args({1280, 720})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    kwo::bench::initializeWithRounds(argc, argv);
    kwo::bench::RoundsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto rounds = [&](const std::string& prefix) {
        for (const auto& [name, values] : reporter.rounds)
            if (name.rfind(prefix, 0) == 0)
                return values;
        return std::vector<double>{};
    };
    const auto error = [&](const std::string& prefix) {
        for (const auto& [name, value] : cornerErrors)
            if (name.rfind(prefix, 0) == 0)
                return value;
        return -1.0;
    };
    const std::vector<double> vga = rounds("Track/640/480/1");
    std::printf("\nmain thread per frame, four markers, medians of rounds [range], thread CPU time:\n");
    for (const char* run : {"640/480/1", "1280/720/1", "1280/720/2", "1920/1080/1", "1920/1080/2", "1920/1080/3"}) {
        const std::string name = std::string("Track/") + run;
        const std::vector<double> mine = rounds(name);
        const std::string size = std::string(run).substr(0, std::string(run).rfind('/'));
        const std::vector<double> copy = rounds("Copy/" + size);
        std::printf("%-22s %s us; %s x a plain copy of the frame; %s x tracking 640x480; worst corner %.2f px%s\n",
                    name.c_str(), kwo::bench::spread(mine).c_str(), kwo::bench::spread(kwo::bench::ratios(mine, copy)).c_str(),
                    kwo::bench::spread(kwo::bench::ratios(mine, vga)).c_str(), error(name),
                    error(name) < 0 ? " (not all four named)" : "");
    }
    benchmark::Shutdown();
    return 0;
}
