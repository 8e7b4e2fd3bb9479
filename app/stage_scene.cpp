#include "app/kwo.h"

#include "app/window.h"
#include "config/setting.h"
#include "files/new_file.h"
#include "scene/engine.h"
#include "scene/picture_dimmer.h"
#include "scene/rendering_options.h"
#include "scene/scaled_presentation.h"
#include "scene/video_background.h"

#include <OgreLogManager.h>
#include <OgreMaterial.h>
#include <OgrePass.h>
#include <OgreTechnique.h>
#include <OgreRectangle2D.h>
#include <OgreRenderSystem.h>
#include <OgreRenderSystemCapabilities.h>
#include <OgreRenderWindow.h>
#include <OgreRoot.h>

#include <cstdlib>

void KWO::startEngine(const Json::Value& config)
{
    const kwo::Setting settings(config, "");
    // Without its log the show still runs; whoever looks after the station
    // hears once why the log is missing.
    const std::optional<std::string> logProblem = kwo::prepareForWriting("ogre.log");
    if (logProblem)
        notes.warn("ogre.log cannot be written (" + *logProblem + "); the engine log is not kept");
    root = kwo::createRoot("ogre.log", !logProblem);
    notes.alsoTo([](const std::string& line) { Ogre::LogManager::getSingleton().logMessage(line); });
    // Read and checked before anything is made, so that a value the window
    // cannot be made with is named by its key rather than blamed on the card.
    const kwo::WindowSettings windowSettings = kwo::readWindowSettings(settings["window"]);
    // Whatever goes wrong between the render system and the render window,
    // the user can only act on one fact: this machine cannot show the viewer.
    // Whoever looks after it finds the reason on standard error and in the log.
    try {
        kwo::startRenderSystem(*root);
        window = std::make_unique<kwo::AppWindow>(
            running, windowSettings.title, static_cast<int>(windowSettings.width),
            static_cast<int>(windowSettings.height),
            kwo::WindowOptions{windowSettings.colourDepth, windowSettings.fsaa, windowSettings.fullscreen});
        renderWindow = kwo::createRenderWindow(*root, windowSettings, window->nativeHandle());
        window->attachRenderWindow(renderWindow);
        pacer = kwo::FramePacer(windowSettings.vsync, window->refreshRate());
        Ogre::LogManager::getSingleton().logMessage(
            "Display refresh rate: " + std::to_string(static_cast<int>(pacer.refreshHz() + 0.5)) + " Hz" +
            (window->refreshRate() > 0 ? "" : " (not reported, assumed)"));
        chooseDrawingPace(windowSettings);
    } catch (const std::exception& error) {
        // Without a display every step fails in its own words; the cause is
        // the one thing to say (the engine logs its own error).
        const char* display = std::getenv("DISPLAY");
        throw Exception("The video card do not support the required features",
                        std::string("render window start-up failed: ") +
                            (!display || !*display ? "no display: DISPLAY is not set" : error.what()));
    } catch (...) {
        throw Exception("The video card do not support the required features");
    }
    sceneManager = root->createSceneManager();
    kwo::addMediaLocations(settings["media"]["locations"]);
}

// A software renderer pays for every drawn frame with a whole show of
// processor time; a graphics card draws the display's refresh for little.
void KWO::chooseDrawingPace(const kwo::WindowSettings& windowSettings)
{
    const std::string renderer = root->getRenderSystem()->getCapabilities()->getDeviceName();
    kwo::DrawingRule rule = windowSettings.drawing;
    if (rule == kwo::DrawingRule::automatic)
        rule = kwo::isSoftwareRenderer(renderer) ? kwo::DrawingRule::camera : kwo::DrawingRule::display;
    std::string line;
    switch (rule) {
    case kwo::DrawingRule::capped:
        pacer = kwo::FramePacer::capped(windowSettings.frameRateCap);
        line = "at most " + std::to_string(static_cast<int>(windowSettings.frameRateCap + 0.5)) +
               " frames per second";
        break;
    case kwo::DrawingRule::camera:
        pace = kwo::DrawingPace(true);
        line = "once per camera picture, at most at the display's refresh";
        break;
    default:
        line = "at the display's refresh";
        break;
    }
    // The pace a run's closing line is to be read against.
    Ogre::LogManager::getSingleton().logMessage("Frames drawn " + line + " (renderer: " + renderer + ")");
}

void KWO::setUpRendering(const Json::Value& config)
{
    const kwo::Setting settings(config, "");
    kwo::RenderingSetup setup =
        kwo::setUpRendering(*sceneManager, settings["rendering"], settings["graphics"]["lights"], names);
    mirror = setup.mirror;
    if (setup.shadowPanel) {
        rectangles.push_back(std::move(setup.shadowPanel));
        backdropChanges = true;
    }
}

// A full-screen show at a size other than its configured one is drawn either
// at the screen's resolution with its layout scaled, or at the configured size
// and scaled as a finished picture (see drawsAtConfiguredSize).
Ogre::RenderTarget& KWO::showTarget(const kwo::WindowSettings& windowSettings)
{
    const unsigned width = static_cast<unsigned>(window->layoutWidth());
    const unsigned height = static_cast<unsigned>(window->layoutHeight());
    if (!windowSettings.fullscreen || (renderWindow->getWidth() == width && renderWindow->getHeight() == height))
        return *renderWindow;
    const std::string renderer = root->getRenderSystem()->getCapabilities()->getDeviceName();
    const bool scaled =
        kwo::drawsAtConfiguredSize(windowSettings.fullscreenResolution, renderer, windowSettings.fsaa);
    const auto size = [](unsigned w, unsigned h) { return std::to_string(w) + "x" + std::to_string(h); };
    const std::string screen = size(renderWindow->getWidth(), renderWindow->getHeight());
    // Whoever wonders why the show looks soft, or runs slowly, finds the choice in the log.
    Ogre::LogManager::getSingleton().logMessage(
        "Full screen: the show is drawn at " + (scaled ? size(width, height) + " and scaled to " + screen : screen) +
        " (renderer: " + renderer + (windowSettings.fsaa > 0 ? "; the window is multisampled" : "") + ")");
    if (!scaled)
        return *renderWindow;
    presentation = std::make_unique<kwo::ScaledPresentation>(*root, *renderWindow, width, height, 0, names);
    return presentation->picture();
}

void KWO::createVideoBackground(const Json::Value& config)
{
    const kwo::Setting settings(config, "");
    const kwo::LayoutSize layout{static_cast<unsigned>(window->layoutWidth()),
                                 static_cast<unsigned>(window->layoutHeight())};
    Ogre::RenderTarget& target = showTarget(kwo::readWindowSettings(settings["window"]));
    kwo::VideoBackground background = kwo::createVideoBackground(*sceneManager, target, settings["rendering"], names,
                                                                 videoWidth, videoHeight, mirror, layout);
    // Drawn into a picture that keeps its pixels, a backdrop that never
    // changes is drawn once; the scene viewport redraws all of its pixels
    // every frame.
    if (presentation && !backdropChanges)
        presentation->drawOnce(*background.backdropViewport);
    camera = background.camera;
    videoTexture = background.texture;
    videoBuffer = background.buffer;
    lostLook = std::make_unique<kwo::PictureDimmer>(
        *background.video->getMaterial()->getTechnique(0)->getPass(0)->getTextureUnitState(0));
    rectangles.push_back(std::move(background.backdrop));
    rectangles.push_back(std::move(background.video));
}
