// The project's marker set: far apart for the matcher, and the files the
// build writes match the printed markers.

#include "tests/tracking_ar/fixtures.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <fstream>

namespace kwo::test {
namespace {

const std::string programTracking = KWO_PROGRAM_DIR "/tracking/";

TEST(MarkerDesigns, AreFarApartAndTheirTurnsAreDistinct) {
    std::vector<ar::PatternFile> patterns;
    for (const auto& name : designNames()) patterns.push_back(markers::patternFromPicture(synthetic::designPicture(name, 512)));
    for (std::size_t a = 0; a < patterns.size(); ++a) {
        for (std::size_t b = 0; b < patterns.size(); ++b)
            if (a != b) {
                EXPECT_LT(ar::bestCrossCorrelation(patterns[a], patterns[b]), 0.3) << a << " " << b;
            }
        // Block 0 against its own turns: the direction is never ambiguous.
        const ar::PatternTemplate t = ar::makeTemplate(patterns[a]);
        double sample[ar::patternValues];
        for (int i = 0; i < ar::patternValues; ++i) sample[i] = (&patterns[a].blocks[0][0][0][0])[i];
        const ar::Match m = ar::matchSample(sample, &t, 1);
        EXPECT_EQ(m.dir, 0);
        for (int d = 1; d < 4; ++d) {
            ar::PatternTemplate single = t;
            single.values[0] = single.values[d];
            single.norm[0] = single.norm[d];
            EXPECT_LT(ar::matchSample(sample, &single, 1).cf, 0.3) << designNames()[a] << " turn " << d;
        }
    }
    EXPECT_EQ(synthetic::designPicture("Nobody").empty(), true);
}

TEST(MarkerFiles, PrintedPicturesMatchTheirOwnPatternFiles) {
    // The PNG the build wrote, printed and seen at several angles, is found
    // with its own pattern file and a high confidence.
    const ARParam camera = plainCamera();
    ar::Tracker tracker;
    tracker.setCalibration(camera);
    for (const auto& name : designNames()) {
        std::string error;
        ASSERT_GE(tracker.loadPattern(programTracking + name + ".pattern", &error), 0) << error;
    }
    for (int i = 0; i < 4; ++i) {
        const cv::Mat png = cv::imread(programTracking + designNames()[i] + ".png", cv::IMREAD_COLOR);
        ASSERT_FALSE(png.empty()) << designNames()[i];
        // The picture has a white quiet zone of a fifth of the marker's side.
        const int margin = png.cols / 7;
        synthetic::PrintedMarker m;
        m.picture = png(cv::Rect(margin, margin, png.cols - 2 * margin, png.rows - 2 * margin)).clone();
        m.width = 83;
        synthetic::makePose(25, -20, 90.0 * i + 15, 0, 0, 600, m.pose);
        const auto frame = synthetic::renderFrame(camera, {m});
        tracker.resetHistory();
        const ARMarkerInfo* found = findMarker(tracker.detect(view(frame), 100), i);
        ASSERT_NE(found, nullptr) << designNames()[i];
        EXPECT_GT(found->cf, 0.95) << designNames()[i];
        EXPECT_LT(cornerRms(*found, frame.markers[0]), 0.1) << designNames()[i];
    }
}

TEST(MarkerFiles, SheetIsAnA4Pdf) {
    std::ifstream in(programTracking + "markers.pdf", std::ios::binary);
    const std::string pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(pdf.rfind("%PDF", 0), 0u);
    // 210 x 297 mm in points.
    EXPECT_NE(pdf.find("/MediaBox [ 0 0 595.275591 841.889764 ]"), std::string::npos);
}

} // namespace
} // namespace kwo::test
