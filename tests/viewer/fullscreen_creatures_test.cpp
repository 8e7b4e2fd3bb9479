// Full screen on a screen larger than the show (the virtual display's
// 1024x768): creatures standing on their markers and their texture shadows
// look the same whether the show is drawn at the screen's resolution or drawn
// at 800x600 and scaled as a picture. The picture is a render texture of its
// own, with its own depth buffer and its own rows order, and keeps the
// backdrop drawn into it once; a creature cut by a missing depth test, a
// shadow lost, a backdrop lost, or a picture upside down shows as a
// difference.
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"
#include "tests/support/viewer.h"
#include "tests/support/still_clip.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

using kwo::test::Picture;

constexpr const char* title = "KWO full-screen creatures under test";

// Pixels of strong colour: the clip has a grey table and black-and-white
// markers, so inside the camera picture only the creatures have any.
int colourfulPixels(const Picture& picture, int left, int top, int right, int bottom)
{
    int count = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) {
            const auto p = picture.at(x, y);
            count += std::max({p.r, p.g, p.b}) - std::min({p.r, p.g, p.b}) > 60;
        }
    return count;
}

// The camera picture's place on a full screen: 250, 90, 502 x 377 of the
// 800 x 600 show, scaled to fit the screen and centred.
struct Place {
    int left, top, right, bottom;
};
Place cameraPictureOn(const Picture& screen)
{
    const double scale = std::min(screen.width / 800.0, screen.height / 600.0);
    const int showLeft = static_cast<int>((screen.width - 800 * scale) / 2);
    const int showTop = static_cast<int>((screen.height - 600 * scale) / 2);
    const int left = showLeft + static_cast<int>(250 * scale), top = showTop + static_cast<int>(90 * scale);
    return {left, top, left + static_cast<int>(502 * scale), top + static_cast<int>(377 * scale)};
}

// The four creatures stand in the camera picture.
bool creaturesShown(const Picture& screen)
{
    const Place place = cameraPictureOn(screen);
    return colourfulPixels(screen, place.left, place.top, place.right, place.bottom) > 2000;
}

Picture viewFullScreen(const std::string& resolution, const std::string& clip)
{
    kwo::test::ProgramFolder program;
    program.write("kwo.config",
                  std::string(R"({"window": {"fullscreen": true, "title": ")") + title +
                      R"(", "fullscreen_resolution": ")" + resolution +
                      R"("}, "rendering": {"shadow": {"technique": "modulative"}},
                          "tracking": {"max": 0, "collisions": []}})");
    kwo::test::Process viewer({program.executable()}, "", {"KWO_CLIP_CAMERAS=" + clip});
    Picture picture = kwo::test::pictureOfRunWhen(viewer, title, creaturesShown);
    EXPECT_NE(program.read("ogre.log").find("Full screen: the show is drawn at"), std::string::npos);
    return picture;
}

TEST(FullScreenCreatures, LookTheSameDrawnAtTheScreensResolutionAndScaledFromTheConfiguredSize)
{
    ARParam camera;
    ASSERT_EQ(arParamLoad(KWO_PROGRAM_DIR "/tracking/camera.dat", 1, &camera), 0);
    const std::vector<kwo::synthetic::PrintedMarker> markers = kwo::test::fourMarkersOnATable();
    kwo::test::TempDir scratch;
    kwo::test::writeStillClip(scratch.file("table.mkv"), kwo::synthetic::renderFrame(camera, markers));

    const Picture sharp = viewFullScreen("screen", scratch.file("table.mkv"));
    const Picture scaled = viewFullScreen("window", scratch.file("table.mkv"));
    ASSERT_GT(sharp.width, 800) << "needs a screen larger than the show";
    ASSERT_EQ(scaled.width, sharp.width);
    ASSERT_EQ(scaled.height, sharp.height);
    kwo::test::savePicture(sharp, "fullscreen-creatures-screen.png");
    kwo::test::savePicture(scaled, "fullscreen-creatures-window.png");

    // The creatures are there at all (in the camera picture's place, 250, 90,
    // 502 x 377 of the 800 x 600 layout, scaled).
    EXPECT_TRUE(creaturesShown(sharp));
    EXPECT_TRUE(creaturesShown(scaled));

    // Compared in blocks of 8 x 8 pixels: scaling softens edges by a pixel or
    // so, which averages out over a block; anything missing, moved or turned
    // over does not.
    constexpr int block = 8;
    int blocks = 0, differing = 0;
    for (int by = 0; by + block <= sharp.height; by += block)
        for (int bx = 0; bx + block <= sharp.width; bx += block) {
            int sum[2][3] = {};
            for (int y = by; y < by + block; ++y)
                for (int x = bx; x < bx + block; ++x) {
                    const auto a = sharp.at(x, y), b = scaled.at(x, y);
                    sum[0][0] += a.r, sum[0][1] += a.g, sum[0][2] += a.b;
                    sum[1][0] += b.r, sum[1][1] += b.g, sum[1][2] += b.b;
                }
            ++blocks;
            bool differs = false;
            for (int c = 0; c < 3; ++c)
                differs |= std::abs(sum[0][c] - sum[1][c]) > 20 * block * block;
            differing += differs;
        }
    EXPECT_LT(differing, blocks / 50) << differing << " of " << blocks << " blocks of 8 x 8 differ";
}

} // namespace
