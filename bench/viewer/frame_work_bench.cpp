// The viewer's per-frame CPU work with four markers in view at 640x480, as
// the viewer does it: the copy out of the video library's frame (rows
// reversed), the flip, the upload into a real video texture of the engine's
// render system, the detection, four pose estimates, placing the objects and
// the collision test; against the same frame cycle without tracking,
// measured in the same run in the thread's CPU time. The texture lives on a
// real render window, so it needs a display (Xvfb will do):
//   tests/support/with-display build/bench/viewer/viewer_frame_bench
#include "app/window.h"
#include "scene/engine.h"
#include "scene/frame_picture.h"
#include "scene/object_scene.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"
#include "tracking/collision_pairs.h"
#include "tracking/marker_tracking.h"

#include <OgreRenderWindow.h>
#include <OgreRoot.h>
#include <OgreTextureManager.h>

#include <benchmark/benchmark.h>
#include <json/reader.h>

#include <cstring>

namespace {

// The engine on a real window with the viewer's video texture: 640x480
// PF_X8R8G8B8, written whole every frame.
struct Engine {
    bool running = true;
    Ogre::Root* root = nullptr;
    std::unique_ptr<kwo::AppWindow> window;
    Ogre::SceneManager* scene = nullptr;
    Ogre::TexturePtr texture;
    Ogre::HardwarePixelBufferSharedPtr buffer;

    Engine(int width, int height)
    {
        root = kwo::createRoot("/dev/null");
        kwo::startRenderSystem(*root);
        kwo::WindowSettings settings;
        settings.vsync = false;
        window = std::make_unique<kwo::AppWindow>(running, "viewer frame bench", 800, 600, kwo::WindowOptions{});
        const Ogre::NameValuePairList parameters = kwo::renderWindowParameters(settings, window->nativeHandle());
        root->createRenderWindow("", 0, 0, false, &parameters);
        scene = root->createSceneManager();
        texture = Ogre::TextureManager::getSingleton().createManual(
            "bench/video", "General", Ogre::TEX_TYPE_2D, width, height, 0, Ogre::PF_X8R8G8B8,
            Ogre::TU_DYNAMIC_WRITE_ONLY_DISCARDABLE);
        buffer = texture->getBuffer(0, 0);
    }
};

struct Station {
    ARParam camera{};
    kwo::synthetic::SyntheticFrame frame;
    std::vector<std::uint8_t> sample; // the decoded frame, top row first
    std::vector<std::uint8_t> work;   // the video library's copy, bottom row first
    std::vector<std::uint8_t> scratch;
    std::vector<int> patternIds;
    std::unique_ptr<Engine> engine;

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
        sample = frame.pixels;
        work = frame.pixels;
        engine = std::make_unique<Engine>(frame.width, frame.height);
    }

    // The frame as the video library hands it over (copied out of the
    // decoder's sample with its rows reversed), then the viewer's flip back
    // and the upload.
    std::uint8_t* takeFrame()
    {
        const std::size_t row = static_cast<std::size_t>(frame.width) * 4;
        for (int y = 0; y < frame.height; ++y)
            std::memcpy(work.data() + row * static_cast<std::size_t>(frame.height - 1 - y),
                        sample.data() + row * static_cast<std::size_t>(y), row);
        kwo::flipRows(work.data(), frame.width, frame.height, scratch);
        kwo::uploadFrame(*engine->buffer, work.data(), frame.width, frame.height);
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
    for (auto _ : state)
        benchmark::DoNotOptimize(s.takeFrame());
}
BENCHMARK(FrameCycleWithoutTracking)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void FrameCycleWithTracking(benchmark::State& state)
{
    Station& s = station();
    Ogre::SceneNode* root = s.engine->scene->getRootSceneNode()->createChildSceneNode();
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
BENCHMARK(FrameCycleWithTracking)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    // Report the ratio of the two in one line after the table.
    struct Ratio : benchmark::ConsoleReporter {
        double without = 0, with = 0, withoutSpread = 0, withSpread = 0;
        void ReportRuns(const std::vector<Run>& runs) override
        {
            ConsoleReporter::ReportRuns(runs);
            for (const Run& run : runs) {
                // One figure per benchmark: the median of repetitions, or the single run.
                const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
                const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
                if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "stddev") {
                    const bool tracking = run.benchmark_name().find("WithTracking") != std::string::npos;
                    (tracking ? withSpread : withoutSpread) = run.GetAdjustedCPUTime();
                }
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
        std::printf("frame cycle with tracking / without: %.2f (%.3f +- %.3f ms against %.3f +- %.3f ms, thread CPU "
                    "time, medians of 5 with their standard deviation)\n",
                    reporter.with / reporter.without, reporter.with, reporter.withSpread, reporter.without,
                    reporter.withoutSpread);
    return 0;
}
