// The technician's tuning view in the running viewer, on still clips of
// printed markers: F2 shows what the detector sees, + and - step the
// threshold live (the engine log tells what each value found), and "auto"
// finds markers in light where the default threshold finds none.
//
// The tracked objects stand on markers as usual, but their creatures are a
// speck too small to cover a pixel, so that every pixel of the window is the
// camera picture or the tuning view.
#include "tests/app/viewer_session.h"
#include "tests/support/still_clip.h"
#include "tools/synthetic/lighting.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <iostream>
#include <regex>
#include <thread>

namespace kwo::test {
namespace {

constexpr int windowWidth = 800, windowHeight = 600;

std::string document(const std::string& threshold)
{
    std::string objects, graphics;
    for (const char* name : {"Quillmoth", "Sliverfin"}) {
        graphics += std::string(graphics.empty() ? "" : ",") + R"({"name": ")" + name +
                    R"(", "character": {"mesh": "Ground.mesh", "scale": {"x": 0.0001, "y": 0.0001, "z": 0.0001}}})";
        objects += std::string(objects.empty() ? "" : ",") + R"({"name": ")" + name +
                   R"(", "pattern": {"file": "tracking/)" + name + R"(.pattern", "size": 83}})";
    }
    return std::string(R"({"window": {"fullscreen": false, "title": ")") + viewerTitle + R"("},
        "rendering": {"viewport": {"mode": "relative", "left": 0, "top": 0, "width": 1, "height": 1}},
        "media": {"locations": ["./media/graphics/Core.dat", "./media/graphics/Decor.dat"]},
        "graphics": {"objects": [)" + graphics + R"(]},
        "tracking": {"threshold": )" + threshold + R"(, "max": 0, "objects": [)" + objects + R"(], "collisions": []},
        "misc": {"fix_video": false}})";
}

bool blackOrWhite(const Picture::Pixel& p)
{
    return (p.r <= 12 && p.g <= 12 && p.b <= 12) || (p.r >= 243 && p.g >= 243 && p.b >= 243);
}

// The outline colour of an identified square.
bool outlineGreen(const Picture::Pixel& p)
{
    return p.g >= 150 && p.r <= 120 && p.b <= 120 && p.g - std::max(p.r, p.b) >= 70;
}

double share(const Picture& picture, bool (*test)(const Picture::Pixel&))
{
    long count = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            count += test(picture.at(x, y));
    return static_cast<double>(count) / (static_cast<double>(picture.width) * picture.height);
}

bool sameContent(const Picture& a, const Picture& b)
{
    return a.width == b.width && a.height == b.height && a.rgb == b.rgb;
}

// The tuning view is shown: the picture is black and white but for the
// outlines and the text.
bool tuningShown(const Picture& picture)
{
    return !picture.empty() && share(picture, blackOrWhite) > 0.85;
}

// How a technician starts the viewer to tune it: without the option the
// tuning keys do nothing.
const std::vector<std::string> tuningArguments = {"--tune"};

// Waits up to `seconds` for a line of the engine log that `holds`.
bool logShows(ViewerSession& viewer, const std::function<bool(const std::string& log)>& holds, double seconds = 30)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        if (holds(viewer.folder.exists("ogre.log") ? viewer.folder.read("ogre.log") : ""))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

int countOf(const std::string& text, const std::regex& line)
{
    return static_cast<int>(std::distance(std::sregex_iterator(text.begin(), text.end(), line), std::sregex_iterator()));
}

// What the detector found after each step of the threshold.
const std::regex stepReport(R"(tracking/threshold (\d+): (\d+) squares, (\d+) identified)");

