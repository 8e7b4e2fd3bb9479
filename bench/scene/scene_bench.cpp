// What the frame cycle costs the CPU per video frame (blank the top row,
// upload the frame into the video texture) against the physical floor of two
// plain copies of the frame, at 320x240, 640x480 and 1920x1080 (and the
// driver's own upload of the frame without the engine), in the
// thread's CPU time; and the frames per second of the default show (the
// backdrop, the camera picture and the four default creatures standing on
// markers in view, animated) with a video frame uploaded every frame (no
// decoding, no tracking), in a window of 800x600 and full screen
// drawn both ways (at the screen's resolution with the layout scaled, and at
// 800x600 with the finished picture scaled to the screen), each against
// presenting the same window with nothing drawn, in the same run. Only the
// window being measured is shown, so that no window hides another and is
// presented more cheaply. The scene's processor time is the whole process's
// (the software renderer draws on threads of its own). Runs on real render
// windows, so it needs a display (Xvfb will do); the full-screen figures are
// for the screen it runs on:
//   tests/support/with-display --screen 1920x1080 build/bench/scene/kwo_scene_bench
#include "app/window.h"
#include "config/documents.h"
#include "config/setting.h"
#include "scene/engine.h"
#include "scene/frame_picture.h"
#include "scene/object_scene.h"
#include "scene/rendering_options.h"
#include "scene/rendering_settings.h"
#include "scene/scaled_presentation.h"
#include "scene/video_background.h"
#include "tracking/ar/ar.h"
#include "tracking/projection.h"
#include "tracking/tracked_object.h"

#include <OgreAnimationState.h>
#include <OgreCamera.h>
#include <OgreSceneNode.h>

#include <OgreRectangle2D.h>
#include <OgreRenderWindow.h>
#include <OgreRoot.h>
#include <OgreTextureManager.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <benchmark/benchmark.h>
#include <json/reader.h>

#include <OgreViewport.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// One show: an application window, its render window and the default scene
// drawn into it, with the default creatures on markers in view.
struct Show {
    std::unique_ptr<kwo::AppWindow> window;
    Ogre::RenderWindow* renderWindow = nullptr;
    Ogre::SceneManager* scene = nullptr;
    kwo::RenderingSetup rendering;
    kwo::VideoBackground background;
    std::unique_ptr<kwo::ScaledPresentation> presentation; // full screen drawn at 800x600 only
    std::vector<TrackedObject> creatures;
    std::vector<Ogre::AnimationState*> animations;
};

// The camera frames' size in the shows.
constexpr int showFrameWidth = 320, showFrameHeight = 240;

// Where each marker lies in front of the stand-in camera: tilted back like
// a card on a table, side by side across the middle of the picture
// (millimetres, camera frame: x right, y down, z forward).
void placeOnMarker(TrackedObject& creature, int index)
{
    // Marker x right, y up as printed, z toward the viewer; turned 180
    // degrees about x it faces the camera upright, 130 tilts it back.
    creature.markerNode->setOrientation(Ogre::Quaternion(Ogre::Degree(130), Ogre::Vector3::UNIT_X));
    creature.markerNode->setPosition(Ogre::Vector3(-150.0f + 100.0f * static_cast<float>(index), 40, 560));
    creature.markerNode->setVisible(true, true);
}

// How each show is drawn, by the name its runs carry.
enum class Drawing { windowed, screenResolution, scaledPicture };

// The engine with three shows, a window of 800x600 and two full screen (one
// drawn at the screen's resolution, one drawn at 800x600 and scaled), made
// once for all runs. Each show has a scene of its own, so none draws
// another's rectangles. The video texture has one name: the last show's
// replaces the others' in the shared material, and all upload a frame of the
// same size each frame, so all pay the same.
struct Engine {
    bool running = true;
    Ogre::Root* root = nullptr;
    Json::Value config;
    kwo::UniqueNameCounter names;
    Show windowed;
    Show fullScreen;
    Show scaled;
    Show* exposed = nullptr;

