#include "app/window.h"

#include "resources/icon.h"

#include <OgreRenderWindow.h>

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace kwo {
namespace {

std::runtime_error sdlError(const std::string& what)
{
    return std::runtime_error(what + ": " + SDL_GetError());
}

SDL_SysWMinfo windowSystemInfo(SDL_Window* window)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        throw sdlError("no X11 window");
    return info;
}

bool readFrameExtents(Display* display, Window window, FrameBorders& borders)
{
    const Atom extents = XInternAtom(display, "_NET_FRAME_EXTENTS", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    const bool found = XGetWindowProperty(display, window, extents, 0, 4, False, XA_CARDINAL, &type, &format,
                                          &count, &remaining, &data) == Success &&
                       type == XA_CARDINAL && format == 32 && count == 4;
    if (found) {
        const long* values = reinterpret_cast<const long*>(data);
        borders = {static_cast<int>(values[0]), static_cast<int>(values[2]), static_cast<int>(values[1]),
                   static_cast<int>(values[3])};
    }
    if (data)
        XFree(data);
    return found;
}

// The decorations the window manager will put around the window, asked for
// before the window is mapped so that the window can be sized and placed
// once, hidden, before the engine binds to it. Without a window manager there
// are none.
FrameBorders frameBorders(SDL_Window* window)
{
    const SDL_SysWMinfo info = windowSystemInfo(window);
    Display* display = info.info.x11.display;
    const Window id = info.info.x11.window;
    FrameBorders borders;
    const Window root = DefaultRootWindow(display);
    const Atom supporting = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (supporting == None)
        return borders;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, root, supporting, 0, 1, False, XA_WINDOW, &type, &format, &count, &remaining, &data);
    if (data)
        XFree(data);
    if (count == 0)
        return borders;

    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = id;
    request.xclient.message_type = XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False);
    request.xclient.format = 32;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &request);
    XFlush(display);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (std::chrono::steady_clock::now() < deadline) {
        XSync(display, False);
        if (readFrameExtents(display, id, borders))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return borders;
}

void setGraphicsAttributes(const WindowOptions& graphics)
{
    SDL_GL_ResetAttributes();
    const bool highColour = graphics.colourDepth != 16;
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, highColour ? 8 : 5);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, highColour ? 8 : 6);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, highColour ? 8 : 5);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, graphics.fsaa > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, static_cast<int>(graphics.fsaa));
}

void setIcon(SDL_Window* window)
{
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<unsigned char*>(applicationIcon), iconSize,
                                                           iconSize, 32, iconSize * 4, SDL_PIXELFORMAT_RGBA32);
    if (icon) {
        SDL_SetWindowIcon(window, icon);
        SDL_FreeSurface(icon);
    }
}

// Once the program has set its locale (the dialogs do), the title goes out as
// UTF-8 only, which tools that look windows up by name in the C locale
// cannot read. A plain ASCII title is stored as plain text as well.
void setPlainTitle(SDL_Window* window, const std::string& title)
{
    if (!std::all_of(title.begin(), title.end(), [](unsigned char c) { return c >= 0x20 && c < 0x7f; }))
        return;
    const SDL_SysWMinfo info = windowSystemInfo(window);
    XStoreName(info.info.x11.display, info.info.x11.window, title.c_str());
}

} // namespace

WindowEvent convertEvent(const SDL_Event& event)
{
    switch (event.type) {
    case SDL_QUIT:
        return WindowEvent::close;
    case SDL_KEYDOWN:
        switch (event.key.keysym.sym) {
        case SDLK_ESCAPE:
            return WindowEvent::escape;
        case SDLK_F2:
            return WindowEvent::tuningView;
        // On most layouts + is the shifted = key: either press counts.
        case SDLK_PLUS:
        case SDLK_EQUALS:
        case SDLK_KP_PLUS:
            return WindowEvent::thresholdUp;
        case SDLK_MINUS:
        case SDLK_KP_MINUS:
            return WindowEvent::thresholdDown;
        default:
            return WindowEvent::none;
        }
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            return WindowEvent::close;
        case SDL_WINDOWEVENT_HIDDEN:
        case SDL_WINDOWEVENT_MINIMIZED:
            return WindowEvent::hidden;
        case SDL_WINDOWEVENT_SHOWN:
        case SDL_WINDOWEVENT_RESTORED:
            return WindowEvent::shown;
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            return WindowEvent::resized;
        default:
            return WindowEvent::none;
        }
    default:
        return WindowEvent::none;
    }
}

