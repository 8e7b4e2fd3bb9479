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
        // The technician's tuning keys, on the main keys and the keypad.
        {keyDown(SDLK_F2), WindowEvent::tuningView},
        {keyDown(SDLK_PLUS), WindowEvent::thresholdUp},
        {keyDown(SDLK_EQUALS), WindowEvent::thresholdUp},
        {keyDown(SDLK_KP_PLUS), WindowEvent::thresholdUp},
        {keyDown(SDLK_MINUS), WindowEvent::thresholdDown},
        {keyDown(SDLK_KP_MINUS), WindowEvent::thresholdDown},
        // Everything else leaves the run alone: other keys, key releases,
        // focus, exposure, the mouse.
        {keyDown(SDLK_q), WindowEvent::none},
        {keyDown(SDLK_RETURN), WindowEvent::none},
        {keyDown(SDLK_F3), WindowEvent::none},
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

TEST(FitPicture, ScalesUniformlyToTheLargestThatFitsAndCentres)
{
    const struct {
        int width, height, screenWidth, screenHeight;
        kwo::ScreenRect expected;
    } cases[] = {
        {800, 600, 1024, 768, {0, 0, 1024, 768}},     // the same shape: the whole screen
        {800, 600, 1920, 1080, {240, 0, 1440, 1080}}, // wider screen: bars left and right
        {800, 600, 1280, 1024, {0, 32, 1280, 960}},   // taller screen: bars above and below
        {800, 600, 800, 600, {0, 0, 800, 600}},       // already fits exactly
        {1920, 1080, 1024, 768, {0, 96, 1024, 576}},  // larger than the screen: scaled down
        {800, 600, 1366, 768, {171, 0, 1024, 768}},   // odd bar: the half truncated
        {640, 480, 1000, 1000, {0, 125, 1000, 750}},
        {3, 2, 1000, 1000, {0, 166, 1000, 667}},      // the scaled side rounded, not truncated
        {200, 1, 50, 50, {0, 24, 50, 1}},             // never thinner than a pixel
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " on " << c.screenWidth << "x"
                                        << c.screenHeight);
        const kwo::ScreenRect fit = kwo::fitPicture(c.width, c.height, c.screenWidth, c.screenHeight);
        EXPECT_EQ(fit.x, c.expected.x);
        EXPECT_EQ(fit.y, c.expected.y);
        EXPECT_EQ(fit.width, c.expected.width);
        EXPECT_EQ(fit.height, c.expected.height);
    }
}

} // namespace
