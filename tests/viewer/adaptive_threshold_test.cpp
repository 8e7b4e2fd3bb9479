// tracking/threshold "adaptive" in the running viewer: a table with one of
// two markers in a visitor's shadow, where the default threshold loses the
// shadowed one. The local threshold finds both, the F2 view shows its dark
// pixels, + steps the offset, and the engine log names the value to keep.
#include "tests/app/viewer_session.h"
#include "tests/support/still_clip.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"
#include "tracking/ar/tracker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <thread>

namespace kwo::test {
namespace {

std::string document()
{
    std::string objects, graphics;
    for (const char* name : {"Quillmoth", "Sliverfin"}) {
        // Creatures a speck too small to cover a pixel: the window shows
        // the camera picture or the tuning view only.
        graphics += std::string(graphics.empty() ? "" : ",") + R"({"name": ")" + name +
                    R"(", "character": {"mesh": "Ground.mesh", "scale": {"x": 0.0001, "y": 0.0001, "z": 0.0001}}})";
        objects += std::string(objects.empty() ? "" : ",") + R"({"name": ")" + name +
                   R"(", "pattern": {"file": "tracking/)" + name + R"(.pattern", "size": 83}})";
    }
    return std::string(R"({"window": {"fullscreen": false, "title": ")") + viewerTitle + R"("},
        "rendering": {"viewport": {"mode": "relative", "left": 0, "top": 0, "width": 1, "height": 1}},
        "media": {"locations": ["./media/graphics/Core.dat", "./media/graphics/Decor.dat"]},
        "graphics": {"objects": [)" + graphics + R"(]},
        "tracking": {"threshold": "adaptive", "max": 0, "objects": [)" + objects + R"(], "collisions": []},
        "misc": {"fix_video": false}})";
}

// Waits, at most `seconds`, until the engine log holds a match of `pattern`;
// the log so far.
std::string waitForLog(ViewerSession& viewer, const std::regex& pattern, double seconds = 20)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::string log;
    while (std::chrono::steady_clock::now() < deadline) {
        log = viewer.folder.exists("ogre.log") ? viewer.folder.read("ogre.log") : "";
        if (std::regex_search(log, pattern))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return log;
}

bool outlineGreen(const Picture::Pixel& p)
{
    return p.g >= 150 && p.r <= 120 && p.b <= 120 && p.g - std::max(p.r, p.b) >= 70;
}

TEST(AdaptiveThreshold, FindsTheShadowedMarkerAndStepsItsOffset)
{
    ARParam camera;
    ASSERT_EQ(arParamLoad(KWO_PROGRAM_DIR "/tracking/camera.dat", 1, &camera), 0);
    std::vector<synthetic::PrintedMarker> markers;
    for (const auto& [design, x] : {std::pair{"Quillmoth", -120.0}, std::pair{"Sliverfin", 130.0}}) {
        synthetic::PrintedMarker p;
        p.picture = synthetic::designPicture(design);
        p.width = 83;
        synthetic::makePose(-35, 0, 15, x, 30, 520, p.pose);
        markers.push_back(p);
    }
    synthetic::SyntheticFrame frame = synthetic::renderFrame(camera, markers);
    // The left half in a shadow of 40 % light: its paper is darker than the
    // default threshold of 100.
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width / 2; ++x)
            for (int k = 0; k < 3; ++k) {
                std::uint8_t& v = frame.pixels[4 * (static_cast<std::size_t>(y) * frame.width + x) + k];
                v = static_cast<std::uint8_t>(v * 2 / 5);
            }
    // What the default threshold makes of the same picture: only the lit
    // marker.
    ar::Tracker tracker;
    tracker.setCalibration(camera);
    for (const char* name : {"Quillmoth", "Sliverfin"})
        ASSERT_GE(tracker.loadPattern(KWO_PROGRAM_DIR "/tracking/" + std::string(name) + ".pattern"), 0);
    const auto& at100 = tracker.detect(ar::FrameView::packed(frame.data(), frame.width, frame.height), 100);
    EXPECT_EQ(std::count_if(at100.begin(), at100.end(), [](const ARMarkerInfo& m) { return m.id >= 0; }), 1);

    TempDir clips;
    writeStillClip(clips.file("table.mkv"), frame);
    ViewerSession viewer(document(), {"KWO_CLIP_CAMERAS=" + clips.file("table.mkv")}, {"--tune"});
    ASSERT_NE(viewer.start(), "") << viewer.finish(5).err;

    viewer.press("F2");
    waitForLog(viewer, std::regex("Tuning view on"));
    viewer.press("plus");
    // The step, then what the detector found with the new offset once it
    // settled: both markers.
    const std::regex report(R"(tracking/threshold adaptive 4: (\d+) squares, (\d+) identified)");
    std::string log = waitForLog(viewer, report);
    const Picture tuning = viewer.capture(0.5);
    viewer.press("Escape");
    const ProcessResult result = viewer.finish();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    log = viewer.folder.read("ogre.log");
    savePicture(tuning, "tuning-adaptive.png");

    EXPECT_NE(log.find("tracking/threshold adaptive 4 (was adaptive 5)"), std::string::npos) << log;
    std::smatch found;
    ASSERT_TRUE(std::regex_search(log, found, report)) << log;
    EXPECT_EQ(found[2], "2");
    EXPECT_NE(log.find("tracking/threshold in use: adaptive 4"), std::string::npos);
    // Both squares outlined in green on the black and white picture.
    long green = 0;
    for (int y = 0; y < tuning.height; ++y)
        for (int x = 0; x < tuning.width; ++x)
            green += outlineGreen(tuning.at(x, y));
    EXPECT_GT(green, 400);
}

} // namespace
} // namespace kwo::test