class TuningView : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(arParamLoad(KWO_PROGRAM_DIR "/tracking/camera.dat", 1, &camera), 0);
        for (const auto& [design, x, y] : {std::tuple{"Quillmoth", -120.0, 40.0}, std::tuple{"Sliverfin", 130.0, 30.0}}) {
            synthetic::PrintedMarker p;
            p.picture = synthetic::designPicture(design);
            p.width = 83;
            synthetic::makePose(-35, 0, 15, x, y, 520, p.pose);
            markers.push_back(p);
        }
    }

    // A viewer on a still clip of the two markers, seen `brightness` times as
    // bright as rendered; its window shows the clip.
    std::unique_ptr<ViewerSession> start(const std::string& threshold, double brightness = 1.0,
                                         const std::vector<std::string>& arguments = tuningArguments)
    {
        frame = synthetic::relit(synthetic::renderFrame(camera, markers), brightness, 0, 1);
        writeStillClip(clips.file("table.mkv"), frame);
        auto viewer = std::make_unique<ViewerSession>(
            document(threshold), std::vector<std::string>{"KWO_CLIP_CAMERAS=" + clips.file("table.mkv")},
            arguments);
        EXPECT_NE(viewer->start(), "") << viewer->finish(5).err;
        // The creatures are specks: nine of ten pixels are the camera's.
        show = waitForPicture(*viewer, [this](const Picture& p) { return showsFrame(p, frame, 0.9); });
        return viewer;
    }

    // The window's picture once it `holds`, polling up to `seconds`; the
    // last one, with a failure recorded, when it never did.
    Picture waitForPicture(ViewerSession& viewer, const std::function<bool(const Picture&)>& holds,
                           double seconds = 30)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        Picture picture;
        do {
            picture = captureWindow(viewer.window());
            if (holds(picture))
                return picture;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (std::chrono::steady_clock::now() < end);
        ADD_FAILURE() << "the window never showed what the test waited for in " << seconds << " s";
        return picture;
    }

    // Ends the run and returns the engine log.
    std::string finish(ViewerSession& viewer)
    {
        viewer.press("Escape");
        const ProcessResult result = viewer.finish();
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return viewer.folder.exists("ogre.log") ? viewer.folder.read("ogre.log") : "";
    }

    // Corners of the markers' outline pixels found near them, of the 8.
    int outlinedCorners(const Picture& picture) const
    {
        int outlined = 0;
        for (const synthetic::MarkerTruth& truth : frameTruth()) {
            for (const auto& corner : truth.observed) {
                const int cx = static_cast<int>(std::lround(corner[0] * windowWidth / camera.xsize));
                const int cy = static_cast<int>(std::lround(corner[1] * windowHeight / camera.ysize));
                bool found = false;
                for (int y = std::max(0, cy - 8); y <= std::min(windowHeight - 1, cy + 8) && !found; ++y)
                    for (int x = std::max(0, cx - 8); x <= std::min(windowWidth - 1, cx + 8) && !found; ++x)
                        found = outlineGreen(picture.at(x, y));
                outlined += found;
                if (!found)
                    std::cerr << "no outline near corner " << cx << "," << cy << "\n";
            }
        }
        return outlined;
    }

    std::vector<synthetic::MarkerTruth> frameTruth() const
    {
        std::vector<synthetic::MarkerTruth> truth;
        for (const synthetic::PrintedMarker& m : markers) {
            synthetic::MarkerTruth t{};
            const double half = m.width / 2;
            const double corners[4][2] = {{-half, half}, {half, half}, {half, -half}, {-half, -half}};
            for (int i = 0; i < 4; ++i)
                synthetic::projectPoint(camera, m.pose, corners[i][0], corners[i][1], t.ideal[i], t.observed[i]);
            truth.push_back(t);
        }
        return truth;
    }

    ARParam camera;
    std::vector<synthetic::PrintedMarker> markers;
    TempDir clips;
    synthetic::SyntheticFrame frame; // the clip's
    Picture show;                    // the window once it showed the clip
};

TEST_F(TuningView, ShowsWhatTheDetectorSeesAndLeavesNoTraceWhenClosed)
{
    auto viewer = start("100");
    viewer->press("F2");
    const Picture tuning = waitForPicture(*viewer, tuningShown);
    viewer->press("F2");
    const Picture after = waitForPicture(*viewer, [this](const Picture& p) { return sameContent(p, show); });
    const std::string log = finish(*viewer);
    ASSERT_EQ(show.width, windowWidth);
    savePicture(show, "tuning-off.png");
    savePicture(tuning, "tuning-on.png");

    // The camera picture is grey table and coloured paper; the tuning view
    // is black and white but for the outlines and the text.
    EXPECT_LT(share(show, blackOrWhite), 0.5);
    EXPECT_GT(share(tuning, blackOrWhite), 0.85);
    EXPECT_EQ(share(show, outlineGreen), 0.0);
    EXPECT_EQ(outlinedCorners(tuning), 8);
    // Closed again, the show is pixel for pixel what it was.
    EXPECT_TRUE(sameContent(after, show));
    EXPECT_EQ(countOf(log, std::regex("Tuning keys on")), 1);
    EXPECT_NE(log.find("Tuning view on"), std::string::npos);
    EXPECT_NE(log.find("Tuning view off"), std::string::npos);
    EXPECT_NE(log.find("tracking/threshold in use: 100"), std::string::npos);
}

