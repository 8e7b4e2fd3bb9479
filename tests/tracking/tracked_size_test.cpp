// Markers looked for in a shrunk copy of a large camera picture: which copy
// is tracked, and that a creature placed from the copy stands where one
// placed from the whole picture would.
#include "config/exception.h"
#include "config/setting.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/tracker.h"
#include "tracking/tracked_size.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <cmath>
#include <map>
#include <numbers>
#include <string>

namespace {

using kwo::TrackedSize;

TEST(TrackedSize, ChosenFromThePictureAndTheSetting)
{
    struct Case {
        int width, height;
        std::optional<int> factor;
        TrackedSize expected;
    };
    const Case cases[] = {
        // Automatic: halved from 1280 pixels across, never shrunk further.
        {640, 480, std::nullopt, {1, 640, 480}},
        {320, 240, std::nullopt, {1, 320, 240}},
        {1024, 768, std::nullopt, {1, 1024, 768}},
        {1278, 720, std::nullopt, {1, 1278, 720}},
        {1280, 720, std::nullopt, {2, 640, 360}},
        {1920, 1080, std::nullopt, {2, 960, 540}},
        {2560, 1440, std::nullopt, {2, 1280, 720}},
        {1600, 1200, std::nullopt, {2, 800, 600}},
        {1366, 768, std::nullopt, {2, 683, 384}},
        // 765 rows cannot be halved: as it comes.
        {1350, 765, std::nullopt, {1, 1350, 765}},
        {1920, 1080, 3, {3, 640, 360}},
        // Configured: taken when it divides both sides, else the next that does.
        {1920, 1080, 1, {1, 1920, 1080}},
        {1920, 1080, 2, {2, 960, 540}},
        {1920, 1080, 4, {4, 480, 270}},
        {1920, 1080, 7, {6, 320, 180}},
        {640, 480, 3, {2, 320, 240}},
        {2, 2, 8, {2, 1, 1}},
    };
    for (const Case& c : cases) {
        const TrackedSize size = kwo::chooseTrackedSize(c.width, c.height, c.factor);
        EXPECT_EQ(size.factor, c.expected.factor) << c.width << "x" << c.height << " " << c.factor.value_or(0);
        EXPECT_EQ(size.width, c.expected.width) << c.width << "x" << c.height;
        EXPECT_EQ(size.height, c.expected.height) << c.width << "x" << c.height;
    }
}

TEST(TrackedSize, SettingIsAutoOrAWholeFactor)
{
    const auto read = [](const std::string& tracking) {
        Json::Value document;
        EXPECT_TRUE(Json::Reader().parse("{ \"tracking\": " + tracking + " }", document)) << tracking;
        return kwo::readTrackingFactor(kwo::Setting(document, "")["tracking"]);
    };
    EXPECT_EQ(read("{}"), std::nullopt);
    EXPECT_EQ(read(R"({ "downscale": "auto" })"), std::nullopt);
    EXPECT_EQ(read(R"({ "downscale": null })"), std::nullopt);
    EXPECT_EQ(read(R"({ "downscale": 1 })"), 1);
    EXPECT_EQ(read(R"({ "downscale": 3.0 })"), 3);
    EXPECT_EQ(read(R"({ "downscale": 8 })"), 8);
    for (const char* bad : {"0", "-2", "9", "1.5", "\"2\"", "\"full\"", "true", "[2]"}) {
        try {
            read(std::string(R"({ "downscale": )") + bad + " }");
            ADD_FAILURE() << bad << " was taken";
        } catch (const kwo::Exception& error) {
            const std::string text = error.what();
            EXPECT_NE(text.find("tracking/downscale"), std::string::npos) << text;
            EXPECT_NE(text.find("auto, or a whole number from 1 to 8"), std::string::npos) << text;
        }
    }
}

// The benchmark clips' camera in a mode of `width` x `height`: the vertical
// view of a 640x480 webcam with 60 degrees across, no distortion.
ARParam wideCamera(int width, int height)
{
    const double focal = (height * 4.0 / 3.0 / 2.0) / std::tan(std::numbers::pi / 6);
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    ARParam camera{};
    camera.xsize = width;
    camera.ysize = height;
    const double mat[3][4] = {{focal, 0, cx, 0}, {0, focal, cy, 0}, {0, 0, 1, 0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            camera.mat[r][c] = mat[r][c];
    camera.dist_factor[0] = cx;
    camera.dist_factor[1] = cy;
    camera.dist_factor[3] = 1;
    return camera;
}

// Where a marker corner (mx, my) lands in the picture, through `camera`.
cv::Point2d project(const ARParam& camera, const double pose[3][4], double mx, double my)
{
    double ideal[2], observed[2];
    kwo::synthetic::projectPoint(camera, pose, mx, my, ideal, observed);
    return {ideal[0], ideal[1]};
}

struct Found {
    int id;
    double pose[3][4];
    ARMarkerInfo marker;
};

// Each named marker found in a frame, posed through the tracker's calibration.
std::vector<Found> track(kwo::ar::Tracker& tracker, const std::uint8_t* pixels, int width, int height)
{
    std::vector<Found> found;
    const double centre[2] = {0, 0};
    for (const ARMarkerInfo& marker : tracker.detect(kwo::ar::FrameView::packed(pixels, width, height), 100)) {
        if (marker.id < 0)
            continue;
        Found f{marker.id, {}, marker};
        EXPECT_GE(tracker.pose(marker, centre, 83, f.pose), 0);
        found.push_back(f);
    }
    return found;
}

// A creature placed from the shrunk copy stands where one placed from the
// whole picture stands: the corners its pose puts on the screen (through the
// picture's calibration, as the engine draws) agree within a pixel, with no
// shift common to all (the copy's half-pixel centre is accounted for); and
// the corners found in the copy, brought back to the picture, agree too.
TEST(TrackedSize, PoseFromTheCopyPlacesTheCreatureAsThePictureDoes)
{
    const char* designs[] = {"Quillmoth", "Brackenjaw", "Sliverfin", "Mossglider"};
    struct Mode {
        int width, height;
        std::optional<int> factor;
    };
    std::map<int, kwo::synthetic::SyntheticFrame> frames; // by width
    // Halved as by default, and a third: an odd factor's blocks centre on a
    // picture pixel, an even one's between two.
    for (const Mode mode : {Mode{1280, 720, std::nullopt}, Mode{1920, 1080, std::nullopt}, Mode{1920, 1080, 3}}) {
        SCOPED_TRACE(std::to_string(mode.width) + "x" + std::to_string(mode.height) + " factor " +
                     std::to_string(mode.factor.value_or(0)));
        const ARParam camera = wideCamera(mode.width, mode.height);
        std::vector<kwo::synthetic::PrintedMarker> markers;
        for (int i = 0; i < 4; ++i) {
            kwo::synthetic::PrintedMarker p;
            p.picture = kwo::synthetic::designPicture(designs[i]);
            p.width = 83;
            // Across the picture at a station's distances, tilted and turned.
            kwo::synthetic::makePose(-35 + 10 * i, 15 - 10 * i, 20 * i - 25, -240 + 160 * i, (i % 2) * 80 - 40,
                                     520 + 60 * i, p.pose);
            markers.push_back(p);
        }
        kwo::synthetic::FrameOptions options;
        options.noise = 2;
        options.blur = 0.6;
        options.supersample = 2;
        // One frame per mode: rendering it is the slow part.
        if (frames.count(mode.width) == 0)
            frames[mode.width] = kwo::synthetic::renderFrame(camera, markers, options);
        const kwo::synthetic::SyntheticFrame& frame = frames[mode.width];

        const TrackedSize size = kwo::chooseTrackedSize(mode.width, mode.height, mode.factor);
        ASSERT_GT(size.factor, 1);
        std::vector<std::uint8_t> copy;
        kwo::shrinkPicture(frame.data(), frame.width, frame.height, size, copy);
        ASSERT_EQ(copy.size(), static_cast<std::size_t>(size.width * size.height * 4));

        kwo::ar::Tracker whole, shrunk;
        ASSERT_TRUE(whole.setCalibration(camera));
        ASSERT_TRUE(shrunk.setCalibration(kwo::trackedCalibration(camera, size)));
        for (const char* design : designs) {
            const std::string pattern = std::string(KWO_PROGRAM_DIR "/tracking/") + design + ".pattern";
            ASSERT_GE(whole.loadPattern(pattern), 0);
            ASSERT_GE(shrunk.loadPattern(pattern), 0);
        }
        const std::vector<Found> full = track(whole, frame.data(), frame.width, frame.height);
        const std::vector<Found> small = track(shrunk, copy.data(), size.width, size.height);
        ASSERT_EQ(full.size(), 4u);
        ASSERT_EQ(small.size(), 4u);

        double worst = 0, worstCorner = 0;
        cv::Point2d shift(0, 0);
        int corners = 0;
        for (const Found& f : full) {
            const auto s = std::find_if(small.begin(), small.end(), [&](const Found& m) { return m.id == f.id; });
            ASSERT_NE(s, small.end()) << designs[f.id];
            const ARMarkerInfo inPicture = kwo::markersInPicture(&s->marker, 1, size).front();
            for (int k = 0; k < 4; ++k) {
                const double mx = (k == 0 || k == 3) ? -41.5 : 41.5, my = k < 2 ? 41.5 : -41.5;
                const cv::Point2d a = project(camera, f.pose, mx, my), b = project(camera, s->pose, mx, my);
                worst = std::max(worst, cv::norm(a - b));
                shift += b - a;
                ++corners;
                // Each list starts at the corner its outline did: compared as printed.
                const double* mine = inPicture.vertex[(4 - inPicture.dir + k) % 4];
                const double* theirs = f.marker.vertex[(4 - f.marker.dir + k) % 4];
                worstCorner = std::max(worstCorner, std::hypot(mine[0] - theirs[0], mine[1] - theirs[1]));
            }
            EXPECT_NEAR(inPicture.area, f.marker.area, 0.1 * f.marker.area) << designs[f.id];
        }
        shift /= corners;
        EXPECT_LT(worst, 1.5) << "the creature's corners moved up to " << worst << " px";
        EXPECT_LT(cv::norm(shift), 0.5) << "every corner moved by " << shift;
        EXPECT_LT(worstCorner, 1.5) << "corners found in the copy lie up to " << worstCorner << " px off";
    }
}

} // namespace
