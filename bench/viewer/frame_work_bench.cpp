// The viewer's per-frame CPU work with four markers in view at 640x480: the
// flip, the detection, four pose estimates, placing the objects and the
// collision test, against the same frame cycle without tracking (the flip
// and a frame copy standing in for the upload), measured in the same run.
// The ratio is printed as a counter; the texture upload itself needs a
// render system and is measured by the scene benchmark.
#include "scene/frame_picture.h"
#include "scene/object_scene.h"
#include "tests/tracking/scene_fixture.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"
#include "tracking/collision_pairs.h"
#include "tracking/marker_tracking.h"

#include <benchmark/benchmark.h>
#include <json/reader.h>

#include <cstring>

namespace {

struct Station {
    ARParam camera{};
    kwo::synthetic::SyntheticFrame frame;
    std::vector<std::uint8_t> work;
    std::vector<std::uint8_t> scratch;
    std::vector<std::uint8_t> texture;
    std::vector<int> patternIds;

    Station()
    {
        arParamLoad(KWO_PROGRAM_DIR "/tracking/camera.dat", 1, &camera);
        arInitCparam(&camera);
        for (const char* name : {"Quillmoth", "Brackenjaw", "Sliverfin", "Mossglider"})
            patternIds.push_back(arLoadPatt((std::string(KWO_PROGRAM_DIR "/tracking/") + name + ".pattern").c_str()));
        std::vector<kwo::synthetic::PrintedMarker> markers;
        const char* names[] = {"Quillmoth", "Brackenjaw", "Sliverfin", "Mossglider"};
        for (int i = 0; i < 4; ++i) {
            kwo::synthetic::PrintedMarker p;
            p.picture = kwo::synthetic::designPicture(names[i]);
            p.width = 83;
            kwo::synthetic::makePose(-30, 0, 20 * i, -180 + 120 * i, (i % 2) * 60 - 30, 560, p.pose);
            markers.push_back(p);
        }
        kwo::synthetic::FrameOptions options;
        options.noise = 2;
        frame = kwo::synthetic::renderFrame(camera, markers, options);
        work = frame.pixels;
        texture.resize(frame.pixels.size());
    }

    // The frame as the video library hands it over, then the flip.
    std::uint8_t* takeFrame()
    {
        std::memcpy(work.data(), frame.data(), work.size());
        kwo::flipRows(work.data(), frame.width, frame.height, scratch);
        return work.data();
    }
};

Station& station()
{
    static Station instance;
    return instance;
}

void FrameCycleWithoutTracking(benchmark::State& state)
{
    Station& s = station();
    for (auto _ : state) {
        std::uint8_t* image = s.takeFrame();
        std::memcpy(s.texture.data(), image, s.texture.size());
        benchmark::DoNotOptimize(s.texture.data());
    }
}
BENCHMARK(FrameCycleWithoutTracking)->Unit(benchmark::kMillisecond);

void FrameCycleWithTracking(benchmark::State& state)
{
    Station& s = station();
    kwo::test::EngineWithoutDisplay engine;
    Ogre::SceneNode* root = engine.sceneManager()->getRootSceneNode()->createChildSceneNode();
    std::vector<TrackedObject> objects(4);
    for (int i = 0; i < 4; ++i) {
        objects[i].width = 83;
        objects[i].patternId = s.patternIds[static_cast<std::size_t>(i)];
        objects[i].markerNode = root->createChildSceneNode();
        objects[i].collisionNode = objects[i].markerNode->createChildSceneNode();
    }
    CollisionPair pair;
    pair.first = 0;
    pair.second = 1;
    pair.distanceMin = 100;
    pair.distanceMax = 110;
    pair.angleMin = 20;
    pair.angleMax = 30;
    const kwo::PoseEstimates estimates = kwo::libraryPoseEstimates();
    int placed = 0;
    for (auto _ : state) {
        std::uint8_t* image = s.takeFrame();
        std::memcpy(s.texture.data(), image, s.texture.size());
        ARMarkerInfo* markers = nullptr;
        int count = 0;
        arDetectMarker(image, 100, &markers, &count);
        kwo::placeTrackedObjects(markers, count, 0, false, objects, estimates);
        kwo::testCollisionPair(pair, objects);
        placed = 0;
        for (const TrackedObject& o : objects)
            placed += o.visible;
    }
    state.counters["objects placed"] = placed;
}
BENCHMARK(FrameCycleWithTracking)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    // Report the ratio of the two in one line after the table.
    struct Ratio : benchmark::ConsoleReporter {
        double without = 0, with = 0;
        void ReportRuns(const std::vector<Run>& runs) override
        {
            ConsoleReporter::ReportRuns(runs);
            for (const Run& run : runs) {
                // One figure per benchmark: the median of repetitions, or the single run.
                const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
                const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
                if (!median && !single)
                    continue;
                if (run.benchmark_name().find("WithoutTracking") != std::string::npos)
                    without = run.GetAdjustedCPUTime();
                else if (run.benchmark_name().find("WithTracking") != std::string::npos)
                    with = run.GetAdjustedCPUTime();
            }
        }
    } reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.without > 0)
        std::printf("frame cycle with tracking / without: %.2f (%.3f ms against %.3f ms CPU)\n",
                    reporter.with / reporter.without, reporter.with, reporter.without);
    return 0;
}
