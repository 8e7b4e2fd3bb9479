// A station's camera stops while the show runs: the show waits, darkened,
// and goes on by itself once the camera gives pictures again.
#include "tests/app/viewer_session.h"
#include "video/clip_writer.h"

#include <gtest/gtest.h>

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

TEST(CameraLoss, TheShowWaitsDarkenedWithoutCreaturesAndGoesOnWhenTheCameraIsBack)
{
    TempDir clips;
    const std::string clip = clips.file("station.mkv");
    ClipFormat format;
    format.width = 320;
    format.height = 240;
    format.frameCount = 10;
    format.encoding = ClipEncoding::Raw;
    writeClip(clip, format, [&](int, std::uint8_t* bgrx) {
        std::memset(bgrx, 128, static_cast<std::size_t>(format.width) * format.height * 4);
    });
    const std::string whole = readFile(clip);

    ViewerSession viewer(viewerDocument(), {"KWO_CLIP_CAMERAS=" + clip});
    ASSERT_NE(viewer.start(), "");
    // The middle of the scene viewport, and a point of the backdrop.
    const auto middle = [&] { return captureWindow(viewer.window()).at(250 + 251, 90 + 188); };
    const Picture::Pixel backdropPoint = backdropPicture().at(100, 500);
    ASSERT_TRUE(within(10, [&] { return near(middle(), {128, 128, 128}, 4); })) << "no live picture";

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        // Overwritten in place, as copying a broken file over it does.
        writeFile(clip, whole.substr(0, 600));
        // The last picture stays, darkened; the backdrop is untouched.
        ASSERT_TRUE(within(10, [&] { return near(middle(), {38, 38, 38}, 6); })) << "no camera-lost look";
        EXPECT_TRUE(near(captureWindow(viewer.window()).at(100, 500), backdropPoint));
        EXPECT_TRUE(viewer.process().running());
        writeFile(clip, whole);
        ASSERT_TRUE(within(10, [&] { return near(middle(), {128, 128, 128}, 4); })) << "the picture did not return";
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
