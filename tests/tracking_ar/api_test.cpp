// The C-style calls over the default tracker, in the order the viewer makes
// them, with the files the build puts in the program folder.

#include "tests/tracking_ar/fixtures.h"
#include "tracking/ar/ar.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kwo::test {
namespace {

const std::string programTracking = KWO_PROGRAM_DIR "/tracking/";

TEST(CStyleCalls, SetUpDetectAndPoseAsTheViewerDoes) {
    // Before a calibration is installed detection fails cleanly.
    std::vector<std::uint8_t> grey(320 * 240 * 4, 200);
    ARMarkerInfo* list = nullptr;
    int count = -5;
    EXPECT_EQ(arDetectMarker(grey.data(), 100, &list, &count), -1);

    ARParam loaded, resized;
    ASSERT_EQ(arParamLoad((programTracking + "camera.dat").c_str(), 1, &loaded), 0);
    ASSERT_EQ(arParamChangeSize(&loaded, 320, 240, &resized), 0);
    EXPECT_EQ(resized.xsize, 320);
    EXPECT_DOUBLE_EQ(resized.mat[0][0], loaded.mat[0][0] / 2);
    ASSERT_EQ(arInitCparam(&resized), 0);
    ARParam broken = resized;
    broken.xsize = 0;
    EXPECT_EQ(arInitCparam(&broken), -1);

    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(arLoadPatt((programTracking + designNames()[i] + ".pattern").c_str()), i);
    EXPECT_EQ(arLoadPatt((programTracking + "Nothing.pattern").c_str()), -1);

    double truth[3][4];
    synthetic::makePose(15, -10, 60, 20, 10, 600, truth);
    const auto frame = synthetic::renderFrame(resized, {printed("Brackenjaw", 83, truth)});
    EXPECT_EQ(arDetectMarker(frame.data(), 100, nullptr, &count), -1);
    ASSERT_EQ(arDetectMarker(frame.data(), 100, &list, &count), 0);
    const ARMarkerInfo* m = nullptr;
    for (int i = 0; i < count; ++i)
        if (list[i].id == 1 && (!m || list[i].cf > m->cf)) m = &list[i];
    ASSERT_NE(m, nullptr);
    EXPECT_GT(m->cf, 0.9);

    const double center[2] = {0, 0};
    double conv[3][4];
    const double error = arGetTransMat(m, center, 83, conv);
    ASSERT_GE(error, 0);
    EXPECT_LT(rotationError(conv, truth), 1.0);
    EXPECT_LT(translationError(conv, truth), 0.01);
    // Continued in the same storage, as the viewer does.
    ASSERT_GE(arGetTransMatCont(m, conv, center, 83, conv), 0);
    EXPECT_LT(rotationError(conv, truth), 1.0);
    double kept[3][4];
    std::memcpy(kept, conv, sizeof conv);
    EXPECT_LT(arGetTransMatCont(m, conv, center, 0, conv), 0);
    EXPECT_EQ(std::memcmp(kept, conv, sizeof conv), 0);
    EXPECT_LT(arGetTransMat(nullptr, center, 83, conv), 0);

    // Slots run out at 50.
    for (int i = 4; i < 50; ++i) EXPECT_EQ(arLoadPatt((programTracking + "Quillmoth.pattern").c_str()), i);
    EXPECT_EQ(arLoadPatt((programTracking + "Quillmoth.pattern").c_str()), -1);
}

} // namespace
} // namespace kwo::test
