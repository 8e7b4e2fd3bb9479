#include "app/window.h"

#include <SDL.h>

#include <gtest/gtest.h>

namespace {

using kwo::WindowEvent;

SDL_Event windowEvent(Uint8 which)
{
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = which;
    return event;
}

SDL_Event keyDown(SDL_Keycode key)
{
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = key;
    return event;
}

TEST(ConvertEvent, TranslatesWhatTheViewerActsOn)
{
    const struct {
        SDL_Event event;
        WindowEvent expected;
    } cases[] = {
        {windowEvent(SDL_WINDOWEVENT_CLOSE), WindowEvent::close},
        {keyDown(SDLK_ESCAPE), WindowEvent::escape},
        {windowEvent(SDL_WINDOWEVENT_MINIMIZED), WindowEvent::hidden},
        {windowEvent(SDL_WINDOWEVENT_HIDDEN), WindowEvent::hidden},
        {windowEvent(SDL_WINDOWEVENT_RESTORED), WindowEvent::shown},
        {windowEvent(SDL_WINDOWEVENT_SHOWN), WindowEvent::shown},
        {windowEvent(SDL_WINDOWEVENT_SIZE_CHANGED), WindowEvent::resized},
        // Everything else leaves the run alone: other keys, key releases,
        // focus, exposure, the mouse.
        {keyDown(SDLK_q), WindowEvent::none},
        {keyDown(SDLK_RETURN), WindowEvent::none},
        {windowEvent(SDL_WINDOWEVENT_FOCUS_LOST), WindowEvent::none},
        {windowEvent(SDL_WINDOWEVENT_EXPOSED), WindowEvent::none},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kwo::convertEvent(c.event), c.expected) << "event type " << c.event.type;

    SDL_Event release = keyDown(SDLK_ESCAPE);
    release.type = SDL_KEYUP;
    EXPECT_EQ(kwo::convertEvent(release), WindowEvent::none);
    SDL_Event quit{};
    quit.type = SDL_QUIT; // SIGINT, SIGTERM
    EXPECT_EQ(kwo::convertEvent(quit), WindowEvent::close);
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    EXPECT_EQ(kwo::convertEvent(motion), WindowEvent::none);
}

TEST(PlaceWindow, CentresTheFrameInTheUsableArea)
{
    const kwo::FrameBorders openbox{1, 20, 1, 1};
    const struct {
        int width, height;
        kwo::FrameBorders borders;
        kwo::ScreenRect usable;
        kwo::ScreenRect expected;
    } cases[] = {
        // 800 x 600 on 1024 x 768: the 802 x 621 frame sits at 111, 74.
        {800, 600, openbox, {0, 0, 1024, 768}, {111, 74, 802, 621}},
        // No window manager: the client area is the frame.
        {800, 600, {}, {0, 0, 1024, 768}, {112, 84, 800, 600}},
        // Too large: the frame is clamped to the area and placed at its corner.
        {1024, 768, openbox, {0, 0, 1024, 768}, {0, 0, 1024, 768}},
        {4000, 300, openbox, {0, 0, 1024, 768}, {0, 224, 1024, 321}},
        // A panel takes the top of the screen: the usable area starts lower.
        {800, 600, openbox, {0, 30, 1280, 994}, {239, 217, 802, 621}},
        // Odd sizes: halves are truncated.
        {801, 601, {}, {0, 0, 1025, 769}, {112, 84, 801, 601}},
    };
    for (const auto& c : cases) {
        const kwo::ScreenRect frame = kwo::placeWindow(c.width, c.height, c.borders, c.usable);
        EXPECT_EQ(frame.x, c.expected.x) << c.width << "x" << c.height;
        EXPECT_EQ(frame.y, c.expected.y) << c.width << "x" << c.height;
        EXPECT_EQ(frame.width, c.expected.width) << c.width << "x" << c.height;
        EXPECT_EQ(frame.height, c.expected.height) << c.width << "x" << c.height;
    }
}

} // namespace
