// A calibration made for frames of another shape than the camera mode in use
// still starts the show, with one warning line naming both sizes on standard
// error and in the engine log; one of the same shape says nothing.
#include "tests/app/viewer_session.h"
#include "video/clip_writer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kwo::test {
namespace {

int count(const std::string& text, const std::string& part)
{
    int found = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++found;
    return found;
}

TEST(CalibrationShape, AnotherAspectRatioIsWarnedOfOnceNamingBothSizes)
{
    // The shipped calibration is for 640x480 (4:3); a clip camera gives
    // frames of its own size.
    TempDir clips;
    for (const auto& [width, height] : {std::pair{320, 180}, std::pair{320, 240}}) {
        const std::string mode = std::to_string(width) + "x" + std::to_string(height);
        ClipFormat format;
        format.width = width;
        format.height = height;
        format.frameCount = 10;
        format.encoding = ClipEncoding::Raw;
        writeClip(clips.file(mode + ".mkv"), format, [&](int, std::uint8_t* bgrx) {
            std::memset(bgrx, 128, static_cast<std::size_t>(width) * height * 4);
        });

        ViewerSession viewer(viewerDocument(), {"KWO_CLIP_CAMERAS=" + clips.file(mode + ".mkv")});
        ASSERT_FALSE(viewer.start().empty()) << mode << ": no window\n" << viewer.process().errorSoFar();
        viewer.press("Escape");
        const ProcessResult result = viewer.finish();
        EXPECT_EQ(result.exitCode, 0) << mode << "\n" << result.err;
        const int warnings = height == 180 ? 1 : 0;
        EXPECT_EQ(count(result.err, "Warning: the calibration"), warnings) << mode << "\n" << result.err;
        EXPECT_EQ(count(result.err, "Warning: the calibration 'tracking/camera.dat' (tracking/params) was made for "
                                    "640x480 frames, but the camera gives " + mode + ", another aspect ratio"),
                  warnings)
            << mode << "\n" << result.err;
        const std::string log = viewer.folder.read("ogre.log");
        EXPECT_EQ(count(log, "the calibration 'tracking/camera.dat' (tracking/params) was made for 640x480 frames"),
                  warnings)
            << mode << "\n" << log;
    }
}

} // namespace
} // namespace kwo::test
