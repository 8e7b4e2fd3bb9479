// What the frame cycle costs the CPU per video frame (blank a row, turn the
// frame over in place, upload it into the video texture) against the physical floor of two plain
// copies of the frame, at 320x240 and 640x480; and the frames per second of
// the default scene with a video frame uploaded every frame, in a window of
// 800x600 and full screen (the layout scaled to fit the screen), in the same
// run. Runs on real render windows, so it needs a display (Xvfb will do);
// the full-screen figure is for the screen it runs on:
//   tests/support/with-display --screen 1920x1080 build/bench/scene/kwo_scene_bench
#include "app/window.h"
#include "config/documents.h"
#include "config/setting.h"
#include "scene/engine.h"
#include "scene/frame_picture.h"
#include "scene/rendering_options.h"
#include "scene/video_background.h"

#include <OgreRectangle2D.h>
#include <OgreRenderWindow.h>
#include <OgreRoot.h>
#include <OgreTextureManager.h>

#include <benchmark/benchmark.h>
#include <json/reader.h>

#include <cstring>
#include <iostream>
#include <map>
#include <random>
#include <vector>

namespace {

// One show: an application window, its render window and the default scene
// drawn into it.
struct Show {
    std::unique_ptr<kwo::AppWindow> window;
    Ogre::RenderWindow* renderWindow = nullptr;
    Ogre::SceneManager* scene = nullptr;
    kwo::RenderingSetup rendering;
    kwo::VideoBackground background;
};

// The engine with two shows, a window of 800x600 and one full screen, made
// once for all runs. Each show has a scene of its own, so neither draws the
// other's rectangles. The video texture has one name: the second show's
// replaces the first's in the shared material, and both upload a frame of
// the same size each frame, so both pay the same.
struct Engine {
    bool running = true;
    Ogre::Root* root = nullptr;
    Json::Value config;
    kwo::UniqueNameCounter names;
    Show windowed;
    Show fullScreen;

    Engine()
    {
        Json::Reader().parse(std::string(kwo::defaultDocument()), config);
        config["media"]["locations"] = Json::Value(Json::arrayValue);
        config["media"]["locations"].append(KWO_PROGRAM_DIR "/media/graphics/Core.dat");
        const kwo::Setting settings(config, "");
        root = kwo::createRoot("/dev/null");
        kwo::startRenderSystem(*root);
        kwo::WindowSettings windowSettings = kwo::readWindowSettings(settings["window"]);
        windowSettings.vsync = false;
        openWindow(windowed, windowSettings, false);
        openWindow(fullScreen, windowSettings, true);
        kwo::addMediaLocations(settings["media"]["locations"]);
        for (Show* show : {&windowed, &fullScreen}) {
            show->scene = root->createSceneManager();
            show->rendering =
                kwo::setUpRendering(*show->scene, settings["rendering"], settings["graphics"]["lights"], names);
            const kwo::LayoutSize layout{static_cast<unsigned>(show->window->layoutWidth()),
                                         static_cast<unsigned>(show->window->layoutHeight())};
            show->background = kwo::createVideoBackground(*show->scene, *show->renderWindow, settings["rendering"],
                                                          names, 320, 240, false, layout);
            show->window->show();
        }
    }

    void openWindow(Show& show, const kwo::WindowSettings& settings, bool full)
    {
        kwo::WindowOptions options;
        options.fullscreen = full;
        show.window = std::make_unique<kwo::AppWindow>(running, full ? "scene bench full screen" : "scene bench",
                                                       800, 600, options);
        // Render windows need names of their own; the viewer's one window has none.
        const Ogre::NameValuePairList parameters =
            kwo::renderWindowParameters(settings, show.window->nativeHandle());
        show.renderWindow = root->createRenderWindow(full ? "full screen" : "", 0, 0, full, &parameters);
        show.window->attachRenderWindow(show.renderWindow);
    }
};

Engine& engine()
{
    static Engine instance;
    return instance;
}

std::vector<std::uint8_t> cameraFrame(int width, int height)
{
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height * 4);
    std::minstd_rand random(7);
    for (std::uint8_t& byte : frame)
        byte = static_cast<std::uint8_t>(random());
    return frame;
}

