#include "tests/tracking_ar/fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace kwo::test {
namespace {

TEST(Smoke, FrontalMarker) {
    const ARParam camera = plainCamera();
    ar::Tracker tracker = designTracker(camera);
    double pose[3][4];
    synthetic::makePose(20, 10, 30, 20, -10, 500, pose);
    const auto frame = synthetic::renderFrame(camera, {printed("Sliverfin", 83, pose)});
    const auto& markers = tracker.detect(view(frame), 100);
    for (const auto& m : markers) {
        std::printf("id %d dir %d cf %.3f area %d\n", m.id, m.dir, m.cf, m.area);
        for (int i = 0; i < 4; ++i) std::printf("  v %.3f %.3f\n", m.vertex[i][0], m.vertex[i][1]);
    }
    for (int i = 0; i < 4; ++i) std::printf("  t %.3f %.3f\n", frame.markers[0].ideal[i][0], frame.markers[0].ideal[i][1]);
}

} // namespace
} // namespace kwo::test
