#include "scene/engine.h"

#include "config/exception.h"
#include "scene/media_archive_check.h"

#include <OgreLogManager.h>
#include <OgreRenderWindow.h>
#include <OgreResourceGroupManager.h>
#include <OgreRoot.h>
#include <OgreStringConverter.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace kwo {

namespace {

// A window or picture side in pixels: 1 or more. The window is clamped to the
// screen when it is made; full screen, the configured size is what the
// layout counts in, and no renderer draws more than this many pixels a side.
unsigned readSide(const Setting& window, const std::string& key, unsigned fallback)
{
    const unsigned side = window.getUInt(key, fallback);
    if (side < 1)
        throw Exception(window[key].path() + ": 0 is below 1");
    return std::min(side, maxWindowSide);
}

} // namespace

WindowSettings readWindowSettings(const Setting& window)
{
    WindowSettings settings;
    settings.width = readSide(window, "width", 800);
    settings.height = readSide(window, "height", 600);
    settings.title = window.getString("title", "");
    settings.colourDepth = window.getUInt("color", 32);
    // 16 gives 5-6-5 colour, 24 and 32 eight bits a channel; the window
    // system has no other.
    if (settings.colourDepth != 16 && settings.colourDepth != 24 && settings.colourDepth != 32)
        throw Exception(window["color"].path() + ": " + std::to_string(settings.colourDepth) +
                        " is not 16, 24 or 32");
    settings.vsync = window.getBool("vsync", true);
    settings.fsaa = window.getUInt("fsaa", 0);
    if (settings.fsaa > maxSamples)
        throw Exception(window["fsaa"].path() + ": " + std::to_string(settings.fsaa) + " is outside 0.." +
                        std::to_string(maxSamples));
    settings.gamma = window.getBool("gamma", false);
    settings.fullscreen = window.getBool("fullscreen", false);
    // Named in the message whatever is wrong with it: a word only makes sense as a string.
    const std::string resolution =
        window.has("fullscreen_resolution") ? window.text("fullscreen_resolution") : std::string("auto");
    if (resolution == "screen")
        settings.fullscreenResolution = FullScreenResolution::screen;
    else if (resolution == "window")
        settings.fullscreenResolution = FullScreenResolution::window;
    else if (resolution != "auto")
        throw Exception("Invalid " + window["fullscreen_resolution"].path() + " '" + resolution +
                        "' (auto, screen or window)");
    const Setting frameRate = window["frame_rate"];
    if (frameRate.value().isNumeric()) {
        settings.frameRateCap = window.getDouble("frame_rate", 0);
        if (!(settings.frameRateCap > 0))
            throw Exception("Invalid " + frameRate.path() + " '" + frameRate.value().asString() +
                            "' (auto, display, camera or frames per second above 0)");
        settings.drawing = DrawingRule::capped;
        return settings;
    }
    const std::string drawing = window.has("frame_rate") ? window.text("frame_rate") : std::string("auto");
    if (drawing == "display")
        settings.drawing = DrawingRule::display;
    else if (drawing == "camera")
        settings.drawing = DrawingRule::camera;
    else if (drawing != "auto")
        throw Exception("Invalid " + frameRate.path() + " '" + drawing +
                        "' (auto, display, camera or frames per second above 0)");
    return settings;
}

Ogre::Root* createRoot(const std::string& logFile, bool writeFile)
{
    // The log is for the file alone; standard output stays the program's own.
    // A log made before the root keeps the engine's start-up lines off it too;
    // the root then leaves the log manager to us (deleteRoot).
    auto* logs = new Ogre::LogManager();
    logs->createLog(logFile, true, false, !writeFile);
    return new Ogre::Root("", "", logFile);
}

void deleteRoot(Ogre::Root* root)
{
    delete root;
    delete Ogre::LogManager::getSingletonPtr();
}

void startRenderSystem(Ogre::Root& root)
{
    root.loadPlugin(OGRE_PLUGIN_DIR "/RenderSystem_GL");
    // Without the codec every picture of the media loads blank.
    root.loadPlugin(OGRE_PLUGIN_DIR "/Codec_STBI");
    const Ogre::RenderSystemList& renderers = root.getAvailableRenderers();
    if (renderers.empty())
        throw std::runtime_error("no render system");
    root.setRenderSystem(renderers.front());
    root.initialise(false, "OGRE Render Window");
}

Ogre::NameValuePairList renderWindowParameters(const WindowSettings& settings, unsigned long windowHandle)
{
    Ogre::NameValuePairList parameters;
    parameters["colourDepth"] = Ogre::StringConverter::toString(settings.colourDepth);
    parameters["vsync"] = Ogre::StringConverter::toString(settings.vsync);
    parameters["FSAA"] = Ogre::StringConverter::toString(settings.fsaa);
    parameters["gamma"] = Ogre::StringConverter::toString(settings.gamma);
    parameters["externalWindowHandle"] = Ogre::StringConverter::toString(windowHandle);
    return parameters;
}

Ogre::RenderWindow* createRenderWindow(Ogre::Root& root, const WindowSettings& settings, unsigned long windowHandle)
{
    const Ogre::NameValuePairList parameters = renderWindowParameters(settings, windowHandle);
    // The engine ignores the full-screen flag for a window it did not make;
    // the application window goes full screen itself when shown.
    return root.createRenderWindow("", 0, 0, settings.fullscreen, &parameters);
}

std::string archiveType(const std::string& location)
{
    if (location.size() >= 4) {
        std::string end = location.substr(location.size() - 4);
        std::transform(end.begin(), end.end(), end.begin(), [](unsigned char c) { return std::tolower(c); });
        if (end == ".zip" || end == ".dat")
            return "Zip";
    }
    return "FileSystem";
}

std::vector<std::string> readMediaLocations(const Setting& locations)
{
    std::vector<std::string> paths;
    const unsigned count = locations.size();
    for (unsigned i = 0; i < count; ++i)
        paths.push_back(locations[i].asString());
    return paths;
}

void addMediaLocations(const Setting& locations)
{
    Ogre::ResourceGroupManager& groups = Ogre::ResourceGroupManager::getSingleton();
    for (const std::string& path : readMediaLocations(locations)) {
        const std::string type = archiveType(path);
        if (type == "Zip")
            if (const auto damage = checkMediaArchive(path))
                throw Exception(*damage);
        groups.addResourceLocation(path, type, "General", false);
    }
    groups.addResourceLocation(OGRE_MEDIA_DIR "/ShadowVolume", "FileSystem", "General", false);
    groups.initialiseAllResourceGroups();
}

} // namespace kwo
