// Detection and identification on synthetic frames with known corners.

#include "tests/support/sample_data.h"
#include "tests/tracking_ar/fixtures.h"
#include "tools/synthetic/clutter.h"
#include "tracking/ar/stages.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

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

// Patterns recorded by other tools, printed and seen by a webcam: blur, sensor
// noise, uneven light and JPEG. The margin of cf over the 0.5 cut is what keeps
// a marker named under bad light, so a sampler that reads its cells half a
// pixel off or over the wrong area shows here first. The smallest views (26
// to 36 px across) have cells of a pixel or less: compared with the sharp
// pattern, blur alone takes their cf to 0.6.
TEST(Detection, SamplePatternsMatchWellUnderWebcamConditions) {
    KWO_NEED_SAMPLE_FILE("hiro.png");
    const std::string data = sampleData();
    const char* names[] = {"patt.hiro", "patt.kanji", "patt.sample1", "patt.sample2"};
    struct Case {
        int slot;
        int frameWidth;
        double side; // px across, seen head-on
        double tiltX, tiltY, spin;
        double blur, noise, gradient;
        int jpegQuality;
    };
    const Case cases[] = {
        {0, 640, 80, 25, -10, 30, 1.0, 3, 0.3, 75},
        {1, 640, 60, -30, 20, 200, 1.2, 4, 0.2, 80},
        {2, 640, 50, 10, 35, 120, 0.8, 3, 0.4, 70},
        {3, 640, 70, -20, -25, 300, 1.4, 5, 0.1, 85},
        {0, 320, 55, 15, 20, 95, 0.8, 3, 0.3, 80},
        {2, 320, 50, -20, 10, 250, 1.0, 4, 0.2, 75},
        {1, 320, 45, 20, -15, 40, 0.7, 3, 0.2, 85},
        {3, 320, 40, -10, 15, 170, 0.6, 3, 0.3, 85},
        {1, 320, 32, 20, -25, 60, 1.2, 4, 0.3, 75},
        {2, 320, 28, -30, 10, 300, 1.0, 3, 0.2, 80},
        {0, 320, 30, 35, 0, 140, 1.3, 4, 0.3, 75},
        {3, 320, 26, 10, 30, 20, 0.9, 3, 0.2, 85},
        {1, 640, 36, 40, 20, 230, 1.4, 4, 0.3, 75},
    };
    std::vector<cv::Mat> pictures;
    std::vector<ar::PatternFile> patterns(4);
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(ar::readPatternFile(data + "/" + names[i], patterns[i])) << names[i];
        pictures.push_back(i == 0 ? cv::imread(data + "/hiro.png", cv::IMREAD_COLOR)
                                  : synthetic::patternPicture(patterns[i], 256));
        ASSERT_FALSE(pictures.back().empty()) << names[i];
    }
    for (const Case& c : cases) {
        const ARParam camera = plainCamera(c.frameWidth, c.frameWidth * 3 / 4);
        ar::Tracker tracker;
        ASSERT_TRUE(tracker.setCalibration(camera));
        for (const ar::PatternFile& pattern : patterns) ASSERT_GE(tracker.addPattern(pattern), 0);
        double pose[3][4];
        synthetic::makePose(c.tiltX, c.tiltY, c.spin, 5, -5, camera.mat[0][0] * 80 / c.side, pose);
        synthetic::PrintedMarker m;
        m.picture = pictures[c.slot];
        m.width = 80;
        std::copy(&pose[0][0], &pose[0][0] + 12, &m.pose[0][0]);
        synthetic::FrameOptions options;
        options.paper = 215;
        options.ink = 35;
        options.blur = c.blur;
        options.noise = c.noise;
        options.gradient = c.gradient;
        options.gradientAngle = c.spin;
        auto frame = synthetic::renderFrame(camera, {m}, options);
        synthetic::compressAsJpeg(frame, c.jpegQuality);
        const std::string what = std::string(names[c.slot]) + " at " + std::to_string(c.frameWidth) + " px wide, side " +
                                 std::to_string(static_cast<int>(c.side));
        const ARMarkerInfo* found = findMarker(tracker.detect(view(frame), 100), c.slot);
        ASSERT_NE(found, nullptr) << what;
        EXPECT_GE(found->cf, 0.85) << what;
        EXPECT_LT(cornerRms(*found, frame.markers[0]), 1.0) << what;
    }
}

} // namespace
} // namespace kwo::test