ScreenRect placeWindow(int width, int height, const FrameBorders& borders, const ScreenRect& usable)
{
    ScreenRect frame;
    frame.width = std::min(width + borders.left + borders.right, usable.width);
    frame.height = std::min(height + borders.top + borders.bottom, usable.height);
    frame.x = usable.x + usable.width / 2 - frame.width / 2;
    frame.y = usable.y + usable.height / 2 - frame.height / 2;
    return frame;
}

ScreenRect fitPicture(int width, int height, int screenWidth, int screenHeight)
{
    ScreenRect picture;
    // Compare the scales as cross products, exactly; round the other side.
    const long long w = width, h = height, sw = screenWidth, sh = screenHeight;
    if (sw * h <= sh * w) {
        picture.width = screenWidth;
        picture.height = static_cast<int>((h * sw + w / 2) / w);
    } else {
        picture.height = screenHeight;
        picture.width = static_cast<int>((w * sh + h / 2) / h);
    }
    picture.width = std::max(picture.width, 1);
    picture.height = std::max(picture.height, 1);
    picture.x = (screenWidth - picture.width) / 2;
    picture.y = (screenHeight - picture.height) / 2;
    return picture;
}

AppWindow::AppWindow(bool& running, const std::string& title, int width, int height, const WindowOptions& options)
    : running(running), fullscreen(options.fullscreen)
{
    if (width <= 0 || height <= 0)
        throw std::runtime_error("invalid window size");
    // An exhibit screen stays up when another window takes the focus.
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    // SIGINT and SIGTERM arrive as a quit event and end the run like the
    // close box does.
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display)
            throw std::runtime_error("no display: DISPLAY is not set");
        throw sdlError(std::string("no display '") + display + "'");
    }
    setGraphicsAttributes(options);
    SDL_Rect display;
    SDL_GetDisplayBounds(0, &display);
    // Full screen, the window has the display's size and place before it is
    // ever shown, so that it covers the screen the moment it is mapped, with
    // or without a window manager. A window is made no larger than the
    // display (the window system refuses sizes far beyond it) and then
    // fitted to its usable area with its decorations.
    window = fullscreen ? SDL_CreateWindow(title.c_str(), display.x, display.y, display.w, display.h,
                                           SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL | SDL_WINDOW_BORDERLESS)
                        : SDL_CreateWindow(title.c_str(), SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                           std::min(width, display.w), std::min(height, display.h),
                                           SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    if (!window) {
        const std::runtime_error error = sdlError("cannot create the window");
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        throw error;
    }
    try {
        setIcon(window);
        setPlainTitle(window, title);
        if (fullscreen)
            placeFullScreen(width, height);
        else
            placeWindowed(width, height);
    } catch (...) {
        SDL_DestroyWindow(window);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        throw;
    }
}

void AppWindow::placeWindowed(int width, int height)
{
    SDL_Rect usable;
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0)
        SDL_GetDisplayBounds(0, &usable);
    const FrameBorders borders = frameBorders(window);
    const ScreenRect frame = placeWindow(width, height, borders, {usable.x, usable.y, usable.w, usable.h});
    const int clientWidth = std::max(frame.width - borders.left - borders.right, 1);
    const int clientHeight = std::max(frame.height - borders.top - borders.bottom, 1);
    if (clientWidth != width || clientHeight != height)
        SDL_SetWindowSize(window, clientWidth, clientHeight);
    // Window managers place a newly mapped window's frame, not its client
    // area, at the position asked for (north-west gravity).
    SDL_SetWindowPosition(window, frame.x, frame.y);
    createPicture({0, 0, clientWidth, clientHeight});
    layout = {0, 0, clientWidth, clientHeight};
}

