#pragma once

#include "config/setting.h"

#include <OgreCommon.h>

#include <string>
#include <vector>

namespace Ogre {
class RenderWindow;
class Root;
} // namespace Ogre

namespace kwo {

// How many pixels a full-screen show is drawn with when the screen's size
// differs from the configured one ("window/fullscreen_resolution").
enum class FullScreenResolution {
    automatic, // "auto": the configured size on a software renderer, else the screen's
    screen,    // "screen": the screen's own pixels, sharpest; every pass shades them all
    window,    // "window": the configured size, the finished picture then scaled to the screen
};

// The largest window side taken, in pixels (larger ones count as this): as
// much as any renderer draws.
constexpr unsigned maxWindowSide = 16384;
// The most multisampling samples asked of a window.
constexpr unsigned maxSamples = 16;

// How often the show is drawn ("window/frame_rate").
enum class DrawingRule {
    automatic, // "auto": `camera` on a software renderer, else `display`
    display,   // "display": at the display's refresh
    camera,    // "camera": once per camera picture, never faster than the display
    capped,    // a number: at most that many frames per second
};

// The "window" section as the engine start-up reads it.
struct WindowSettings {
    unsigned width = 800;   // client area, pixels: 1..maxWindowSide (clamped to the screen when windowed)
    unsigned height = 600;
    std::string title;
    unsigned colourDepth = 32; // bits per pixel of the render window: 16, 24 or 32
    bool vsync = true;
    unsigned fsaa = 0;         // multisampling samples, 0 for none, at most maxSamples
    bool gamma = false;
    bool fullscreen = false;
    FullScreenResolution fullscreenResolution = FullScreenResolution::automatic;
    DrawingRule drawing = DrawingRule::automatic;
    double frameRateCap = 0; // frames per second, for DrawingRule::capped
};

// Reads and checks the section in the order the start-up needs it: size and
// title for the window first, then the render window's options. A value of
// the wrong type (a negative width) throws the conversion error with the key
// in its detail; a side of 0, a colour depth other than 16, 24 or 32, more
// than maxSamples samples and a word outside its list an error naming the
// key. Sides above maxWindowSide count as that.
WindowSettings readWindowSettings(const Setting& window);

// The engine root, logging to `logFile` (only in memory when not
// `writeFile`) and reading no plugin list and no engine configuration file.
// The caller owns it.
Ogre::Root* createRoot(const std::string& logFile, bool writeFile = true);
// Shuts the engine down and closes its log.
void deleteRoot(Ogre::Root* root);

// Loads the OpenGL render system and the image codec from the engine's plugin
// folder, selects the first render system and initialises the root without a
// window. Throws the engine's error when a plugin cannot be loaded.
void startRenderSystem(Ogre::Root& root);

// The five parameters that bind a render window to an existing window.
Ogre::NameValuePairList renderWindowParameters(const WindowSettings& settings, unsigned long windowHandle);

// The render window drawing into the window `windowHandle` (its size is the
// window's client area).
Ogre::RenderWindow* createRenderWindow(Ogre::Root& root, const WindowSettings& settings,
                                       unsigned long windowHandle);

// "Zip" for a location ending in ".zip" or ".dat" in any letter case,
// "FileSystem" for anything else (a folder).
std::string archiveType(const std::string& location);

// The elements of "media/locations", each a string.
std::vector<std::string> readMediaLocations(const Setting& locations);

// Registers every element of `locations` in the group "General", in order,
// then the engine's own shadow media (its texture shadows need them), and
// parses every script. A missing archive throws the engine's error.
void addMediaLocations(const Setting& locations);

} // namespace kwo