TEST_F(TuningView, KeysDoNothingWithoutTheTuneOption)
{
    // A visitor's presses, the keypad's included; Escape comes after them,
    // and the keys reach the viewer in the order pressed.
    auto viewer = start("100", 1.0, {});
    for (const char* key : {"F2", "plus", "KP_Add", "minus", "KP_Subtract", "F2", "F2"})
        viewer->press(key);
    const Picture picture = waitForPicture(*viewer, [this](const Picture& p) { return sameContent(p, show); });
    const std::string log = finish(*viewer);
    EXPECT_TRUE(sameContent(picture, show));
    EXPECT_EQ(log.find("Tuning keys on"), std::string::npos);
    EXPECT_EQ(log.find("Tuning view on"), std::string::npos);
    EXPECT_EQ(countOf(log, stepReport), 0);
    EXPECT_NE(log.find("tracking/threshold in use: 100"), std::string::npos) << log;
}

TEST_F(TuningView, KeysStepTheThresholdAndTheDetectionFollows)
{
    // The markers' ink is grey level 25: at a threshold of 20 nothing of
    // their borders is dark, from 30 on all of it.
    auto viewer = start("40");
    // Without the view the keys do nothing: a visitor cannot spoil the show.
    // (The keys reach the viewer in the order pressed.)
    viewer->press("minus");
    viewer->press("F2");
    // Each step is reported once the detector has run with it for a few
    // frames; the next key waits for that, so every step has its report.
    int steps = 0;
    const auto step = [&](const char* key) {
        viewer->press(key);
        ++steps;
        EXPECT_TRUE(logShows(*viewer, [&](const std::string& log) { return countOf(log, stepReport) >= steps; }))
            << "no report after " << key;
    };
    for (const char* key : {"minus", "KP_Subtract", "minus", "minus"})
        step(key);
    const Picture at20 = waitForPicture(*viewer, tuningShown);
    for (const char* key : {"plus", "KP_Add"})
        step(key);
    const Picture at30 = waitForPicture(*viewer, tuningShown);
    const std::string log = finish(*viewer);
    savePicture(at20, "tuning-threshold-20.png");
    savePicture(at30, "tuning-threshold-30.png");

    EXPECT_EQ(outlinedCorners(at20), 0);
    EXPECT_EQ(share(at20, outlineGreen), 0.0);
    EXPECT_EQ(outlinedCorners(at30), 8);

    // Each step in the log, then what the next frame found with it.
    std::vector<std::pair<int, int>> reports; // threshold, identified
    for (auto it = std::sregex_iterator(log.begin(), log.end(), stepReport); it != std::sregex_iterator(); ++it)
        reports.emplace_back(std::stoi((*it)[1]), std::stoi((*it)[3]));
    const std::vector<int> expectedValues = {35, 30, 25, 20, 25, 30};
    ASSERT_EQ(reports.size(), expectedValues.size()) << log;
    for (std::size_t i = 0; i < reports.size(); ++i)
        EXPECT_EQ(reports[i].first, expectedValues[i]);
    EXPECT_EQ(reports[0].second, 2);
    EXPECT_EQ(reports[1].second, 2);
    EXPECT_EQ(reports[3].second, 0);
    EXPECT_EQ(reports[5].second, 2);
    EXPECT_NE(log.find("tracking/threshold 35 (was 40)"), std::string::npos);
    EXPECT_NE(log.find("tracking/threshold in use: 30"), std::string::npos);
}

TEST_F(TuningView, AutoFindsTheMarkersInDimLightWhereTheDefaultDoesNot)
{
    // At a third of the light the paper is darker than 100.
    for (const char* threshold : {"100", "\"auto\""}) {
        SCOPED_TRACE(threshold);
        auto viewer = start(threshold, 0.3);
        viewer->press("F2");
        const Picture tuning = waitForPicture(*viewer, tuningShown);
        const std::string log = finish(*viewer);
        const bool automatic = threshold[0] == '"';
        savePicture(tuning, automatic ? "tuning-dim-auto.png" : "tuning-dim-100.png");
        if (automatic) {
            EXPECT_EQ(outlinedCorners(tuning), 8);
            EXPECT_TRUE(std::regex_search(log, std::regex(R"(tracking/threshold in use: auto \(last frame \d+, from the markers\))")))
                << log;
        } else {
            EXPECT_EQ(outlinedCorners(tuning), 0);
            EXPECT_NE(log.find("tracking/threshold in use: 100"), std::string::npos);
        }
    }
}

} // namespace
} // namespace kwo::test
