// The marker history: timing on frames, and its rules on hand-made squares.

#include "tests/tracking_ar/fixtures.h"
#include "tracking/ar/history.h"

#include <gtest/gtest.h>

namespace kwo::test {
namespace {

TEST(HistoryOnFrames, VanishedMarkerIsReportedForTwoFramesAndGoneOnTheThird) {
    const ARParam camera = plainCamera();
    ar::Tracker tracker = designTracker(camera);
    double pose[3][4];
    synthetic::makePose(10, 0, 30, 0, 0, 500, pose);
    synthetic::FrameOptions options;
    options.background = cv::Mat(480, 640, CV_8UC3, cv::Scalar(200, 200, 200));
    synthetic::FrameRenderer renderer(camera);
    const auto seen = renderer.render({printed("Sliverfin", 83, pose)}, options);
    const auto blank = renderer.render({}, options);

    const ARMarkerInfo first = *findMarker(tracker.detect(view(seen), 100), 2);
    for (int frame = 1; frame <= 2; ++frame) {
        const auto& markers = tracker.detect(view(blank), 100);
        ASSERT_EQ(markers.size(), 1u) << "blank frame " << frame;
        EXPECT_EQ(markers[0].id, 2);
        EXPECT_EQ(std::memcmp(&markers[0], &first, sizeof first), 0) << "reported unchanged";
    }
    EXPECT_TRUE(tracker.detect(view(blank), 100).empty()) << "third blank frame";

    // Seen again, then gone again: the count starts over.
    tracker.detect(view(seen), 100);
    EXPECT_EQ(tracker.detect(view(blank), 100).size(), 1u);
    tracker.resetHistory();
    EXPECT_TRUE(tracker.detect(view(blank), 100).empty()) << "after a reset";

    ar::TrackerParameters noHistory;
    noHistory.historyFrames = 0;
    ar::Tracker forgetful = designTracker(camera, noHistory);
    forgetful.detect(view(seen), 100);
    EXPECT_TRUE(forgetful.detect(view(blank), 100).empty());
}

TEST(HistoryOnFrames, AnotherPatternInThePlaceOfARememberedOneKeepsItsOwnId) {
    const ARParam camera = plainCamera();
    ar::Tracker tracker = designTracker(camera);
    double pose[3][4];
    synthetic::makePose(0, 0, 0, 0, 0, 500, pose);
    synthetic::FrameRenderer renderer(camera);
    tracker.detect(view(renderer.render({printed("Quillmoth", 83, pose)})), 100);
    const auto& markers = tracker.detect(view(renderer.render({printed("Mossglider", 83, pose)})), 100);
    ASSERT_NE(findMarker(markers, 3), nullptr);
    EXPECT_EQ(findMarker(markers, 0), nullptr);
}

// A square of side s at (x, y), corners clockwise from the upper-left.
ARMarkerInfo square(double x, double y, double s, int id, int dir, double cf) {
    ARMarkerInfo m{};
    m.area = static_cast<int>(s * s);
    m.id = id;
    m.dir = dir;
    m.cf = cf;
    m.pos[0] = x;
    m.pos[1] = y;
    const double c[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (int i = 0; i < 4; ++i) {
        m.vertex[i][0] = x + c[i][0] * s / 2;
        m.vertex[i][1] = y + c[i][1] * s / 2;
    }
    return m;
}

// The same square with its corners listed from another one.
ARMarkerInfo rotated(ARMarkerInfo m, int by) {
    ARMarkerInfo r = m;
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 2; ++k) r.vertex[i][k] = m.vertex[(i + by) % 4][k];
    return r;
}

TEST(HistoryRules, CurrentSquaresAgainstARememberedOne) {
    const ARMarkerInfo remembered = square(100, 100, 40, 2, 1, 0.9);
    struct Case {
        const char* what;
        ARMarkerInfo current;
        int id;
        int dir;
        double cf;
        std::size_t reported; // squares in the list afterwards
    };
    const Case cases[] = {
        {"unidentified square in the same place inherits", square(101, 99, 40, -1, 3, 0.3), 2, 1, 0.9, 1},
        {"corners listed from another corner turn dir", rotated(square(100, 100, 40, -1, 0, 0.3), 1), 2, 2, 0.9, 1},
        {"weaker match of the same pattern takes the confidence", square(100, 100, 40, 2, 1, 0.6), 2, 1, 0.9, 1},
        {"stronger match keeps its own", square(100, 100, 40, 2, 1, 0.95), 2, 1, 0.95, 1},
        {"confident other pattern keeps its id", square(100, 100, 40, 0, 2, 0.7), 0, 2, 0.7, 1},
        {"too far away: both reported", square(140, 100, 40, -1, 0, 0.3), -1, 0, 0.3, 2},
        {"much smaller: both reported", square(100, 100, 32, -1, 0, 0.3), -1, 0, 0.3, 2},
        {"much larger: both reported", square(100, 100, 49, -1, 0, 0.3), -1, 0, 0.3, 2},
    };
    for (const Case& c : cases) {
        ar::MarkerHistory history;
        std::vector<ARMarkerInfo> first{remembered};
        history.apply(first, 1, 3, 0.5);
        std::vector<ARMarkerInfo> now{c.current};
        history.apply(now, 2, 3, 0.5);
        ASSERT_EQ(now.size(), c.reported) << c.what;
        EXPECT_EQ(now[0].id, c.id) << c.what;
        EXPECT_EQ(now[0].dir, c.dir) << c.what;
        EXPECT_DOUBLE_EQ(now[0].cf, c.cf) << c.what;
        if (c.reported == 2) {
            EXPECT_EQ(std::memcmp(&now[1], &remembered, sizeof remembered), 0) << c.what;
        }
    }
}

TEST(HistoryRules, OneMemoryPerIdTheMostConfidentOfAFrame) {
    ar::MarkerHistory history;
    std::vector<ARMarkerInfo> first{square(100, 100, 40, 1, 0, 0.7), square(300, 100, 40, 1, 0, 0.9)};
    history.apply(first, 1, 3, 0.5);
    std::vector<ARMarkerInfo> empty;
    history.apply(empty, 2, 3, 0.5);
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_DOUBLE_EQ(empty[0].pos[0], 300);
}

} // namespace
} // namespace kwo::test
