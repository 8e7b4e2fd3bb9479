// Detection and identification on synthetic frames with known corners.

#include "tests/support/sample_data.h"
#include "tests/tracking_ar/fixtures.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>

namespace kwo::test {
namespace {

struct View {
    const char* design;
    double width;                     // millimetres
    double tiltX, tiltY, spin;        // degrees
    double x, y, z;                   // millimetres
    bool distorted;
    double blur, noise;
    double cornerTolerance;           // pixels, RMS over the four corners
};

class DetectionTable : public ::testing::TestWithParam<View> {};

TEST_P(DetectionTable, RightPatternDirectionAndCorners) {
    const View v = GetParam();
    const ARParam camera = v.distorted ? distortedCamera() : plainCamera();
    ar::Tracker tracker = designTracker(camera);
    double pose[3][4];
    synthetic::makePose(v.tiltX, v.tiltY, v.spin, v.x, v.y, v.z, pose);
    synthetic::FrameOptions options;
    options.blur = v.blur;
    options.noise = v.noise;
    options.seed = static_cast<std::uint32_t>(v.spin * 10 + v.z);
    const auto frame = synthetic::renderFrame(camera, {printed(v.design, v.width, pose)}, options);
    const auto& markers = tracker.detect(view(frame), 100);

    const int slot = static_cast<int>(std::find(designNames().begin(), designNames().end(), v.design) - designNames().begin());
    const ARMarkerInfo* m = findMarker(markers, slot);
    ASSERT_NE(m, nullptr) << "not identified";
    EXPECT_GT(m->cf, 0.8);
    EXPECT_LT(cornerRms(*m, frame.markers[0]), v.cornerTolerance);
    for (int id = 0; id < 4; ++id)
        if (id != slot) {
            EXPECT_EQ(findMarker(markers, id), nullptr) << "also seen as " << designNames()[id];
        }
    // Lines and corners agree: each vertex lies on its two lines.
    for (int i = 0; i < 4; ++i)
        for (const double* l : {m->line[i], m->line[(i + 3) % 4]})
            EXPECT_NEAR(l[0] * m->vertex[i][0] + l[1] * m->vertex[i][1] + l[2], 0, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Poses, DetectionTable,
    ::testing::Values(
        // head-on at several turns, sizes and distances
        View{"Quillmoth", 83, 0, 0, 0, 0, 0, 400, false, 0, 0, 0.06},
        View{"Brackenjaw", 83, 0, 0, 90, 40, 20, 500, false, 0, 0, 0.06},
        View{"Sliverfin", 83, 0, 0, 180, -60, 30, 700, false, 0, 0, 0.06},
        View{"Mossglider", 83, 0, 0, 270, 0, -50, 900, false, 0, 0, 0.06},
        View{"Quillmoth", 83, 0, 0, 33, 0, 0, 1500, false, 0, 0, 0.06},
        // tilted up to 60 degrees
        View{"Brackenjaw", 83, 30, 0, 10, 0, 0, 500, false, 0, 0, 0.06},
        View{"Sliverfin", 83, 0, -45, 200, 30, 0, 600, false, 0, 0, 0.06},
        View{"Mossglider", 83, 50, 25, 300, -40, 40, 600, false, 0, 0, 0.06},
        View{"Quillmoth", 83, -60, 0, 120, 0, 0, 450, false, 0, 0, 0.15},
        // through a distorting lens, off centre where the lens bends most
        View{"Brackenjaw", 83, 20, 20, 45, 150, 100, 600, true, 0, 0, 0.06},
        View{"Sliverfin", 83, 0, 0, 0, -200, -150, 700, true, 0, 0, 0.06},
        // a blurred, noisy picture
        View{"Mossglider", 83, 15, -20, 75, 20, 10, 600, false, 1.2, 4, 0.1},
        View{"Quillmoth", 83, 40, 0, 250, 0, 50, 800, true, 0.8, 6, 0.1}));

TEST(Detection, SmallMarkersAreIdentifiedDownToTwentyPixels) {
    const ARParam camera = plainCamera();
    ar::Tracker tracker = designTracker(camera);
    const double focal = camera.mat[0][0];
    for (double side : {20.0, 22.0, 26.0})
        for (double spin : {0.0, 37.0, 90.0, 212.0}) {
            double pose[3][4];
            const double z = focal * 83 / side;
            synthetic::makePose(15, 0, spin, 40, 0, z, pose);
            synthetic::FrameOptions options;
            options.noise = 2;
            const auto frame = synthetic::renderFrame(camera, {printed("Sliverfin", 83, pose)}, options);
            tracker.resetHistory();
            const ARMarkerInfo* m = findMarker(tracker.detect(view(frame), 100), 2);
            ASSERT_NE(m, nullptr) << "side " << side << " spin " << spin;
            EXPECT_LT(cornerRms(*m, frame.markers[0]), 0.35) << "side " << side << " spin " << spin;
        }
}

TEST(Detection, UnknownSquareIsReportedWithIdMinusOne) {
    const ARParam camera = plainCamera();
    ar::Tracker tracker = designTracker(camera);
    // A checkered pattern that is none of the designs.
    ar::PatternFile other;
    for (int plane = 0; plane < 3; ++plane)
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) other.blocks[0][plane][y][x] = ((x / 2 + y / 4) % 3 == 0) ? 20 : 240;
    double pose[3][4];
    synthetic::makePose(10, 10, 0, 0, 0, 500, pose);
    synthetic::PrintedMarker m;
    m.picture = synthetic::patternPicture(other);
    m.width = 83;
    std::copy(&pose[0][0], &pose[0][0] + 12, &m.pose[0][0]);
    const auto frame = synthetic::renderFrame(camera, {m});
    const auto& markers = tracker.detect(view(frame), 100);
    ASSERT_FALSE(markers.empty());
    EXPECT_EQ(markers.size(), static_cast<std::size_t>(std::count_if(markers.begin(), markers.end(),
                                                                     [](const ARMarkerInfo& i) { return i.id == -1; })));
    const auto largest = std::max_element(markers.begin(), markers.end(),
                                          [](const ARMarkerInfo& a, const ARMarkerInfo& b) { return a.area < b.area; });
    EXPECT_LT(largest->cf, 0.5);
    EXPECT_LT(cornerRms(*largest, frame.markers[0]) , 1e9); // corners are still reported
}

TEST(Detection, OfTwoCopiesTheMoreConfidentComesFirst) {
    const ARParam camera = plainCamera();
    ar::Tracker tracker = designTracker(camera);
    double near[3][4], far[3][4];
    synthetic::makePose(0, 0, 0, -120, 0, 500, near);
    synthetic::makePose(55, 0, 0, 160, 0, 900, far); // small and steep: a poorer sample
    const auto frame = synthetic::renderFrame(camera, {printed("Quillmoth", 83, far), printed("Quillmoth", 83, near)});
    const auto& markers = tracker.detect(view(frame), 100);
    std::vector<const ARMarkerInfo*> copies;
    for (const auto& m : markers)
        if (m.id == 0) copies.push_back(&m);
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_GT(copies[0]->cf, copies[1]->cf);
    EXPECT_LT(copies[0]->pos[0], 320); // the head-on one, on the left
}

TEST(Detection, ThresholdTakesPixelsAtThreeTimesTheThresholdAsDark) {
    // Ink printed at grey 100: dark at threshold 100, not at 99.
    const ARParam camera = plainCamera();
    double pose[3][4];
    synthetic::makePose(0, 0, 0, 0, 0, 500, pose);
    synthetic::FrameOptions options;
    options.ink = 100;
    options.background = cv::Mat(480, 640, CV_8UC3, cv::Scalar(200, 200, 200));
    const auto frame = synthetic::renderFrame(camera, {printed("Mossglider", 83, pose)}, options);
    struct Case {
        int threshold;
        bool found;
    };
    for (const Case c : {Case{100, true}, Case{99, false}, Case{150, true}}) {
        ar::Tracker tracker = designTracker(camera);
        EXPECT_EQ(findMarker(tracker.detect(view(frame), c.threshold), 3) != nullptr, c.found) << c.threshold;
    }
}

TEST(Detection, MarkersCutByTheFrameBorderOrTooSmallAreNotCandidates) {
    const ARParam camera = plainCamera();
    struct Case {
        const char* what;
        double x, z;
    };
    const Case cases[] = {
        {"running off the left border", -330, 600},
        {"a speck (about 8 pixels)", 0, 6000},
    };
    for (const Case& c : cases) {
        ar::Tracker tracker = designTracker(camera);
        double pose[3][4];
        synthetic::makePose(0, 0, 0, c.x, 0, c.z, pose);
        synthetic::FrameOptions options;
        options.background = cv::Mat(480, 640, CV_8UC3, cv::Scalar(200, 200, 200));
        const auto frame = synthetic::renderFrame(camera, {printed("Quillmoth", 83, pose)}, options);
        EXPECT_TRUE(tracker.detect(view(frame), 100).empty()) << c.what;
    }
}

TEST(Detection, BusyFramesStayWithinTheLimits) {
    // Hundreds of small dark squares (each a candidate): at most thirty are
    // reported; uniform frames give nothing.
    const ARParam camera = plainCamera();
    ar::Tracker tracker = designTracker(camera);
    std::vector<std::uint8_t> blocks(640 * 480 * 4, 230);
    for (int by = 4; by + 14 < 476; by += 20)
        for (int bx = 4; bx + 14 < 636; bx += 20)
            for (int y = by; y < by + 14; ++y)
                for (int x = bx; x < bx + 14; ++x) std::fill_n(&blocks[(y * 640 + x) * 4], 3, 20);
    EXPECT_EQ(tracker.detect(ar::FrameView::packed(blocks.data(), 640, 480), 100).size(), 30u);
    for (std::uint8_t level : {0, 255}) {
        std::vector<std::uint8_t> flat(640 * 480 * 4, level);
        tracker.resetHistory();
        EXPECT_TRUE(tracker.detect(ar::FrameView::packed(flat.data(), 640, 480), 100).empty()) << int(level);
    }
    // Thresholds far outside 0..255 neither overflow nor crash.
    for (int threshold : {-1000000, 1000000}) tracker.detect(ar::FrameView::packed(blocks.data(), 640, 480), threshold);
}

TEST(Detection, FourMarkersOnAClutteredTableAreAllFound) {
    const ARParam camera = distortedCamera();
    ar::Tracker tracker = designTracker(camera);
    std::vector<synthetic::PrintedMarker> sheet;
    const double placements[4][6] = {{20, 10, 15, -150, -90, 700}, {-25, 15, 100, 140, -80, 650},
                                     {35, -10, 200, -140, 110, 750}, {10, -30, 290, 150, 100, 680}};
    for (int i = 0; i < 4; ++i) {
        double pose[3][4];
        const double* p = placements[i];
        synthetic::makePose(p[0], p[1], p[2], p[3], p[4], p[5], pose);
        sheet.push_back(printed(designNames()[i], 83, pose));
    }
    synthetic::FrameOptions options;
    options.noise = 3;
    options.blur = 0.7;
    options.gradient = 0.4;
    options.gradientAngle = 30;
    const auto frame = synthetic::renderFrame(camera, sheet, options);
    const auto& markers = tracker.detect(view(frame), 100);
    for (int id = 0; id < 4; ++id) {
        const ARMarkerInfo* m = findMarker(markers, id);
        ASSERT_NE(m, nullptr) << designNames()[id];
        EXPECT_LT(cornerRms(*m, frame.markers[id]), 0.3) << designNames()[id];
        EXPECT_EQ(std::count_if(markers.begin(), markers.end(), [&](const ARMarkerInfo& x) { return x.id == id; }), 1);
    }
}

TEST(Detection, HiroArtworkIsSlotZeroOfTheSamplePatterns) {
    KWO_NEED_SAMPLE_FILE("hiro.png");
    const std::string data = sampleData();
    ar::Tracker tracker;
    ASSERT_TRUE(tracker.setCalibration(plainCamera()));
    for (const char* name : {"patt.hiro", "patt.kanji", "patt.sample1", "patt.sample2"})
        ASSERT_GE(tracker.loadPattern(data + "/" + name), 0);
    const cv::Mat hiro = cv::imread(data + "/hiro.png", cv::IMREAD_COLOR);
    ASSERT_FALSE(hiro.empty());
    for (double spin : {0.0, 90.0, 160.0, 270.0}) {
        double pose[3][4];
        synthetic::makePose(20, -15, spin, 10, 0, 500, pose);
        synthetic::PrintedMarker m;
        m.picture = hiro;
        m.width = 80;
        std::copy(&pose[0][0], &pose[0][0] + 12, &m.pose[0][0]);
        const auto frame = synthetic::renderFrame(plainCamera(), {m});
        tracker.resetHistory();
        const ARMarkerInfo* found = findMarker(tracker.detect(view(frame), 100), 0);
        ASSERT_NE(found, nullptr) << "spin " << spin;
        EXPECT_GT(found->cf, 0.7);
        // dir names the printed upper-left corner.
        EXPECT_LT(cornerRms(*found, frame.markers[0]), 0.2) << "spin " << spin;
    }
}

} // namespace
} // namespace kwo::test
