// The tuning view's jitter figures: the head point's movement from frame to
// frame as estimated and as shown, counted only between consecutive
// sightings of a marker.
#include "tracking/jitter_gauge.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A 640x480 camera with a focal length of 800 pixels.
ARParam camera()
{
    ARParam p{};
    p.xsize = 640;
    p.ysize = 480;
    p.mat[0][0] = p.mat[1][1] = 800;
    p.mat[0][2] = 320;
    p.mat[1][2] = 240;
    p.mat[2][2] = 1;
    p.dist_factor[3] = 1;
    return p;
}

// The object's marker seen at `time`, facing the camera 400 mm away, its
// centre at x millimetres.
void see(TrackedObject& object, double time, double x)
{
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            object.transform[r][c] = r == c ? 1 : 0;
    object.transform[0][3] = x;
    object.transform[2][3] = 400;
    object.visible = true;
    object.lastSeen = time;
}

TEST(JitterGauge, ConsecutiveSightingsOnly)
{
    kwo::JitterGauge gauge(camera());
    const kwo::Steadying unsteadied;
    std::vector<TrackedObject> objects(1);
    EXPECT_FALSE(gauge.jitter().measured);

    // 0.5 mm at 450 mm (the head point's depth) is 800 * 0.5 / 450 pixels.
    const double step = 800 * 0.5 / 450;
    see(objects[0], 0.0, 0);
    gauge.placed(objects, unsteadied, 0.0);
    EXPECT_FALSE(gauge.jitter().measured) << "one sighting is no movement";
    see(objects[0], 0.033, 0.5);
    gauge.placed(objects, unsteadied, 0.033);
    ASSERT_TRUE(gauge.jitter().measured);
    EXPECT_NEAR(gauge.jitter().estimated, step, 1e-9);
    EXPECT_NEAR(gauge.jitter().shown, step, 1e-9) << "smoothing off: shown as estimated";

    // Held (not seen at this time), then found far away: no step counted.
    gauge.placed(objects, unsteadied, 0.067);
    see(objects[0], 0.1, 100);
    gauge.placed(objects, unsteadied, 0.1);
    EXPECT_NEAR(gauge.jitter().estimated, step, 1e-9);

    // Still from now on: the figure decays toward 0.
    for (int i = 1; i <= 60; ++i) {
        see(objects[0], 0.1 + i / 30.0, 100);
        gauge.placed(objects, unsteadied, 0.1 + i / 30.0);
    }
    EXPECT_LT(gauge.jitter().estimated, step / 2);

    gauge.reset();
    EXPECT_FALSE(gauge.jitter().measured);
}

TEST(JitterGauge, SmoothingShowsLessThanEstimated)
{
    kwo::JitterGauge gauge(camera());
    kwo::Steadying steadied;
    steadied.smoothing = kwo::PoseFilterParameters{};
    std::vector<TrackedObject> objects(1);
    // A still card whose estimate trembles by a millimetre to and fro.
    for (int i = 0; i < 60; ++i) {
        const double time = i / 30.0;
        see(objects[0], time, i % 2 ? 1 : -1);
        objects[0].filter.update(time, kwo::MarkerPose::fromTransform(objects[0].transform));
        gauge.placed(objects, steadied, time);
    }
    const kwo::Jitter jitter = gauge.jitter();
    EXPECT_NEAR(jitter.estimated, 2 * 800 / 450.0, 0.05);
    EXPECT_LT(jitter.shown, jitter.estimated / 5);
}

} // namespace