    Engine()
    {
        Json::Reader().parse(std::string(kwo::defaultDocument()), config);
        config["media"]["locations"] = Json::Value(Json::arrayValue);
        for (const char* archive : {"Core", "Quillmoth", "Brackenjaw", "Sliverfin", "Mossglider", "Decor"})
            config["media"]["locations"].append(std::string(KWO_PROGRAM_DIR "/media/graphics/") + archive + ".dat");
        ARParam calibration{};
        if (arParamLoad(KWO_PROGRAM_DIR "/tracking/camera.dat", 1, &calibration) < 0)
            throw std::runtime_error(KWO_PROGRAM_DIR "/tracking/camera.dat: cannot be read");
        ARParam resized{};
        arParamChangeSize(&calibration, showFrameWidth, showFrameHeight, &resized);
        const kwo::Setting settings(config, "");
        root = kwo::createRoot("/dev/null");
        kwo::startRenderSystem(*root);
        kwo::WindowSettings windowSettings = kwo::readWindowSettings(settings["window"]);
        windowSettings.vsync = false;
        openWindow(windowed, windowSettings, "");
        openWindow(fullScreen, windowSettings, "full screen");
        openWindow(scaled, windowSettings, "full screen scaled");
        kwo::addMediaLocations(settings["media"]["locations"]);
        scaled.presentation = std::make_unique<kwo::ScaledPresentation>(*root, *scaled.renderWindow, 800, 600, 0,
                                                                        names);
        for (Show* show : {&windowed, &fullScreen, &scaled}) {
            show->scene = root->createSceneManager();
            show->rendering =
                kwo::setUpRendering(*show->scene, settings["rendering"], settings["graphics"]["lights"], names);
            const kwo::LayoutSize layout{static_cast<unsigned>(show->window->layoutWidth()),
                                         static_cast<unsigned>(show->window->layoutHeight())};
            Ogre::RenderTarget& target =
                show->presentation ? show->presentation->picture() : *show->renderWindow;
            show->background = kwo::createVideoBackground(*show->scene, target, settings["rendering"], names,
                                                          showFrameWidth, showFrameHeight, false, layout);
            addCreatures(*show, settings, resized);
            // As the viewer does: the still backdrop drawn into the picture once.
            if (show->presentation)
                show->presentation->drawOnce(*show->background.backdropViewport);
        }
    }

    // The default creatures as the viewer builds them, each on a marker in
    // view, drawn through the calibrated camera's projection.
    void addCreatures(Show& show, const kwo::Setting& settings, const ARParam& calibration)
    {
        const kwo::ClipDistances clip = kwo::readClipDistances(settings["rendering"]);
        show.background.camera->setCustomProjectionMatrix(
            true, kwo::computeProjection(calibration, clip.nearDistance, clip.farDistance));
        Ogre::SceneNode* trackingRoot = show.scene->getRootSceneNode()->createChildSceneNode();
        trackingRoot->rotate(Ogre::Vector3::UNIT_X, Ogre::Degree(180), Ogre::Node::TS_LOCAL);
        kwo::ObjectSceneContext context{show.scene, trackingRoot, names, show.animations};
        const kwo::Setting objects = settings["tracking"]["objects"];
        show.creatures.resize(objects.size());
        for (unsigned i = 0; i < objects.size(); ++i) {
            show.creatures[i].name = objects[i].name("name");
            kwo::buildObjectScene(show.creatures[i], settings, context);
            placeOnMarker(show.creatures[i], static_cast<int>(i));
        }
    }

    void openWindow(Show& show, const kwo::WindowSettings& settings, const std::string& name)
    {
        const bool full = !name.empty();
        kwo::WindowOptions options;
        options.fullscreen = full;
        show.window = std::make_unique<kwo::AppWindow>(running, "scene bench " + name, 800, 600, options);
        // Render windows need names of their own; the viewer's one window has none.
        const Ogre::NameValuePairList parameters =
            kwo::renderWindowParameters(settings, show.window->nativeHandle());
        show.renderWindow = root->createRenderWindow(name, 0, 0, full, &parameters);
        show.window->attachRenderWindow(show.renderWindow);
    }

    Show& show(Drawing drawing)
    {
        return drawing == Drawing::windowed ? windowed : drawing == Drawing::screenResolution ? fullScreen : scaled;
    }

