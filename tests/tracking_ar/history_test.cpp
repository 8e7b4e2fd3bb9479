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

// Two markers side by side, tilted, turning about their own normals in
// opposite senses; the history is on, as in the viewer. Every frame must
// report both with their printed upper-left corner where it is: a stale
// direction puts it a whole side away.
struct TurnSequence {
    const char* what;
    std::vector<double> spins; // degrees, per frame
};

class TurnsAreFollowed : public ::testing::TestWithParam<TurnSequence> {};

TEST_P(TurnsAreFollowed, EveryFrameEveryMarkerRightWayRound) {
    const TurnSequence& sequence = GetParam();
    const ARParam camera = plainCamera(320, 240);
    ar::Tracker tracker = designTracker(camera);
    // Coarser anti-aliasing and a plain table keep hundreds of frames quick.
    synthetic::FrameRenderer renderer(camera, 2);
    const cv::Mat table(240, 320, CV_8UC3, cv::Scalar(150, 165, 175));
    const int slots[2] = {0, 2};
    // The pictures are made once; only the poses change.
    const double still[3][4] = {{1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 450}};
    std::vector<synthetic::PrintedMarker> markers;
    for (int k = 0; k < 2; ++k) {
        markers.push_back(printed(designNames()[slots[k]], 83, still));
        markers.back().picture = synthetic::designPicture(designNames()[slots[k]], 128);
    }
    for (std::size_t frame = 0; frame < sequence.spins.size(); ++frame) {
        for (int k = 0; k < 2; ++k) {
            const double spin = k == 0 ? sequence.spins[frame] : -sequence.spins[frame];
            synthetic::makePose(20, k == 0 ? 15 : -15, spin, k == 0 ? -80 : 80, 0, 450, markers[k].pose);
        }
        synthetic::FrameOptions options;
        options.seed = static_cast<std::uint32_t>(frame + 1);
        options.noise = 2;
        options.blur = 0.6;
        options.background = table;
        const auto picture = renderer.render(markers, options);
        const auto& found = tracker.detect(view(picture), 100);
        for (int k = 0; k < 2; ++k) {
            const ARMarkerInfo* m = findMarker(found, slots[k]);
            ASSERT_NE(m, nullptr) << sequence.what << ": frame " << frame << ", marker " << k << " lost";
            ASSERT_LT(cornerRms(*m, picture.markers[k]), 1.0)
                << sequence.what << ": frame " << frame << ", marker " << k << " at spin " << sequence.spins[frame]
                << " reported turned (dir " << m->dir << ", cf " << m->cf << ")";
        }
    }
}

std::vector<double> quarterTurn() {
    std::vector<double> spins(4, 20.0);
    spins.resize(12, 110.0); // turned in one frame, then lying still
    return spins;
}

std::vector<double> fullTurn(double step) {
    std::vector<double> spins;
    for (double a = 0; a <= 360 + 1e-9; a += step) spins.push_back(a);
    return spins;
}

std::string sequenceName(const ::testing::TestParamInfo<TurnSequence>& info) {
    static const char* names[] = {"QuarterTurnInOneFrame", "OneDegreePerFrame", "ThreeDegreesPerFrame",
                                  "TenDegreesPerFrame"};
    return names[info.index];
}

INSTANTIATE_TEST_SUITE_P(Sequences, TurnsAreFollowed,
                         ::testing::Values(TurnSequence{"quarter turn in one frame", quarterTurn()},
                                           TurnSequence{"1 degree per frame", fullTurn(1)},
                                           TurnSequence{"3 degrees per frame", fullTurn(3)},
                                           TurnSequence{"10 degrees per frame", fullTurn(10)}),
                         sequenceName);

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
    const double decay = ar::MarkerHistory::defaultDecay;
    struct Case {
        const char* what;
        ARMarkerInfo current;
        int id;
        int dir;
        double cf;
        std::size_t reported; // squares in the list afterwards
    };
    const Case cases[] = {
        {"unidentified square in the same place inherits, a little less sure",
         square(101, 99, 40, -1, 3, 0.3), 2, 1, 0.9 * decay, 1},
        {"corners listed from another corner turn dir", rotated(square(100, 100, 40, -1, 0, 0.3), 1), 2, 2, 0.9 * decay, 1},
        {"weaker match of the same pattern keeps its own direction (a turn)", square(100, 100, 40, 2, 3, 0.6), 2, 3, 0.6, 1},
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

// A square the picture never identifies again keeps a remembered id only
// while the decayed confidence stays at the cut; then it is unidentified, and
// the memory, no longer refreshed, runs out.
TEST(HistoryRules, InheritedConfidenceDecaysBelowTheCut) {
    ar::MarkerHistory history;
    std::vector<ARMarkerInfo> first{square(100, 100, 40, 1, 2, 0.8)};
    history.apply(first, 1, 3, 0.5);
    int carried = 0;
    double previous = 0.8;
    for (long frame = 2; frame < 40; ++frame) {
        std::vector<ARMarkerInfo> now{square(100, 100, 40, -1, 0, 0.3)};
        history.apply(now, frame, 3, 0.5);
        ASSERT_EQ(now.size(), 1u);
        if (now[0].id < 0) break;
        EXPECT_EQ(now[0].id, 1);
        EXPECT_EQ(now[0].dir, 2);
        EXPECT_LT(now[0].cf, previous);
        EXPECT_GE(now[0].cf, 0.5);
        previous = now[0].cf;
        ++carried;
    }
    // 0.8 * 0.95^k stays at 0.5 or above for k up to 9.
    EXPECT_EQ(carried, 9);
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
