// The creatures and their ground keep their colours under every shadow
// technique: with texture-additive shadows the engine once lit the
// vertex-coloured materials as if they were white (white ground discs).
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"
#include "tests/support/viewer.h"
#include "tests/support/still_clip.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"

#include <gtest/gtest.h>

namespace {

using kwo::test::Picture;

constexpr const char* title = "KWO shadows under test";

// The window of a viewer run with `technique` on a still clip of the four
// printed markers lying on a table, every creature placed.
Picture viewWith(const std::string& technique, const ARParam& camera)
{
    const std::vector<kwo::synthetic::PrintedMarker> markers = kwo::test::fourMarkersOnATable();
    const kwo::synthetic::SyntheticFrame frame = kwo::synthetic::renderFrame(camera, markers);
    kwo::test::ProgramFolder program;
    kwo::test::writeStillClip(program.file("table.mkv"), frame);
    program.write("kwo.config", std::string(R"({"window": {"fullscreen": false, "title": ")") + title +
                                    R"("}, "rendering": {"shadow": {"technique": ")" + technique +
                                    R"("}, "viewport": {"mode": "relative", "left": 0, "top": 0, "width": 1, "height": 1}},
                                    "tracking": {"max": 0, "collisions": []}})");
    kwo::test::Process viewer({program.executable()}, "", {"KWO_CLIP_CAMERAS=" + program.file("table.mkv")});
    // Once the window shows the clip, the creatures stand on its markers;
    // shadows fall on the table a little, so seven pixels of ten will do.
    return kwo::test::pictureOfRunWhen(viewer, title,
                                       [&](const Picture& window) { return kwo::test::showsFrame(window, frame, 0.7); });
}

// Pixels that are nearly white: the clip itself has only the markers' white
// paper, which is a little grey, and the creatures and their mossy ground
// have no white at all.
int whitePixels(const Picture& picture)
{
    int count = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const auto p = picture.at(x, y);
            count += p.r >= 245 && p.g >= 245 && p.b >= 245;
        }
    return count;
}

TEST(ShadowLooks, CreaturesAndGroundKeepTheirColoursUnderEveryTechnique)
{
    ARParam camera;
    ASSERT_EQ(arParamLoad(KWO_PROGRAM_DIR "/tracking/camera.dat", 1, &camera), 0);
    const Picture plain = viewWith("none", camera);
    ASSERT_GT(plain.width, 0);
    kwo::test::savePicture(plain, "shadows-none.png");
    const int whiteWithout = whitePixels(plain);
    for (const char* technique : {"modulative", "additive"}) {
        SCOPED_TRACE(technique);
        const Picture shadowed = viewWith(technique, camera);
        ASSERT_EQ(shadowed.width, plain.width);
        kwo::test::savePicture(shadowed, std::string("shadows-") + technique + ".png");
        // A white ground disc alone is thousands of pixels.
        EXPECT_LT(whitePixels(shadowed), whiteWithout + 200) << "white pixels without shadows: " << whiteWithout;
    }
}

} // namespace