    // Shows `show` alone: a window under another is presented more cheaply
    // (the display server clips what cannot be seen).
    Show& expose(Drawing drawing)
    {
        Show& wanted = show(drawing);
        if (exposed == &wanted)
            return wanted;
        for (Show* other : {&windowed, &fullScreen, &scaled})
            if (other != &wanted)
                other->window->hide();
        wanted.window->show();
        exposed = &wanted;
        // Let the window manager map and place it.
        for (int i = 0; i < 50; ++i) {
            wanted.window->pumpEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return wanted;
    }
};

Engine& engine()
{
    static Engine instance;
    return instance;
}

// A frame's bytes starting on a page. Buffers from the allocator start at an
// arbitrary offset within a 4 kB page; two at nearly the same offset make
// every copy between them stall on false store-to-load dependencies (4K
// aliasing), and the reference would measure that instead of the copy.
class PageAlignedFrame {
public:
    explicit PageAlignedFrame(std::size_t size)
        : bytes(size), memory(static_cast<std::uint8_t*>(std::aligned_alloc(4096, (size + 4095) / 4096 * 4096)))
    {
        if (!memory)
            throw std::bad_alloc();
    }
    std::uint8_t* data() { return memory.get(); }
    std::size_t size() const { return bytes; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::size_t bytes;
    std::unique_ptr<std::uint8_t, Free> memory;
};

PageAlignedFrame cameraFrame(int width, int height)
{
    PageAlignedFrame frame(static_cast<std::size_t>(width) * height * 4);
    std::minstd_rand random(7);
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame.data()[i] = static_cast<std::uint8_t>(random());
    return frame;
}

double processSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

Ogre::TexturePtr videoTexture(int width, int height)
{
    engine();
    const std::string name = "bench/" + std::to_string(width) + "x" + std::to_string(height);
    Ogre::TextureManager& textures = Ogre::TextureManager::getSingleton();
    Ogre::TexturePtr texture = textures.getByName(name, "General");
    if (!texture)
        texture = textures.createManual(name, "General", Ogre::TEX_TYPE_2D, width, height, 0, Ogre::PF_X8R8G8B8,
                                        Ogre::TU_DYNAMIC_WRITE_ONLY_DISCARDABLE);
    return texture;
}

void FrameWork(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    PageAlignedFrame frame = cameraFrame(width, height);
    const Ogre::HardwarePixelBufferSharedPtr buffer = videoTexture(width, height)->getBuffer(0, 0);
    for (auto _ : state) {
        kwo::blankTopRow(frame.data(), width, height);
        kwo::uploadFrame(*buffer, frame.data(), width, height);
        benchmark::ClobberMemory();
    }
}

// The frame given to the driver directly (blue, green, red, pad as bytes, or
// as the engine sends it, packed words), the texture's storage first made
// from a frame of that format and type, so that a driver choosing its layout
// from them stores the frames' own: what the driver's upload costs without
// the engine, third argument 0 for bytes, 1 for packed words.
void DirectUpload(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const GLenum type = state.range(2) ? GL_UNSIGNED_INT_8_8_8_8_REV : GL_UNSIGNED_BYTE;
    PageAlignedFrame frame = cameraFrame(width, height);
    Ogre::TexturePtr texture = videoTexture(width, height);
    GLuint id = 0;
    texture->getCustomAttribute("GLID", &id);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, id);
    GLint internalFormat = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internalFormat);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, GL_BGRA, type, frame.data());
    for (auto _ : state) {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_BGRA, type, frame.data());
        benchmark::ClobberMemory();
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
}

void TwoCopies(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    PageAlignedFrame frame = cameraFrame(width, height);
    PageAlignedFrame other(frame.size());
    for (auto _ : state) {
        std::memcpy(other.data(), frame.data(), frame.size());
        benchmark::DoNotOptimize(other.data());
        std::memcpy(frame.data(), other.data(), frame.size());
        benchmark::ClobberMemory();
    }
}

