// A station's camera stops while the show runs: the show waits, darkened and
// without creatures, and goes on by itself once the camera gives pictures
// again, the creatures with it.
#include "tests/app/viewer_session.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"
#include "video/clip_writer.h"
#include "tests/support/still_clip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

namespace kwo::test {
namespace {

// Polls `test` until it holds or `seconds` pass.
bool within(double seconds, const std::function<bool()>& test)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (test())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

int count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The camera's picture is grey table and a black and white marker; anything
// of colour in the scene viewport (502 x 377 at 250, 90) is a creature or
// its ground.
int creaturePixels(const Picture& window)
{
    int count = 0;
    for (int y = 90; y < 90 + 377; ++y)
        for (int x = 250; x < 250 + 502; ++x) {
            const Picture::Pixel p = window.at(x, y);
            count += std::max({p.r, p.g, p.b}) - std::min({p.r, p.g, p.b}) > 20;
        }
    return count;
}

TEST(CameraLoss, TheShowWaitsDarkenedWithoutCreaturesAndGoesOnWhenTheCameraIsBack)
{
    // One marker in the upper left of a grey table, seen by a 320x240 camera.
    ARParam full, camera;
    ASSERT_EQ(arParamLoad(KWO_PROGRAM_DIR "/tracking/camera.dat", 1, &full), 0);
    ASSERT_EQ(arParamChangeSize(&full, 320, 240, &camera), 0);
    synthetic::PrintedMarker marker;
    marker.picture = synthetic::designPicture("Quillmoth");
    marker.width = 83;
    synthetic::makePose(-30, 0, 10, -110, -50, 450, marker.pose);
    synthetic::FrameOptions options;
    options.background = cv::Mat(1, 1, CV_8UC3, cv::Scalar(128, 128, 128));
    const synthetic::SyntheticFrame frame = synthetic::renderFrame(camera, {marker}, options);

    TempDir clips;
    const std::string clip = clips.file("station.mkv");
    writeStillClip(clip, frame, 10, 30);
    const std::string whole = readFile(clip);

    ViewerSession viewer(viewerDocument(R"({
        "media": {"locations": ["./media/graphics/Core.dat", "./media/graphics/Quillmoth.dat",
                                "./media/graphics/Decor.dat"]},
        "tracking": {"objects": [{"name": "Quillmoth", "pattern": {"file": "tracking/Quillmoth.pattern", "size": 83}}]}
    })"),
                         {"KWO_CLIP_CAMERAS=" + clip});
    ASSERT_NE(viewer.start(), "");
    // The middle of the scene viewport (table, away from the marker), and a
    // point of the backdrop.
    Picture shown;
    const auto middle = [&] {
        shown = captureWindow(viewer.window());
        return shown.empty() ? Picture::Pixel{0, 0, 0} : shown.at(250 + 251, 90 + 188);
    };
    const Picture::Pixel backdropPoint = backdropPicture().at(100, 500);
    ASSERT_TRUE(within(20, [&] { return near(middle(), {128, 128, 128}, 4) && creaturePixels(shown) > 300; }))
        << "no live picture with its creature";

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        // Overwritten in place, as copying a broken file over it does.
        writeFile(clip, whole.substr(0, 600));
        // The last picture stays, darkened, and the creature is gone from
        // the frame that shows it; the backdrop is untouched.
        ASSERT_TRUE(within(10, [&] { return near(middle(), {38, 38, 38}, 6); })) << "no camera-lost look";
        EXPECT_EQ(creaturePixels(shown), 0) << "a creature stands on the lost picture";
        EXPECT_TRUE(near(shown.at(100, 500), backdropPoint));
        EXPECT_TRUE(viewer.process().running());
        writeFile(clip, whole);
        ASSERT_TRUE(within(10, [&] { return near(middle(), {128, 128, 128}, 4) && creaturePixels(shown) > 300; }))
            << "the picture or its creature did not return";
    }

    viewer.press("Escape");
    const ProcessResult result = viewer.finish();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(count(result.err, "camera \"station.mkv\" lost ("), 2) << result.err;
    EXPECT_EQ(count(result.err, "camera \"station.mkv\" is back"), 2) << result.err;
    const std::string log = readFile(viewer.folder.file("ogre.log"));
    EXPECT_EQ(count(log, "camera \"station.mkv\" lost ("), 2);
    EXPECT_EQ(count(log, "camera \"station.mkv\" is back"), 2);
}

} // namespace
} // namespace kwo::test
