// The main thread's per-frame work before drawing, with four markers in view
// at 640x480: taking the frame from the video library (an uncompressed clip
// of the markers played through the viewer's own pipeline, lent top row
// first), blanking its top row, the upload into a real video texture of the
// engine's render system, the detection, four pose estimates, placing the
// objects (scene nodes without creatures) and the collision test, then giving
// the frame back; against the same frame cycle without tracking, measured in
// the same run. Times are the main thread's CPU time over that work only:
// the wait for the clip's next frame, decoding (GStreamer's threads, and no
// JPEG here) and drawing (the renderer's threads) are left out. What the
// whole viewer costs is measured by bench/viewer/whole_viewer. Each
// repetition also gives the 95th percentile of its frames. The texture lives
// on a real render window, so it needs a display (Xvfb will do):
//   tests/support/with-display build/bench/viewer/viewer_frame_bench
#include "app/window.h"
#include "scene/engine.h"
#include "scene/frame_picture.h"
#include "scene/object_scene.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"
#include "tracking/collision_pairs.h"
#include "tracking/marker_tracking.h"
#include "video/ar_video.h"
#include "video/clip_cameras.h"
#include "video/clip_writer.h"
#include "video/video_config.h"

#include <OgreRenderWindow.h>
#include <OgreRoot.h>
#include <OgreTextureManager.h>

#include <benchmark/benchmark.h>
#include <json/value.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <thread>

namespace {

// Frames the clip delivers per second: near a camera's rate. Much faster
// clips keep the decoding thread so busy beside the frame cycle (on two
// cores) that the cycle's own time grows and scatters: 200 frames a second
// gave 1.36 to 1.60 ms where 60 give 1.22 ms.
constexpr int clipRate = 60;
constexpr int framesPerRound = 300;

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

double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Station {
    ARParam camera{};
    int width = 0, height = 0;
    std::vector<int> patternIds;
    std::string clip;
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
        const kwo::synthetic::SyntheticFrame frame = kwo::synthetic::renderFrame(camera, markers, options);
        width = frame.width;
        height = frame.height;
        // A lossless clip, so the tracker sees exactly the rendered markers.
        clip = (std::filesystem::temp_directory_path() / "viewer-frame-bench.mkv").string();
        kwo::writeClip(clip, {width, height, clipRate, 20, kwo::ClipEncoding::Raw},
                       [&](int, std::uint8_t* bgrx) { std::copy(frame.pixels.begin(), frame.pixels.end(), bgrx); });
        setenv(kwo::clipCamerasVariable, clip.c_str(), 1);
        const std::string device =
            kwo::buildVideoConfig(Json::Value(Json::objectValue), std::filesystem::path(clip).filename().string());
        if (arVideoOpen(device.c_str()) < 0)
            std::abort();
        arVideoCapStart();
        engine = std::make_unique<Engine>(width, height);
    }
    ~Station()
    {
        arVideoCapStop();
        arVideoClose();
        std::filesystem::remove(clip);
    }

    // The frame cycle's own steps on a taken frame before tracking.
    void showFrame(unsigned char* image) const
    {
        kwo::blankTopRow(image, width, height);
        kwo::uploadFrame(*engine->buffer, image, width, height);
    }
};

Station& station()
{
    static Station instance;
    return instance;
}

// Runs `work` on the clip's next frame each iteration and sets the
// iteration's time to the thread CPU time from the call that takes the frame
// to the one that gives it back: the polls that find no frame yet (the clip
// plays in real time) are left out. Reports the 95th percentile of the
// round's frames beside the mean.
template <typename Work>
void frameCycles(benchmark::State& state, Work work)
{
    std::vector<double> seconds;
    seconds.reserve(framesPerRound);
    for (auto _ : state) {
        double start = 0;
        unsigned char* image = nullptr;
        for (;;) {
            start = threadSeconds();
            if ((image = arVideoGetImage()))
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        work(image);
        arVideoCapNext();
        const double spent = threadSeconds() - start;
        state.SetIterationTime(spent);
        seconds.push_back(spent);
    }
    std::sort(seconds.begin(), seconds.end());
    if (!seconds.empty())
        state.counters["p95_ms"] = 1000 * seconds[seconds.size() * 95 / 100];
}

void FrameCycleWithoutTracking(benchmark::State& state)
{
    Station& s = station();
    frameCycles(state, [&](unsigned char* image) { s.showFrame(image); });
}
BENCHMARK(FrameCycleWithoutTracking)->UseManualTime()->Iterations(framesPerRound)->Unit(benchmark::kMillisecond)
    ->Repetitions(5)->ReportAggregatesOnly(true);

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
    frameCycles(state, [&](unsigned char* image) {
        s.showFrame(image);
        ARMarkerInfo* markers = nullptr;
        int count = 0;
        arDetectMarker(image, 100, &markers, &count);
        kwo::placeTrackedObjects(markers, count, 0, false, objects, estimates);
        kwo::testCollisionPair(pair, objects);
    });
    for (const TrackedObject& o : objects)
        placed += o.visible;
    state.counters["objects placed"] = placed;
}
BENCHMARK(FrameCycleWithTracking)->UseManualTime()->Iterations(framesPerRound)->Unit(benchmark::kMillisecond)
    ->Repetitions(5)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    // The figures of the two in one line after the table: the median of the
    // rounds' means with their standard deviation, and the median of the
    // rounds' 95th percentiles.
    struct Figures : benchmark::ConsoleReporter {
        struct Figure {
            double mean = 0, spread = 0, p95 = 0;
        } without, with;
        void ReportRuns(const std::vector<Run>& runs) override
        {
            ConsoleReporter::ReportRuns(runs);
            for (const Run& run : runs) {
                if (run.run_type != Run::RT_Aggregate)
                    continue;
                Figure& figure = run.benchmark_name().find("WithTracking") != std::string::npos ? with : without;
                if (run.aggregate_name == "median") {
                    figure.mean = run.GetAdjustedRealTime();
                    if (const auto p95 = run.counters.find("p95_ms"); p95 != run.counters.end())
                        figure.p95 = p95->second;
                } else if (run.aggregate_name == "stddev") {
                    figure.spread = run.GetAdjustedRealTime();
                }
            }
        }
    } reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.without.mean > 0)
        std::printf("main thread's frame work before drawing, with tracking / without: %.2f (mean %.3f +- %.3f ms, "
                    "p95 %.3f ms, against mean %.3f +- %.3f ms, p95 %.3f ms; thread CPU time per uncompressed "
                    "640x480 frame, no decoding or drawing, medians of 5 rounds of %d frames with their standard "
                    "deviation)\n",
                    reporter.with.mean / reporter.without.mean, reporter.with.mean, reporter.with.spread,
                    reporter.with.p95, reporter.without.mean, reporter.without.spread, reporter.without.p95,
                    framesPerRound);
    return 0;
}