// One frame of the show: the frame work, then drawing and showing the picture.
void DefaultSceneFrame(benchmark::State& state, Drawing drawing)
{
    Show& show = engine().expose(drawing);
    PageAlignedFrame frame = cameraFrame(showFrameWidth, showFrameHeight);
    const double processBefore = processSeconds();
    for (auto _ : state) {
        for (Ogre::AnimationState* animation : show.animations)
            if (animation->getEnabled())
                animation->addTime(1.0f / 30);
        kwo::blankTopRow(frame.data(), showFrameWidth, showFrameHeight);
        kwo::uploadFrame(*show.background.buffer, frame.data(), showFrameWidth, showFrameHeight);
        show.renderWindow->update(true);
    }
    const double process = processSeconds() - processBefore;
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["process_ms"] = 1000 * process / static_cast<double>(state.iterations());
    state.counters["pixels"] = show.renderWindow->getWidth() * show.renderWindow->getHeight();
    const Ogre::RenderTarget& drawn = show.presentation ? show.presentation->picture() : *show.renderWindow;
    state.counters["drawn_pixels"] = drawn.getWidth() * drawn.getHeight();
    state.counters["creatures"] = static_cast<double>(show.creatures.size());
}

// The peer of a show's frame: the same window cleared and presented with
// nothing drawn into it, which every frame pays whatever the scene (the show
// scaled from 800x600 copies its picture, unchanged, to the window).
void PresentOnly(benchmark::State& state, Drawing drawing)
{
    Show& show = engine().expose(drawing);
    std::vector<Ogre::Viewport*> viewports = {show.background.backdropViewport, show.background.sceneViewport};
    if (show.presentation)
        show.presentation->setPictureDrawn(false);
    std::vector<std::uint32_t> masks;
    for (Ogre::Viewport* viewport : viewports) {
        masks.push_back(viewport->getVisibilityMask());
        viewport->setVisibilityMask(0);
        viewport->setOverlaysEnabled(false);
    }
    const double processBefore = processSeconds();
    for (auto _ : state)
        show.renderWindow->update(true);
    const double process = processSeconds() - processBefore;
    for (std::size_t i = 0; i < masks.size(); ++i) {
        viewports[i]->setVisibilityMask(masks[i]);
        viewports[i]->setOverlaysEnabled(true);
    }
    if (show.presentation)
        show.presentation->setPictureDrawn(true);
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["process_ms"] = 1000 * process / static_cast<double>(state.iterations());
}

BENCHMARK(FrameWork)->Args({320, 240})->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(DirectUpload)->Args({640, 480, 0})->Args({640, 480, 1})->Args({1920, 1080, 0})->Args({1920, 1080, 1})
    ->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(TwoCopies)->Args({320, 240})->Args({640, 480})->Args({1920, 1080})->Unit(benchmark::kMicrosecond)
    ->Repetitions(5)->ReportAggregatesOnly(true);
// Real time for the frame rate; the software renderer draws on threads of
// its own, which the thread's CPU time would not see, so the processor time
// is the process's, counted by the benchmark itself.
BENCHMARK_CAPTURE(DefaultSceneFrame, windowed, Drawing::windowed)
    ->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime()->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(PresentOnly, windowed, Drawing::windowed)
    ->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(DefaultSceneFrame, fullscreen_screen_resolution, Drawing::screenResolution)
    ->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime()->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(PresentOnly, fullscreen_screen_resolution, Drawing::screenResolution)
    ->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(DefaultSceneFrame, fullscreen_scaled_picture, Drawing::scaledPicture)
    ->Unit(benchmark::kMillisecond)->MinTime(3)->UseRealTime()->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(PresentOnly, fullscreen_scaled_picture, Drawing::scaledPicture)
    ->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime()->Repetitions(3)->ReportAggregatesOnly(true);

