// The picture on screen, read from screenshots of the real window.
#include "tests/app/viewer_session.h"
#include "video/clip_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace kwo::test {
namespace {

using PixelTest = std::function<bool(const Picture::Pixel&)>;

// The shared still clip is grey all over.
const PixelTest showsVideo = [](const Picture::Pixel& p) { return near(p, {128, 128, 128}, 4); };

struct Rect {
    int x, y, width, height;
    bool contains(int px, int py) const { return px >= x && py >= y && px < x + width && py < y + height; }
};

// Every pixel of `viewport` passes `video`; the ring of pixels right around
// it does not.
void expectViewport(const Picture& picture, const Rect& viewport, const PixelTest& video)
{
    int inside = 0, outside = 0;
    for (int y = viewport.y - 1; y <= viewport.y + viewport.height; ++y)
        for (int x = viewport.x - 1; x <= viewport.x + viewport.width; ++x) {
            if (x < 0 || y < 0 || x >= picture.width || y >= picture.height)
                continue;
            if (viewport.contains(x, y))
                inside += !video(picture.at(x, y));
            else if (x == viewport.x - 1 || x == viewport.x + viewport.width || y == viewport.y - 1 ||
                     y == viewport.y + viewport.height)
                outside += video(picture.at(x, y));
        }
    EXPECT_EQ(inside, 0) << "pixels of the viewport without the video";
    EXPECT_EQ(outside, 0) << "video pixels around the viewport";
}

// Expects every pixel outside the `except` rectangles to be the backdrop as drawn.
void expectBackdrop(const Picture& picture, const std::vector<Rect>& except)
{
    const Picture backdrop = backdropPicture();
    int differences = 0;
    Rect box{picture.width, picture.height, 0, 0}; // x, y, right, bottom of the differences
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            bool excepted = false;
            for (const Rect& r : except)
                excepted = excepted || r.contains(x, y);
            if (excepted || near(picture.at(x, y), backdrop.at(x, y)))
                continue;
            ++differences;
            box = {std::min(box.x, x), std::min(box.y, y), std::max(box.width, x), std::max(box.height, y)};
        }
    EXPECT_EQ(differences, 0) << "differences from " << box.x << "," << box.y << " to " << box.width << ","
                              << box.height;
}

TEST(SceneScreen, DefaultLayoutOnAnEightHundredBySixHundredWindow)
{
    ViewerSession viewer;
    ASSERT_NE(viewer.start(), "");
    const Geometry client = windowGeometry(viewer.window());
    const Extents frame = frameExtents(viewer.window());
    EXPECT_EQ(client.width, 800);
    EXPECT_EQ(client.height, 600);
    // The frame (client and decorations) is centred on the 1024 x 768 screen.
    EXPECT_EQ(client.x - frame.left, 512 - (800 + frame.left + frame.right) / 2);
    EXPECT_EQ(client.y - frame.top, 384 - (600 + frame.top + frame.bottom) / 2);

    const Picture picture = viewer.capture();
    ASSERT_EQ(picture.width, 800);
    const Rect viewport{250, 90, 502, 377};
    expectViewport(picture, viewport, showsVideo);
    expectBackdrop(picture, {viewport});
    viewer.press("Escape");
    EXPECT_EQ(viewer.finish().exitCode, 0);
}

TEST(SceneScreen, PixelPlacementKeepsItsPixelsOnALargerWindow)
{
    ViewerSession viewer(viewerDocument(R"({"window": {"width": 1024, "height": 768}})"));
    ASSERT_NE(viewer.start(), "");
    // The window does not fit the screen with its decorations: the frame
    // takes the whole screen and the client area what is left of it.
    const Geometry client = windowGeometry(viewer.window());
    const Extents frame = frameExtents(viewer.window());
    EXPECT_EQ(client.width, 1024 - frame.left - frame.right);
    EXPECT_EQ(client.height, 768 - frame.top - frame.bottom);
    EXPECT_EQ(client.x, frame.left);
    EXPECT_EQ(client.y, frame.top);

    const Picture picture = viewer.capture();
    expectViewport(picture, {250, 90, 502, 377}, showsVideo);
    viewer.press("Escape");
    EXPECT_EQ(viewer.finish().exitCode, 0);
}

TEST(SceneScreen, RelativePlacement)
{
    const struct {
        const char* viewport;
        Rect expected;
    } cases[] = {
        {R"({"mode": "relative", "left": 0.25, "top": 0.25, "width": 0.5, "height": 0.5})", {200, 150, 400, 300}},
        {R"({"mode": "relative", "left": 0, "top": 0, "width": 1, "height": 1})", {0, 0, 800, 600}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.viewport);
        ViewerSession viewer(viewerDocument(std::string(R"({"rendering": {"viewport": )") + c.viewport + "}}"));
        ASSERT_NE(viewer.start(), "");
        expectViewport(viewer.capture(), c.expected, showsVideo);
        viewer.press("Escape");
        EXPECT_EQ(viewer.finish().exitCode, 0);
    }
}

TEST(SceneScreen, ShadowViewShowsAtTheTopLeft)
{
    ViewerSession viewer(viewerDocument(R"({"rendering": {"shadow": {"technique": "modulative", "debug": true}}})"));
    ASSERT_NE(viewer.start(), "");
    const Picture picture = viewer.capture();
    // A quarter of the window's width and height; nothing casts a shadow, so
    // the shadow texture is all clear (white).
    const Rect panel{0, 0, 200, 150};
    int white = 0;
    for (int y = 0; y < panel.height; ++y)
        for (int x = 0; x < panel.width; ++x)
            white += near(picture.at(x, y), {255, 255, 255}, 8);
    EXPECT_EQ(white, panel.width * panel.height);
    const Rect viewport{250, 90, 502, 377};
    expectViewport(picture, viewport, showsVideo);
    // Everything else is the backdrop.
    expectBackdrop(picture, {panel, viewport});
    viewer.press("Escape");
    EXPECT_EQ(viewer.finish().exitCode, 0);
}

