// What the frame cycle costs the CPU per video frame (blank a row, turn the
// frame over in place, upload it into the video texture) against the physical floor of two plain
// copies of the frame, at 320x240 and 640x480; and the frames per second of
// the default scene at 800x600 with a video frame uploaded every frame.
// Runs on a real render window, so it needs a display (Xvfb will do).
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

// The engine with a window and the default scene, made once for all runs.
struct Engine {
    bool running = true;
    std::unique_ptr<kwo::AppWindow> window;
    Ogre::Root* root = nullptr;
    Ogre::RenderWindow* renderWindow = nullptr;
    Ogre::SceneManager* scene = nullptr;
    Json::Value config;
    kwo::UniqueNameCounter names;
    kwo::RenderingSetup rendering;
    kwo::VideoBackground background;

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
        window = std::make_unique<kwo::AppWindow>(running, "scene bench", 800, 600, kwo::WindowOptions{});
        renderWindow = kwo::createRenderWindow(*root, windowSettings, window->nativeHandle());
        window->attachRenderWindow(renderWindow);
        scene = root->createSceneManager();
        kwo::addMediaLocations(settings["media"]["locations"]);
        rendering = kwo::setUpRendering(*scene, settings["rendering"], settings["graphics"]["lights"], names);
        background = kwo::createVideoBackground(*scene, *renderWindow, settings["rendering"], names, 320, 240, false);
        window->show();
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

void DefaultSceneFrame(benchmark::State& state)
{
    Engine& e = engine();
    std::vector<std::uint8_t> frame = cameraFrame(320, 240);
    std::vector<std::uint8_t> scratch;
    for (auto _ : state) {
        kwo::blankLastRow(frame.data(), 320, 240);
        kwo::flipRows(frame.data(), 320, 240, scratch);
        kwo::uploadFrame(*e.background.buffer, frame.data(), 320, 240);
        e.root->renderOneFrame();
    }
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(FrameWork)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMicrosecond);
BENCHMARK(Flip)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMicrosecond);
BENCHMARK(TwoCopies)->Args({320, 240})->Args({640, 480})->Unit(benchmark::kMicrosecond);
BENCHMARK(DefaultSceneFrame)->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime();

// Keeps the time per iteration of every run, to print the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> times; // run name -> real time per iteration, microseconds

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            times[run.benchmark_name()] = run.GetAdjustedRealTime();
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
    benchmark::Shutdown();
    return 0;
}