// Keeps the median and the spread of every run, to print the ratios at the
// end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Figure {
        double cpu = 0;       // thread CPU time per iteration, median, in the run's unit
        double cpuSpread = 0; // its standard deviation over the repetitions
        std::map<std::string, double> counters; // medians
    };
    std::map<std::string, Figure> figures; // by run name, e.g. "FrameWork/320/240"
    std::map<std::string, std::map<std::string, double>> spreads; // run name -> counter -> standard deviation

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate)
                continue;
            Figure& figure = figures[run.run_name.str()];
            if (run.aggregate_name == "median") {
                figure.cpu = run.GetAdjustedCPUTime();
                for (const auto& [name, counter] : run.counters)
                    figure.counters[name] = counter.value;
            } else if (run.aggregate_name == "stddev") {
                figure.cpuSpread = run.GetAdjustedCPUTime();
                for (const auto& [name, counter] : run.counters)
                    spreads[run.run_name.str()][name] = counter.value;
            }
        }
    }

    // Run names go on with the run's options ("/repeats:5"): looked up by
    // the benchmark's name and arguments.
    const Figure* find(const std::string& name) const
    {
        for (const auto& [run, figure] : figures)
            if (run == name || run.rfind(name + "/", 0) == 0)
                return &figure;
        return nullptr;
    }
    double spread(const std::string& name, const std::string& counter) const
    {
        for (const auto& [run, counters] : spreads)
            if (run == name || run.rfind(name + "/", 0) == 0) {
                const auto found = counters.find(counter);
                return found == counters.end() ? 0 : found->second;
            }
        return 0;
    }
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nmedians of the repetitions, +- their standard deviation:\n");
    for (const char* size : {"320/240", "640/480", "1920/1080"}) {
        const auto* floor = reporter.find(std::string("TwoCopies/") + size);
        if (!floor || floor->cpu <= 0)
            continue;
        if (const auto* figure = reporter.find(std::string("FrameWork/") + size))
            std::printf("frame work at %s: %.2f x two plain copies of the frame (%.1f +- %.1f us against %.1f +- "
                        "%.1f us, thread CPU time)\n",
                        size, figure->cpu / floor->cpu, figure->cpu, figure->cpuSpread, floor->cpu, floor->cpuSpread);
        for (const auto& [type, named] : {std::pair{"/0", "bytes"}, std::pair{"/1", "packed words"}})
            if (const auto* direct = reporter.find(std::string("DirectUpload/") + size + type))
                std::printf("the driver's own upload at %s (%s, storage made from such a frame): %.2f x two plain "
                            "copies (%.1f +- %.1f us)\n",
                            size, named, direct->cpu / floor->cpu, direct->cpu, direct->cpuSpread);
    }
    std::map<std::string, double> processPerFrame, framesPerSecond;
    for (const char* where : {"windowed", "fullscreen_screen_resolution", "fullscreen_scaled_picture"}) {
        const std::string show = std::string("DefaultSceneFrame/") + where;
        const std::string bare = std::string("PresentOnly/") + where;
        const auto* drawn = reporter.find(show);
        const auto* presented = reporter.find(bare);
        if (!drawn || !presented)
            continue;
        const double fps = drawn->counters.at("fps"), bareFps = presented->counters.at("fps");
        const double process = drawn->counters.at("process_ms"), bareProcess = presented->counters.at("process_ms");
        processPerFrame[where] = process;
        framesPerSecond[where] = fps;
        std::printf("default show with %.0f creatures %s (%.0f pixels shown, %.0f drawn): %.1f +- %.1f fps against %.1f +- %.1f fps "
                    "presenting the window alone; process CPU %.2f +- %.2f ms a frame against %.2f +- %.2f ms "
                    "(%.2f x)\n",
                    drawn->counters.at("creatures"), where, drawn->counters.at("pixels"), drawn->counters.at("drawn_pixels"), fps,
                    reporter.spread(show, "fps"), bareFps, reporter.spread(bare, "fps"), process,
                    reporter.spread(show, "process_ms"), bareProcess, reporter.spread(bare, "process_ms"),
                    process / bareProcess);
    }
    if (processPerFrame.count("windowed"))
        for (const char* where : {"fullscreen_screen_resolution", "fullscreen_scaled_picture"})
            if (processPerFrame.count(where))
                std::printf("default show %s: %.2f x the process CPU per frame and %.2f x the frame rate of the "
                            "window of 800x600\n",
                            where, processPerFrame[where] / processPerFrame["windowed"],
                            framesPerSecond[where] / framesPerSecond["windowed"]);
    benchmark::Shutdown();
    return 0;
}