namespace kwo::test {
namespace {

// Dark shapes that are not squares, each alone on paper: nothing may be
// reported as a square, least of all identified.
TEST(Clutter, ShapesThatAreNotSquaresGiveNoSquare) {
    struct Shape {
        const char* what;
        std::vector<cv::Point> points;
        int thickness; // 0: filled
    };
    // Discs small enough that their outline has only 5 to 8 bends: a bend
    // left out of the four lies within a pixel of the line fitted between
    // its neighbours, and only its sharp turn tells it from the start of a
    // straight side.
    auto disc = [](int x, int y, int radius) {
        std::vector<cv::Point> points;
        cv::ellipse2Poly(cv::Point(x, y), cv::Size(radius, radius), 0, 0, 360, 5, points);
        return points;
    };
    const Shape shapes[] = {
        {"3 px stroke", {{100, 100}, {146, 112}}, 3},
        {"bent stroke", {{60, 60}, {120, 70}, {125, 130}}, 3},
        {"triangle", {{60, 150}, {140, 160}, {90, 210}}, 0},
        {"house (five corners)", {{180, 60}, {240, 60}, {240, 110}, {210, 135}, {180, 110}}, 0},
        {"hexagon", {{200, 150}, {230, 150}, {245, 175}, {230, 200}, {200, 200}, {185, 175}}, 0},
        {"disc of radius 7", disc(60, 60, 7), 0},
        {"disc of radius 8", disc(160, 120, 8), 0},
        {"disc of radius 10", disc(260, 200, 10), 0},
    };
    const ARParam camera = plainCamera(320, 240);
    ar::Tracker tracker = designTracker(camera);
    for (const Shape& shape : shapes) {
        cv::Mat paper(240, 320, CV_8UC3, cv::Scalar(230, 230, 230));
        if (shape.thickness) cv::polylines(paper, shape.points, false, cv::Scalar(30, 30, 30), shape.thickness, cv::LINE_AA);
        else cv::fillPoly(paper, std::vector<std::vector<cv::Point>>{shape.points}, cv::Scalar(30, 30, 30), cv::LINE_AA);
        cv::GaussianBlur(paper, paper, cv::Size(0, 0), 0.7);
        synthetic::FrameOptions options;
        options.background = paper;
        const auto frame = synthetic::renderFrame(camera, {}, options);
        tracker.resetHistory();
        EXPECT_TRUE(tracker.detect(view(frame), 100).empty()) << shape.what;
    }
}

// Frames full of text, strokes, blobs and decoy squares: an identification
// may only ever sit on a square, that is on a decoy. The seeds are frames
// where bent strokes, specks of text and triangles were once taken for
// squares (corners far off the outline, five bends cut to four).
TEST(Clutter, IdentificationsOnlyOnSquares) {
    struct Frames {
        int width;
        std::vector<std::uint32_t> seeds;
    };
    const Frames sets[] = {{320, {29, 128, 161, 177}}, {640, {110, 149, 244, 269, 455, 564}}};
    for (const Frames& set : sets) {
        const ARParam camera = plainCamera(set.width, set.width * 3 / 4);
        ar::Tracker tracker = designTracker(camera);
        synthetic::FrameRenderer renderer(camera, 1);
        for (std::uint32_t seed : set.seeds) {
            const synthetic::Clutter clutter = synthetic::clutteredBackground(camera.xsize, camera.ysize, seed);
            synthetic::FrameOptions options;
            options.background = clutter.picture;
            options.noise = 2;
            options.seed = seed;
            const auto frame = renderer.render({}, options);
            tracker.resetHistory();
            for (const ARMarkerInfo& m : tracker.detect(view(frame), 100)) {
                if (m.id < 0) continue;
                EXPECT_TRUE(synthetic::isOnDecoy(clutter, m.vertex, 3.0))
                    << set.width << " px, seed " << seed << ": id " << m.id << " cf " << m.cf << " at " << m.pos[0]
                    << ", " << m.pos[1];
            }
        }
    }
}

// A pattern area that leaves the frame cannot be read: the sampler refuses
// it instead of reading the frame's edge over and over.
TEST(Clutter, PatternAreaOutsideTheFrameIsNotSampled) {
    std::vector<std::uint8_t> pixels(64 * 48 * 4, 200);
    const ar::FrameView frame = ar::FrameView::packed(pixels.data(), 64, 48);
    const double identity[4] = {0, 0, 0, 1};
    double sample[ar::patternValues];
    const double inside[4][2] = {{10, 10}, {40, 10}, {40, 40}, {10, 40}};
    const double reaching[4][2] = {{10, 10}, {200, 10}, {200, 40}, {10, 40}};
    EXPECT_TRUE(ar::samplePattern(frame, identity, inside, sample));
    EXPECT_FALSE(ar::samplePattern(frame, identity, reaching, sample));
}

// Squares printed like markers whose grid differs from a design in a few
// cells: as a whole the content resembles the design (cf above the cut), but
// in those cells it shows paper where the design has ink or the reverse. They
// are squares with some other content, not the design, and keep id -1; the
// real design beside each is named.
TEST(Clutter, SquaresWhoseContentDiffersFromADesignInSomeCellsAreNotNamed) {
    struct Altered {
        int design;
        std::uint16_t flipped; // grid cells turned from ink to paper or back
    };
    const Altered cases[] = {{0, 0x0003}, {1, 0x0300}, {2, 0x8001}, {3, 0x0420}, {0, 0x0800}};
    const ARParam camera = plainCamera();
    ar::Tracker tracker = designTracker(camera);
    for (const Altered& c : cases) {
        const markers::MarkerDesign& design = markers::markerDesigns()[c.design];
        const markers::MarkerDesign altered{"altered", static_cast<std::uint16_t>(design.cells ^ c.flipped)};
        double left[3][4], right[3][4];
        synthetic::makePose(15, -10, 20, -110, 0, 600, left);
        synthetic::makePose(-10, 20, 200, 110, 0, 600, right);
        synthetic::PrintedMarker genuine = printed(design.name, 83, left), other = genuine;
        other.picture = markers::renderDesign(altered, 512);
        std::copy(&right[0][0], &right[0][0] + 12, &other.pose[0][0]);
        synthetic::FrameOptions options;
        options.noise = 2;
        options.blur = 0.6;
        const auto frame = synthetic::renderFrame(camera, {genuine, other}, options);
        tracker.resetHistory();
        const auto& found = tracker.detect(view(frame), 100);
        const std::string what = design.name + " with cells " + std::to_string(c.flipped) + " flipped";
        const ARMarkerInfo* named = findMarker(found, c.design);
        ASSERT_NE(named, nullptr) << what;
        EXPECT_LT(cornerRms(*named, frame.markers[0]), 0.5) << what;
        const ARMarkerInfo* square = nullptr;
        for (const ARMarkerInfo& m : found) {
            double sum = 0; // corners against the altered square's, in any order
            for (int k = 0; k < 4; ++k) {
                double nearest = 1e18;
                for (int j = 0; j < 4; ++j)
                    nearest = std::min(nearest, std::hypot(m.vertex[k][0] - frame.markers[1].ideal[j][0],
                                                           m.vertex[k][1] - frame.markers[1].ideal[j][1]));
                sum += nearest;
            }
            if (sum < 4 * 1.0) square = &m;
        }
        ASSERT_NE(square, nullptr) << what << ": the altered square is still a square";
        EXPECT_GE(square->cf, 0.5) << what << ": resembles the design as a whole";
        EXPECT_EQ(square->id, -1) << what << " (cf " << square->cf << ")";
    }
}

// The matcher's view of one part of a sample: a perfect copy of the pattern,
// a blurred one and an unevenly lit one agree everywhere; a copy with one
// block of cells inverted does not, even though its cf stays high. A small
// square's sample is blurred over a cell or more, the marker's black border
// bleeding in at the edges; told of that blur the matcher compares it with
// the pattern blurred alike: a faithful copy then matches almost exactly,
// while the inverted block still contradicts it. (Blurred over more than a
// cell, the block fades below what tells it from a real view's misfit.)
TEST(Clutter, BlockContradictionTellsOtherContentFromAPoorView) {
    const ar::PatternFile pattern = markers::patternFromPicture(synthetic::designPicture("Sliverfin", 512));
    const ar::PatternTemplate t = ar::makeTemplate(pattern);
    auto sampleOf = [&](auto change) {
        std::vector<double> sample(ar::patternValues);
        for (int plane = 0; plane < 3; ++plane)
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    sample[(plane * 16 + y) * 16 + x] = change(x, y, static_cast<double>(pattern.blocks[0][plane][y][x]));
        return sample;
    };
    auto inverted = [](int x, int y, double v) { return x >= 4 && x < 8 && y < 4 ? 255 - v : v; };
    // A sample's grey levels blurred by `sigma` cells, black ink beyond its edge.
    auto blurred = [](const std::vector<double>& sample, double sigma, int border) {
        cv::Mat grey(16, 16, CV_64F, const_cast<double*>(sample.data())), padded, soft;
        cv::copyMakeBorder(grey, padded, 8, 8, 8, 8, border, cv::Scalar(20));
        cv::GaussianBlur(padded, soft, cv::Size(0, 0), sigma, sigma, cv::BORDER_REPLICATE);
        std::vector<double> result(ar::patternValues);
        for (int plane = 0; plane < 3; ++plane)
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) result[(plane * 16 + y) * 16 + x] = soft.at<double>(y + 8, x + 8);
        return result;
    };
    const auto itself = sampleOf([](int, int, double v) { return v; });
    ar::CellBlur smallView; // a blur of a cell each way: cells of about a pixel
    smallView.xx = smallView.yy = 1;
    struct Case {
        const char* what;
        std::vector<double> sample;
        bool named;
        ar::CellBlur blur{};
        double cfAtLeast = 0.5;
    };
    const Case cases[] = {
        {"the pattern itself", itself, true},
        {"blurred over a cell", blurred(itself, 1.2, cv::BORDER_REPLICATE), true},
        {"light falling to half across", sampleOf([](int x, int, double v) { return v * (1 - x / 32.0); }), true},
        {"one block inverted", sampleOf(inverted), false},
        {"a small view, the blur told", blurred(itself, 1.0, cv::BORDER_CONSTANT), true, smallView, 0.95},
        {"a small view of one block inverted, the blur told", blurred(sampleOf(inverted), 1.0, cv::BORDER_CONSTANT),
         false, smallView},
        // A sharper camera than the blur told: the sharp comparison stands.
        {"the pattern itself, a small view's blur told", itself, true, smallView, 0.99},
        // A shadow's edge misfits the blocks it crosses; the sharp
        // comparison's narrower margin still names the pattern.
        {"a hard shadow over a third, a small view's blur told",
         sampleOf([](int x, int, double v) { return x < 5 ? 0.5 * v : v; }), true, smallView},
    };
    for (const Case& c : cases) {
        const ar::Match m = ar::matchSample(c.sample.data(), &t, 1, c.blur);
        EXPECT_EQ(m.dir, 0) << c.what;
        EXPECT_GE(m.cf, c.cfAtLeast) << c.what;
        EXPECT_EQ(ar::namesPattern(m, 0.5), c.named)
            << c.what << ": cf " << m.cf << ", contradiction " << m.contradiction << ", blurred " << m.blurred;
    }
}

// Steeply tilted, blurred, small markers: the acute corners round off and
// may split into two bends each; the marker must still be found.
TEST(Detection, SteeplyTiltedBlurredMarkersAreFound) {
    const ARParam camera = plainCamera();
    ar::Tracker tracker = designTracker(camera);
    synthetic::FrameRenderer renderer(camera);
    struct Case {
        double side, tilt, axis, spin, blur;
    };
    const Case cases[] = {
        {40, 60, 0, 0, 1.5},   {40, 60, 45, 30, 1.5},  {42, 57, 120, 75, 1.5},
        {47, 59, 200, 10, 1.3}, {52, 53, 300, 140, 1.4}, {44, 58, 80, 200, 1.5},
    };
    for (const Case& c : cases) {
        const double z = camera.mat[0][0] * 83 / c.side;
        const double a = c.axis * M_PI / 180;
        double pose[3][4];
        synthetic::makePose(c.tilt * std::cos(a), c.tilt * std::sin(a), c.spin, 20, -10, z, pose);
        synthetic::FrameOptions options;
        options.blur = c.blur;
        options.noise = 2;
        const auto frame = renderer.render({printed("Brackenjaw", 83, pose)}, options);
        tracker.resetHistory();
        const ARMarkerInfo* m = findMarker(tracker.detect(view(frame), 100), 1);
        ASSERT_NE(m, nullptr) << "side " << c.side << " tilt " << c.tilt << " axis " << c.axis << " spin " << c.spin;
        EXPECT_LT(cornerRms(*m, frame.markers[0]), 1.0) << "side " << c.side << " tilt " << c.tilt << " axis " << c.axis;
    }
}

// Steep, blurred views that were once lost: a blurred acute corner split
// into two bends farther apart than a corner's width (the left-out bend
// lies on the next side, off the chord to the rounded corner but on the
// side's line), corners found a pixel off that move the sample by about a
// cell, and samples so small across the tilt that the blur mixes their
// blocks. Each view is named with corners within 2 px.
TEST(Detection, TiltedViewsWithSplitCornersOrShiftedSamplesAreNamed) {
    struct View {
        int design;
        double side, tilt, axis, spin, x, y, blur; // px, degrees, mm, px
        std::uint32_t seed;
    };
    const View views[] = {
        {1, 48.176, 54.138, 157.997, 41.867, 58.859, -36.856, 1.410, 40209},
        {0, 47.226, 56.763, 214.602, 316.022, 18.386, 24.525, 1.134, 40340},
        {0, 40.114, 59.754, 165.669, 101.029, -227.538, 63.286, 1.474, 40184},
        {0, 41.888, 58.982, 125.925, 321.009, -190.277, -161.699, 1.428, 40400},
        {2, 42.096, 56.145, 180.810, 79.628, -119.609, 47.164, 1.419, 40146},
        {0, 43.529, 56.145, 172.750, 214.177, -193.713, 52.812, 1.234, 40148},
        {2, 44.663, 56.566, 203.101, 161.975, -83.919, -87.733, 1.182, 40154},
        {3, 42.135, 58.928, 201.299, 75.606, 233.121, -205.920, 1.278, 40095},
    };
    const ARParam camera = plainCamera();
    ar::Tracker tracker = designTracker(camera);
    synthetic::FrameRenderer renderer(camera);
    for (const View& v : views) {
        const double z = camera.mat[0][0] * 83 / v.side;
        const double a = v.axis * M_PI / 180;
        double pose[3][4];
        synthetic::makePose(v.tilt * std::cos(a), v.tilt * std::sin(a), v.spin, v.x, v.y, z, pose);
        synthetic::PrintedMarker m = printed(designNames()[v.design], 83, pose);
        m.picture = synthetic::designPicture(designNames()[v.design], 256);
        synthetic::FrameOptions options;
        options.seed = v.seed;
        options.noise = 2;
        options.blur = v.blur;
        const auto frame = renderer.render({m}, options);
        tracker.resetHistory();
        const ARMarkerInfo* found = findMarker(tracker.detect(view(frame), 100), v.design);
        ASSERT_NE(found, nullptr) << "seed " << v.seed;
        EXPECT_LT(cornerRms(*found, frame.markers[0]), 2.0) << "seed " << v.seed;
    }
}

} // namespace
} // namespace kwo::test
