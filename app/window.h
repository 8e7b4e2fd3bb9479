#pragma once

#include <functional>
#include <string>

union SDL_Event;
struct SDL_Window;

namespace Ogre {
class RenderWindow;
}

namespace kwo {

// What the viewer cares about among the window system's events.
enum class WindowEvent {
    none,    // anything else
    close,   // the close box, the window menu, Alt+F4
    escape,  // the Escape key pressed in the window
    hidden,  // hidden or minimised: nothing to draw
    shown,   // shown or restored
    resized, // the client area changed size (going full screen)
    // The technician's keys, handed to the program (see AppWindow::onTuningKey).
    tuningView,     // F2: the tuning view on or off
    thresholdUp,    // + (also the key it shares with =, and the keypad's)
    thresholdDown,  // - (also the keypad's)
};

// Pure translation of one SDL event; needs no window.
WindowEvent convertEvent(const SDL_Event& event);

// A rectangle on the screen: a window's outer frame or a display's usable area.
struct ScreenRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Decoration sizes the window manager adds around the client area.
struct FrameBorders {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The outer frame of a window with a client area of `width` x `height`:
// no larger than `usable` and centred in it (integer halves truncated).
ScreenRect placeWindow(int width, int height, const FrameBorders& borders, const ScreenRect& usable);

// Where a picture laid out at `width` x `height` goes on a screen of
// `screenWidth` x `screenHeight`: scaled uniformly to the largest size that
// fits, centred (integer halves truncated). Relative to the screen's corner.
ScreenRect fitPicture(int width, int height, int screenWidth, int screenHeight);

// How the window is shown. The engine takes the GL properties from the
// window's visual, so colour depth and multisampling are chosen here.
struct WindowOptions {
    unsigned colourDepth = 32; // 16 gives 5-6-5 colour, anything else 8 bits per channel
    unsigned fsaa = 0;         // multisampling samples, 0 for none
    bool fullscreen = false;   // cover the whole display, the picture scaled to fit it
};

// The application window: a fixed-size top-level window with a title bar,
// a close box and a minimise box, the program's icon, placed in the middle of
// the primary display's usable area. It is created hidden. Events are pumped
// by the program, once per frame, with pumpEvents: closing the window or
// pressing Escape lowers the run flag, hiding or minimising it makes the
// render window report itself not visible (so the frame cycle idles) and
// showing it again visible. Throws std::runtime_error when the display or the
// window cannot be had.
//
// Full screen, the window covers the primary display from the moment it is
// shown, and the engine draws into a picture window of the configured size
// scaled up (or down) uniformly to the largest that fits, centred on black.
// The display mode is never switched: there is nothing to restore when the
// run ends, however it ends. Whether the show is drawn at the picture
// window's resolution or at the configured size and scaled is the engine's
// choice (ScaledPresentation); the layout counts in configured pixels either
// way.
class AppWindow {
public:
    AppWindow(bool& running, const std::string& title, int width, int height, const WindowOptions& options);
    ~AppWindow();
    AppWindow(const AppWindow&) = delete;
    AppWindow& operator=(const AppWindow&) = delete;

    // The X11 id of the window the engine draws into, for its
    // "externalWindowHandle".
    unsigned long nativeHandle() const;

    // The size, in pixels, that a layout in pixels counts in: the client
    // area of a window, or the configured size of a full-screen picture
    // (whose real pixels are that many scaled).
    int layoutWidth() const { return layout.width; }
    int layoutHeight() const { return layout.height; }

    // The refresh rate of the display the window is on, in hertz; 0 when the
    // display does not say.
    double refreshRate() const;

    // The render window whose visibility follows the window's; may be null.
    void attachRenderWindow(Ogre::RenderWindow* renderWindow) { rendered = renderWindow; }

    // Shows the window, covering the whole display when asked to.
    void show();
    void hide();

    // Handles every queued event; true when one of them may change what is
    // shown or end the run.
    bool pumpEvents();

    // Called with each of the technician's keys while events are pumped.
    std::function<void(WindowEvent)> onTuningKey;

private:
    void handle(WindowEvent event);
    void createPicture(const ScreenRect& place);
    void centrePicture();
    void placeWindowed(int width, int height);
    void placeFullScreen(int width, int height);

    bool& running;
    bool fullscreen;
    SDL_Window* window = nullptr;
    unsigned long picture = 0; // child window the engine draws into
    int pictureWidth = 0, pictureHeight = 0;
    ScreenRect layout;
    Ogre::RenderWindow* rendered = nullptr;
};

} // namespace kwo
