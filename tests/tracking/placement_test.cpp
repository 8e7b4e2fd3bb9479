// Steadied placement of tracked objects, frame by frame and without the
// engine: the hold of a lost marker's creature, the steadied pose and its
// fresh starts, and the defaults that leave every frame's pose as estimated.
#include "tracking/placement.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kwo::NodeChange;

// Estimates that put a marker at (pos x, pos y, 500) facing the camera, and
// record which estimate ran.
struct Script {
    std::vector<std::string> calls;

    static double place(const ARMarkerInfo* marker, double conv[3][4])
    {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                conv[r][c] = r == c ? 1 : 0;
        conv[0][3] = marker->pos[0];
        conv[1][3] = marker->pos[1];
        conv[2][3] = 500;
        return 0.5;
    }

    kwo::PoseEstimates estimates()
    {
        return {[this](ARMarkerInfo* m, double[2], double, double conv[3][4]) {
                    calls.push_back("fresh");
                    return place(m, conv);
                },
                [this](ARMarkerInfo* m, double[3][4], double[2], double, double conv[3][4]) {
                    calls.push_back("continued");
                    return place(m, conv);
                },
                [this](ARMarkerInfo* m, double[3][4], double[2], double, double conv[3][4]) {
                    calls.push_back("nearest");
                    return place(m, conv);
                }};
    }
};

// A square of pattern `id` whose centre is at (x, y); squares seen anew
// differ in area, as real ones do from frame to frame.
ARMarkerInfo square(int id, double x, double y = 0)
{
    static int area = 1000;
    ARMarkerInfo info{};
    info.id = id;
    info.cf = 0.9;
    info.area = ++area;
    info.pos[0] = x;
    info.pos[1] = y;
    return info;
}

class SteadiedPlacement : public ::testing::Test {
protected:
    SteadiedPlacement() : objects(2)
    {
        for (int i = 0; i < 2; ++i) {
            objects[static_cast<std::size_t>(i)].patternId = i;
            objects[static_cast<std::size_t>(i)].width = 83;
        }
    }

    std::string frame(double time, std::vector<ARMarkerInfo> markers, unsigned maxTracked = 0)
    {
        script.calls.clear();
        kwo::planPlacements(markers.data(), static_cast<int>(markers.size()), maxTracked, steadying, time, objects,
                            script.estimates(), changes);
        std::string shown;
        for (const TrackedObject& o : objects)
            shown += o.visible ? '1' : '0';
        return shown;
    }

    double shownX(std::size_t object) const { return kwo::shownPose(objects[object], steadying).position[0]; }

    kwo::Steadying steadying;
    std::vector<TrackedObject> objects;
    std::vector<NodeChange> changes;
    Script script;
};

TEST_F(SteadiedPlacement, ALostMarkersCreatureIsHeldFromItsLastSighting)
{
    steadying.hold = 0.1;
    const ARMarkerInfo seen = square(0, 10);
    const struct {
        double time;
        std::vector<ARMarkerInfo> markers;
        const char* shown;
        NodeChange change;
    } frames[] = {
        {0.000, {square(0, 10)}, "10", NodeChange::showPlace},
        {0.033, {seen}, "10", NodeChange::place}, // the last sighting
        // The tracker's memory reports the square unchanged for a while:
        // shown as before, but the hold still counts from the sighting.
        {0.067, {seen}, "10", NodeChange::place},
        {0.100, {}, "10", NodeChange::keep},
        {0.130, {}, "10", NodeChange::keep}, // nearly 100 ms after the sighting: still held
        {0.167, {}, "00", NodeChange::hide},
        {0.200, {}, "00", NodeChange::hide},
        // Found anew: a fresh estimate, shown at once.
        {0.233, {square(0, 40)}, "10", NodeChange::showPlace},
        // Lost for three frames and back: never hidden, and continued.
        {0.267, {}, "10", NodeChange::keep},
        {0.300, {}, "10", NodeChange::keep},
        {0.330, {}, "10", NodeChange::keep},
        {0.367, {square(0, 42)}, "10", NodeChange::place},
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(f.time);
        EXPECT_EQ(frame(f.time, f.markers), f.shown);
        EXPECT_EQ(changes[0], f.change);
    }
    EXPECT_EQ(script.calls, std::vector<std::string>{"continued"});
    // A held creature stays where it was last placed.
    EXPECT_EQ(objects[0].transform[0][3], 42);
}

TEST_F(SteadiedPlacement, AHeldCreatureKeepsItsPlaceUnderTheLimit)
{
    steadying.hold = 0.1;
    EXPECT_EQ(frame(0.0, {square(0, 0), square(1, 100)}, 1), "10");
    // The first is lost, but held: the second still waits.
    EXPECT_EQ(frame(0.033, {square(1, 100)}, 1), "10");
    EXPECT_EQ(frame(0.067, {square(1, 100)}, 1), "10");
    // The hold is over: the second takes the place.
    EXPECT_EQ(frame(0.150, {square(1, 100)}, 1), "01");
    EXPECT_EQ(changes[0], NodeChange::hide);
    EXPECT_EQ(changes[1], NodeChange::showPlace);
}

TEST_F(SteadiedPlacement, SteadiedPosesStartAfreshWhereAMarkerIsFoundAnew)
{
    steadying.smoothing = kwo::PoseFilterParameters{};
    EXPECT_EQ(frame(0.0, {square(0, 0)}), "10");
    EXPECT_EQ(shownX(0), 0) << "found: shown as measured";
    EXPECT_EQ(frame(0.033, {square(0, 2)}), "10");
    EXPECT_GT(shownX(0), 0);
    EXPECT_LT(shownX(0), 2) << "steadied";
    EXPECT_EQ(objects[0].transform[0][3], 2) << "the transform stays the estimate";
    // While steadied, a shown marker's pose is the one the square allows
    // nearest the last.
    EXPECT_EQ(script.calls, std::vector<std::string>{"nearest"});

    // Another copy of the pattern further away than a card's width: the
    // creature goes there at once, not across the picture.
    frame(0.067, {square(0, 200)});
    EXPECT_EQ(shownX(0), 200);

    // Lost and found again elsewhere: shown where it is now.
    EXPECT_EQ(frame(0.100, {}), "00");
    EXPECT_EQ(frame(0.133, {square(0, 230)}), "10");
    EXPECT_EQ(script.calls, std::vector<std::string>{"fresh"});
    EXPECT_EQ(shownX(0), 230);
}

TEST_F(SteadiedPlacement, ByDefaultEachFramesPoseAsEstimatedAndLostMeansHidden)
{
    const kwo::Steadying defaults;
    EXPECT_FALSE(defaults.smoothing.has_value());
    EXPECT_EQ(defaults.hold, 0);
    for (int i = 0; i < 4; ++i) {
        frame(i / 30.0, {square(0, i * 3.0)});
        EXPECT_EQ(shownX(0), i * 3.0);
    }
    EXPECT_EQ(script.calls, std::vector<std::string>{"continued"});
    EXPECT_EQ(frame(0.134, {}), "00");
    EXPECT_EQ(changes[0], NodeChange::hide);
}

} // namespace
