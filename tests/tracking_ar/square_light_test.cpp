// The light round a square tells a printed marker, whose black border has
// lighter paper round it, from a closed shape in a dark coat's or table's
// texture, which the local threshold finds too.

#include "tracking/ar/square_light.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace kwo::test {
namespace {

TEST(SquareLight, ShapeWithNothingLighterRoundItIsNoPrint) {
    struct Case {
        const char* what;
        int surround, border;
        double left, top; // the square's top left corner; its side is 64 px
        bool measured, noQuietZone, judged;
    };
    const Case cases[] = {
        {"printed border on paper", 200, 30, 100, 100, true, false, false},
        {"texture as dark round it as its border", 58, 52, 100, 100, false, true, true},
        {"half in the frame, the rest dark round it", 58, 52, -36, -36, false, false, false},
    };
    const double noDistortion[4] = {320, 240, 0, 1}; // centre x, y, no distortion, scale 1
    for (const Case& c : cases) {
        cv::Mat frame(480, 640, CV_8UC4, cv::Scalar::all(c.surround));
        cv::rectangle(frame, cv::Rect(int(c.left), int(c.top), 64, 64), cv::Scalar::all(c.border), cv::FILLED);
        const double vertex[4][2] = {
            {c.left, c.top}, {c.left + 64, c.top}, {c.left + 64, c.top + 64}, {c.left, c.top + 64}};
        const ar::SquareLight light =
            ar::measureSquareLight(ar::FrameView::packed(frame.data, frame.cols, frame.rows), noDistortion, vertex);
        EXPECT_EQ(light.measured(), c.measured) << c.what;
        EXPECT_EQ(light.noQuietZone(), c.noQuietZone) << c.what << ": " << light.seenCount << " places seen";
        // Whatever the sample and the match, a square without paper round
        // it never shows print; unmeasured light otherwise gives no verdict.
        if (!c.measured) {
            double sample[ar::patternValues] = {};
            ar::Match match;
            match.gain = 1;
            ar::PatternTemplate pattern;
            EXPECT_EQ(ar::showsPrint(light, sample, match, pattern, 0.4, 0.45), !c.judged) << c.what;
        }
    }
}

} // namespace
} // namespace kwo::test