void AppWindow::placeFullScreen(int width, int height)
{
    const SDL_SysWMinfo info = windowSystemInfo(window);
    Display* display = info.info.x11.display;
    // A window manager learns from this state, set before the window is
    // mapped, to show it full screen at once, above any panel.
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    Atom full = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
    XChangeProperty(display, info.info.x11.window, state, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&full), 1);
    int screenWidth = 0, screenHeight = 0;
    SDL_GetWindowSize(window, &screenWidth, &screenHeight);
    createPicture(fitPicture(width, height, screenWidth, screenHeight));
    layout = {0, 0, width, height};
}

// The engine draws into a child window. The engine takes the size of a
// window it did not make once, when it binds to it, and cannot be told a new
// one; so the picture has its final size from the start, and the window
// around it is black.
void AppWindow::createPicture(const ScreenRect& place)
{
    const SDL_SysWMinfo info = windowSystemInfo(window);
    Display* display = info.info.x11.display;
    const Window top = info.info.x11.window;
    XWindowAttributes topAttributes{};
    XGetWindowAttributes(display, top, &topAttributes);
    XSetWindowAttributes attributes{};
    attributes.colormap = topAttributes.colormap;
    attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
    attributes.border_pixel = 0;
    picture = XCreateWindow(display, top, place.x, place.y, static_cast<unsigned>(place.width),
                            static_cast<unsigned>(place.height), 0,
                            topAttributes.depth, InputOutput, topAttributes.visual,
                            CWColormap | CWBackPixel | CWBorderPixel, &attributes);
    if (!picture)
        throw std::runtime_error("cannot create the picture window");
    XSetWindowBackground(display, top, BlackPixel(display, DefaultScreen(display)));
    XMapWindow(display, picture);
    // The engine looks the window up over a connection of its own: the
    // server must have made it before this returns.
    XSync(display, False);
    pictureWidth = place.width;
    pictureHeight = place.height;
}

void AppWindow::centrePicture()
{
    int width = 0, height = 0;
    SDL_GetWindowSize(window, &width, &height);
    const SDL_SysWMinfo info = windowSystemInfo(window);
    XMoveWindow(info.info.x11.display, picture, std::max(0, (width - pictureWidth) / 2),
                std::max(0, (height - pictureHeight) / 2));
    XFlush(info.info.x11.display);
}

AppWindow::~AppWindow()
{
    if (picture)
        XDestroyWindow(windowSystemInfo(window).info.x11.display, picture);
    SDL_DestroyWindow(window);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

unsigned long AppWindow::nativeHandle() const
{
    return picture;
}

double AppWindow::refreshRate() const
{
    SDL_DisplayMode mode{};
    const int display = SDL_GetWindowDisplayIndex(window);
    if (SDL_GetCurrentDisplayMode(display < 0 ? 0 : display, &mode) != 0)
        return 0;
    return mode.refresh_rate > 0 ? mode.refresh_rate : 0;
}

void AppWindow::show()
{
    SDL_ShowWindow(window);
}

void AppWindow::hide()
{
    SDL_HideWindow(window);
}

bool AppWindow::pumpEvents()
{
    bool handled = false;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        const WindowEvent converted = convertEvent(event);
        handle(converted);
        handled = handled || converted != WindowEvent::none;
    }
    return handled;
}

void AppWindow::handle(WindowEvent event)
{
    switch (event) {
    case WindowEvent::close:
    case WindowEvent::escape:
        running = false;
        break;
    case WindowEvent::hidden:
        if (rendered)
            rendered->setVisible(false);
        break;
    case WindowEvent::shown:
        if (rendered)
            rendered->setVisible(true);
        break;
    case WindowEvent::resized:
        centrePicture();
        break;
    case WindowEvent::tuningView:
    case WindowEvent::thresholdUp:
    case WindowEvent::thresholdDown:
        if (onTuningKey)
            onTuningKey(event);
        break;
    case WindowEvent::none:
        break;
    }
}

} // namespace kwo
