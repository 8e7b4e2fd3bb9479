// The show full screen on a screen of whatever size the test is run on
// (CMakeLists.txt runs it on several, with and without a window manager):
// the whole 800 x 600 layout scaled uniformly to fit, centred on black,
// whether it is drawn at the screen's resolution or drawn at 800 x 600 and
// scaled as a picture.
#include "tests/app/viewer_session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <sstream>
#include <thread>

namespace kwo::test {
namespace {

struct Rect {
    int x, y, width, height;
    bool contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

Rect screenSize()
{
    std::istringstream in(shell("xdpyinfo | sed -n 's/.*dimensions: *\\([0-9]*\\)x\\([0-9]*\\) pixels.*/\\1 \\2/p'"));
    Rect screen{0, 0, 0, 0};
    in >> screen.width >> screen.height;
    return screen;
}

// Where the 800 x 600 show lands on each screen the test runs on.
Rect expectedShow(const Rect& screen)
{
    const struct {
        int width, height;
        Rect show;
    } screens[] = {
        {1024, 768, {0, 0, 1024, 768}},     // the same shape: no bars
        {1280, 1024, {0, 32, 1280, 960}},   // taller: bars above and below
        {1920, 1080, {240, 0, 1440, 1080}}, // wider: bars left and right
    };
    for (const auto& s : screens)
        if (s.width == screen.width && s.height == screen.height)
            return s.show;
    ADD_FAILURE() << "no expectation for a screen of " << screen.width << "x" << screen.height;
    return {0, 0, screen.width, screen.height};
}

// The lines of an engine log that say what went wrong, without the
// hundreds that list the driver's features.
std::string notableLines(const std::string& log)
{
    std::istringstream in(log);
    std::string line, notable;
    for (const char* word : {"rror", "ailed", "xception", "Full screen", "Video", "Run ended"}) {
        in.clear();
        in.seekg(0);
        while (std::getline(in, line))
            if (line.find(word) != std::string::npos)
                notable += line + "\n";
    }
    return notable;
}

bool isGrey(const Picture::Pixel& p)
{
    return near(p, {128, 128, 128}, 4);
}

// Each way of drawing, and what the engine log says of the one it used on
// a screen whose size differs from 800 x 600 (the software renderer of the
// tests makes "auto" draw at the configured size).
struct Drawing {
    const char* resolution; // window/fullscreen_resolution
    bool scaledPicture;     // drawn at 800 x 600, the picture scaled
};

class FullScreen : public ::testing::TestWithParam<Drawing> {};

INSTANTIATE_TEST_SUITE_P(Drawings, FullScreen,
                         ::testing::Values(Drawing{"screen", false}, Drawing{"window", true}, Drawing{"auto", true}),
                         [](const auto& info) { return std::string(info.param.resolution); });

TEST_P(FullScreen, TheWholeShowIsScaledToFitTheScreenAndCentredOnBlack)
{
    const Drawing drawing = GetParam();
    ViewerSession viewer(viewerDocument(std::string(R"({"window": {"fullscreen": true, "fullscreen_resolution": ")") +
                                        drawing.resolution + "\"}}"));
    if (viewer.start().empty()) {
        ADD_FAILURE() << "no window within 30 s; the viewer said:\n"
                      << viewer.process().errorSoFar() << "\nogre.log:\n" << notableLines(viewer.folder.read("ogre.log"));
        return;
    }
    const Rect screen = screenSize();
    ASSERT_GT(screen.width, 0);
    // The window covers the screen from the moment it shows, whether or not
    // a window manager is there to make it: no black wait.
    const Geometry shown = windowGeometry(viewer.window());
    EXPECT_EQ(shown.x, 0);
    EXPECT_EQ(shown.y, 0);
    EXPECT_EQ(shown.width, screen.width);
    EXPECT_EQ(shown.height, screen.height);

    // The clip's first frame can take a few seconds to arrive on a busy
    // machine: until then the camera picture is black.
    const Rect expected = expectedShow(screen);
    const int centreX = expected.x + expected.width * 501 / 800, centreY = expected.y + expected.height * 278 / 600;
    // Under a full parallel test run with sanitizers that has taken over 10 s.
    const auto showsVideo = [&](const Picture& p) {
        return p.width == screen.width && isGrey(p.at(centreX, centreY));
    };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    Picture picture = captureWindow(viewer.window());
    while (!showsVideo(picture) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        picture = captureWindow(viewer.window());
    }
    const bool noPicture = picture.width == screen.width && !isGrey(picture.at(centreX, centreY));
    if (noPicture)
        ADD_FAILURE() << "no camera picture within 30 s; the viewer said:\n" << viewer.process().errorSoFar();
    ASSERT_EQ(picture.width, screen.width);
    ASSERT_EQ(picture.height, screen.height);
    savePicture(picture, std::string("fullscreen-") + drawing.resolution + "-" + std::to_string(screen.width) + "x" +
                             std::to_string(screen.height) +
                             (shell("xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null").find("window id") ==
                                      std::string::npos
                                  ? "-no-wm.png"
                                  : ".png"));
    const Rect show = expectedShow(screen);
    const double scale = show.width / 800.0;

    // The scene viewport keeps its place in pixels of the 800 x 600 layout,
    // scaled with everything else. Its edges may fall either side of a
    // scaled fraction, so a pixel's width of doubt is left around them.
    const Rect viewport{show.x + static_cast<int>(std::lround(250 * scale)),
                        show.y + static_cast<int>(std::lround(90 * scale)),
                        static_cast<int>(std::lround(502 * scale)), static_cast<int>(std::lround(377 * scale))};
    const Rect inner{viewport.x + 2, viewport.y + 2, viewport.width - 4, viewport.height - 4};
    const Rect outer{viewport.x - 2, viewport.y - 2, viewport.width + 4, viewport.height + 4};
    const Rect ring{viewport.x - 8, viewport.y - 8, viewport.width + 16, viewport.height + 16};
    const Picture backdrop = backdropPicture();
    int litBars = 0, videoMissing = 0, videoOutside = 0, backdropSamples = 0, backdropWrong = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const Picture::Pixel p = picture.at(x, y);
            if (!show.contains(x, y)) {
                litBars += !isBlack(p);
            } else if (inner.contains(x, y)) {
                videoMissing += !isGrey(p);
            } else if (!outer.contains(x, y)) {
                // The backdrop's frame around the viewport has no grey.
                videoOutside += ring.contains(x, y) && isGrey(p);
                // The backdrop, scaled: compare a grid of points with the
                // picture as drawn, loosely: filtering blends neighbours, so
                // fine detail (stars, lettering) differs here and there,
                // while a backdrop out of place or scale differs everywhere.
                if (x % 5 == 0 && y % 5 == 0) {
                    ++backdropSamples;
                    const Picture::Pixel expected = backdrop.at(std::min(static_cast<int>((x - show.x) / scale), 799),
                                                                std::min(static_cast<int>((y - show.y) / scale), 599));
                    backdropWrong += !near(p, expected, 40);
                }
            }
        }
    EXPECT_EQ(litBars, 0) << "pixels of the bars that are not black";
    EXPECT_EQ(videoMissing, 0) << "pixels of the scaled viewport without the video";
    EXPECT_EQ(videoOutside, 0) << "video pixels around the scaled viewport";
    ASSERT_GT(backdropSamples, 1000);
    EXPECT_LT(backdropWrong, backdropSamples / 10) << backdropWrong << " of " << backdropSamples
                                                   << " backdrop samples differ from the scaled backdrop";

    // Keys still reach the show.
    viewer.press("Escape");
    EXPECT_EQ(viewer.finish().exitCode, 0);

    const std::string log = viewer.folder.read("ogre.log");
    if (noPicture)
        ADD_FAILURE() << "ogre.log:\n" << notableLines(log);
    const std::string size = std::to_string(show.width) + "x" + std::to_string(show.height);
    const std::string logged = "Full screen: the show is drawn at " +
                               (drawing.scaledPicture ? "800x600 and scaled to " + size : size) + " (renderer: ";
    if (show.width == 800 && show.height == 600)
        EXPECT_EQ(log.find("Full screen: the show is drawn at"), std::string::npos) << "nothing to scale";
    else
        EXPECT_NE(log.find(logged), std::string::npos) << "no line \"" << logged << "\" in the log";
}

} // namespace
} // namespace kwo::test