// Pixels of `area` whose colour differs clearly between two pictures.
int changedPixels(const Picture& a, const Picture& b, const Rect& area)
{
    int changed = 0;
    for (int y = area.y; y < area.y + area.height; ++y)
        for (int x = area.x; x < area.x + area.width; ++x)
            changed += !near(a.at(x, y), b.at(x, y), 40);
    return changed;
}

TEST(SceneScreen, TheLivePictureMoves)
{
    // The camera clip's ball circles over a still gradient once every four
    // seconds; a frame cycle that stops taking new frames freezes the
    // picture on the first one it showed.
    TempDir clips;
    const std::string clip = clips.file("ball.mkv");
    ASSERT_EQ(run({KWO_MAKE_CLIP, "--raw", "--size", "320x240", "--rate", "10", "--frames", "40", "--pattern", "ball",
                   clip})
                  .exitCode,
              0);
    ViewerSession viewer(viewerDocument(), {"KWO_CLIP_CAMERAS=" + clip});
    ASSERT_NE(viewer.start(), "");
    const Rect viewport{250, 90, 502, 377};
    // The ball is about 75 pixels across in the viewport and moves about a
    // third of that from one clip frame to the next: any two different
    // frames differ in well over a thousand pixels, equal ones in none.
    const int clearChange = 1000;
    const auto poll = [&](const std::function<bool(const Picture&)>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        Picture picture;
        do
            picture = captureWindow(viewer.window());
        while (!(picture.width == 800 && done(picture)) && std::chrono::steady_clock::now() < deadline);
        return picture;
    };
    // The first frame, once it is up (the texture is black before it).
    const Picture first = poll([&](const Picture& p) { return !isBlack(p.at(viewport.x + 10, viewport.y + 10)); });
    ASSERT_FALSE(isBlack(first.at(viewport.x + 10, viewport.y + 10))) << "no video frame showed";
    const Picture later = poll([&](const Picture& p) { return changedPixels(first, p, viewport) > clearChange; });
    EXPECT_GT(changedPixels(first, later, viewport), clearChange) << "the picture did not move in 20 seconds";
    // Only the video moves: the backdrop around it stays.
    expectBackdrop(later, {viewport});
    viewer.press("Escape");
    EXPECT_EQ(viewer.finish().exitCode, 0);
}

// A raw clip of four quarters: red top left, green top right, blue bottom
// left, white bottom right; every pixel comes back exactly.
std::string quartersClip(const TempDir& folder)
{
    const std::string path = folder.file("quarters.mkv");
    ClipFormat format;
    format.width = 320;
    format.height = 240;
    format.frameCount = 10;
    format.encoding = ClipEncoding::Raw;
    writeClip(path, format, [&](int, std::uint8_t* bgrx) {
        for (int y = 0; y < format.height; ++y)
            for (int x = 0; x < format.width; ++x) {
                const bool right = x >= format.width / 2, bottom = y >= format.height / 2;
                const int r = (!bottom || right) && !(right && !bottom) ? 255 : 0;
                const int g = right ? 255 : 0;
                const int b = bottom ? 255 : 0;
                std::uint8_t* p = bgrx + (static_cast<std::size_t>(y) * format.width + x) * 4;
                p[0] = static_cast<std::uint8_t>(b);
                p[1] = static_cast<std::uint8_t>(g);
                p[2] = static_cast<std::uint8_t>(r);
                p[3] = 0;
            }
    });
    return path;
}

TEST(SceneScreen, TheClipShowsTheRightWayUp)
{
    TempDir clips;
    const std::vector<std::string> camera = {"KWO_CLIP_CAMERAS=" + quartersClip(clips)};
    const Picture::Pixel red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255};
    const struct {
        const char* overrides;
        Picture::Pixel topLeft, topRight, bottomLeft, bottomRight;
        bool blackTopRow;
    } cases[] = {
        {"{}", red, green, blue, white, false},
        {R"({"misc": {"fix_video": true}})", red, green, blue, white, true},
        {R"({"rendering": {"mirror": true}})", green, red, white, blue, false},
        {R"({"rendering": {"pixel": "rgb24"}})", red, green, blue, white, false},
    };
    const Rect viewport{250, 90, 502, 377};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.overrides);
        ViewerSession viewer(viewerDocument(c.overrides), camera);
        ASSERT_NE(viewer.start(), "");
        const Picture picture = viewer.capture();
        const int left = viewport.x + 60, right = viewport.x + viewport.width - 60;
        const int top = viewport.y + 60, bottom = viewport.y + viewport.height - 60;
        EXPECT_TRUE(near(picture.at(left, top), c.topLeft));
        EXPECT_TRUE(near(picture.at(right, top), c.topRight));
        EXPECT_TRUE(near(picture.at(left, bottom), c.bottomLeft));
        EXPECT_TRUE(near(picture.at(right, bottom), c.bottomRight));
        int blackInTopRow = 0;
        for (int x = viewport.x; x < viewport.x + viewport.width; ++x)
            blackInTopRow += isBlack(picture.at(x, viewport.y));
        EXPECT_EQ(blackInTopRow, c.blackTopRow ? viewport.width : 0);
        // The rows below show the clip either way.
        EXPECT_TRUE(near(picture.at(left, viewport.y + 3), c.topLeft));
        // The backdrop is never mirrored.
        expectBackdrop(picture, {viewport});
        viewer.press("Escape");
        EXPECT_EQ(viewer.finish().exitCode, 0);
    }
}

} // namespace
} // namespace kwo::test