Ogre::HardwarePixelBufferSharedPtr textureBuffer(int width, int height)
{
    engine();
    const std::string name = "bench/" + std::to_string(width) + "x" + std::to_string(height);
    Ogre::TextureManager& textures = Ogre::TextureManager::getSingleton();
    Ogre::TexturePtr texture = textures.getByName(name, "General");
    if (!texture)
        texture = textures.createManual(name, "General", Ogre::TEX_TYPE_2D, width, height, 0, Ogre::PF_X8R8G8B8,
                                        Ogre::TU_DYNAMIC_WRITE_ONLY_DISCARDABLE);
    return texture->getBuffer(0, 0);
}

void FrameWork(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    std::vector<std::uint8_t> frame = cameraFrame(width, height);
    const Ogre::HardwarePixelBufferSharedPtr buffer = textureBuffer(width, height);
    std::vector<std::uint8_t> scratch;
    for (auto _ : state) {
        kwo::blankLastRow(frame.data(), width, height);
        kwo::flipRows(frame.data(), width, height, scratch);
        kwo::uploadFrame(*buffer, frame.data(), width, height);
        benchmark::ClobberMemory();
    }
}

// The flip alone, to tell its share from the upload's.
void Flip(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    std::vector<std::uint8_t> frame = cameraFrame(width, height);
    std::vector<std::uint8_t> scratch;
    for (auto _ : state) {
        kwo::flipRows(frame.data(), width, height, scratch);
        benchmark::ClobberMemory();
    }
}

void TwoCopies(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    std::vector<std::uint8_t> frame = cameraFrame(width, height);
    std::vector<std::uint8_t> other(frame.size());
    for (auto _ : state) {
        std::memcpy(other.data(), frame.data(), frame.size());
        benchmark::DoNotOptimize(other.data());
        std::memcpy(frame.data(), other.data(), frame.size());
        benchmark::ClobberMemory();
    }
}

// One frame of the show: the frame work, then drawing and showing the picture.
void DefaultSceneFrame(benchmark::State& state, bool full)
{
    Engine& e = engine();
    Show& show = full ? e.fullScreen : e.windowed;
    std::vector<std::uint8_t> frame = cameraFrame(320, 240);
    std::vector<std::uint8_t> scratch;
    for (auto _ : state) {
        kwo::blankLastRow(frame.data(), 320, 240);
        kwo::flipRows(frame.data(), 320, 240, scratch);
        kwo::uploadFrame(*show.background.buffer, frame.data(), 320, 240);
        show.renderWindow->update(true);
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["pixels"] = show.renderWindow->getWidth() * show.renderWindow->getHeight();
}

BENCHMARK(FrameWork)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMicrosecond);
BENCHMARK(Flip)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMicrosecond);
BENCHMARK(TwoCopies)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMicrosecond);
// Real time: llvmpipe draws on threads of its own, which the thread's CPU
// time would not see.
BENCHMARK_CAPTURE(DefaultSceneFrame, windowed, false)
    ->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime()->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(DefaultSceneFrame, fullscreen, true)
    ->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime()->Repetitions(3)->ReportAggregatesOnly(true);

// Keeps the time per iteration of every run, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times; // run name -> real time per iteration, microseconds

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            // One figure per benchmark: the median of repetitions, or the single run.
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (median)
                times[run.run_name.str()] = run.GetAdjustedRealTime();
            else if (single)
                times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* size : {"320/240", "640/480"}) {
        const auto work = reporter.times.find(std::string("FrameWork/") + size);
        const auto flip = reporter.times.find(std::string("Flip/") + size);
        const auto floor = reporter.times.find(std::string("TwoCopies/") + size);
        if (work != reporter.times.end() && floor != reporter.times.end())
            std::cout << "frame work at " << size << ": " << work->second / floor->second
                      << " x two plain copies of the frame\n";
        if (flip != reporter.times.end() && floor != reporter.times.end())
            std::cout << "flip alone at " << size << ": " << flip->second / floor->second
                      << " x two plain copies of the frame\n";
    }
    double windowed = 0, full = 0; // milliseconds per frame
    for (const auto& [name, time] : reporter.times) {
        if (name.find("DefaultSceneFrame/windowed") == 0)
            windowed = time;
        else if (name.find("DefaultSceneFrame/fullscreen") == 0)
            full = time;
    }
    if (windowed > 0 && full > 0)
        std::cout << "default show: " << 1000 / full << " fps full screen against " << 1000 / windowed
                  << " fps in a window of 800x600 (full screen takes " << full / windowed << " x the time)\n";
    benchmark::Shutdown();
    return 0;
}
