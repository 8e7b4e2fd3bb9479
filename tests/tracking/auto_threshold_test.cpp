// The threshold of a run: Otsu's split, the per-frame choice from the last
// markers through a day's light, the technician's steps, and the picture of
// the tuning view.
#include "tools/markers/designs.h"
#include "tools/synthetic/lighting.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/tracker.h"
#include "tracking/auto_threshold.h"
#include "tracking/detection_threshold.h"
#include "tracking/tuning_picture.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace {

using kwo::ar::FrameView;
using kwo::synthetic::SyntheticFrame;

const char* const designs[] = {"Quillmoth", "Brackenjaw", "Sliverfin", "Mossglider"};

// 640x480, 60 degrees across, no distortion: the built-in stand-in camera.
ARParam standInCamera()
{
    ARParam p{};
    p.xsize = 640;
    p.ysize = 480;
    const double f = 554.2562584220407;
    p.mat[0][0] = p.mat[1][1] = f;
    p.mat[0][2] = 319.5;
    p.mat[1][2] = 239.5;
    p.mat[2][2] = 1;
    p.dist_factor[0] = 319.5;
    p.dist_factor[1] = 239.5;
    p.dist_factor[3] = 1;
    return p;
}

// A frame of two grey levels: `dark` in the left `darkShare` of each row.
std::vector<std::uint8_t> twoLevels(int width, int height, int dark, int light, double darkShare)
{
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4, 255);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int level = x < darkShare * width ? dark : light;
            std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 4];
            p[0] = p[1] = p[2] = static_cast<std::uint8_t>(level);
        }
    return pixels;
}

TEST(OtsuThreshold, SplitsTwoLevelsInTheMiddleOfTheGap)
{
    const struct {
        int dark, light;
        double darkShare;
    } cases[] = {
        {40, 200, 0.5}, {40, 200, 0.1}, {40, 200, 0.9}, {0, 255, 0.5}, {100, 102, 0.3}, {10, 30, 0.5},
    };
    std::vector<int> histogram;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.dark) + "/" + std::to_string(c.light) + " " + std::to_string(c.darkShare));
        const auto pixels = twoLevels(64, 48, c.dark, c.light, c.darkShare);
        const int t = kwo::otsuThreshold(FrameView::packed(pixels.data(), 64, 48), 1, histogram);
        // Dark exactly when level <= t: the dark level is dark, the light one not.
        EXPECT_GE(t, c.dark);
        EXPECT_LT(t, c.light);
        EXPECT_NEAR(t, (c.dark + c.light - 1) / 2.0, 1.0);
    }
    // One level only: nothing to split, and nothing breaks.
    const auto flat = twoLevels(64, 48, 90, 90, 0);
    const int t = kwo::otsuThreshold(FrameView::packed(flat.data(), 64, 48), 2, histogram);
    EXPECT_GE(t, 0);
    EXPECT_LE(t, 255);
}

// A table by a window: four markers across a frame whose light falls to 40 %
// from one side to the other, the whole picture's brightness ramping from
// x0.3 to x1.5 and back. Each frame is detected on its own (no memory of
// earlier frames), so every identification is the threshold's doing.
class LightingRamp : public ::testing::Test {
protected:
    void SetUp() override
    {
        tracker.setCalibration(camera);
        for (const char* name : designs)
            tracker.addPattern(kwo::markers::patternFromPicture(kwo::synthetic::designPicture(name, 256)));
        std::vector<kwo::synthetic::PrintedMarker> markers;
        const double spots[4][2] = {{-150, -90}, {150, -90}, {-150, 90}, {150, 90}};
        for (int i = 0; i < 4; ++i) {
            kwo::synthetic::PrintedMarker m;
            m.picture = kwo::synthetic::designPicture(designs[i], 256);
            kwo::synthetic::makePose(-25 + 10 * i, 10, 30 * i, spots[i][0], spots[i][1], 620, m.pose);
            markers.push_back(m);
        }
        kwo::synthetic::FrameOptions options;
        options.gradient = 0.6;
        options.blur = 0.5;
        lit = kwo::synthetic::renderFrame(camera, markers, options);
    }

    static kwo::ar::TrackerParameters noMemory()
    {
        kwo::ar::TrackerParameters parameters;
        parameters.historyFrames = 0;
        return parameters;
    }

    // Markers identified with their own pattern, corners within 3 px.
    int identified(const std::vector<ARMarkerInfo>& found) const
    {
        int count = 0;
        for (int k = 0; k < 4; ++k)
            count += std::any_of(found.begin(), found.end(), [&](const ARMarkerInfo& m) {
                if (m.id != k)
                    return false;
                double worst = 0;
                for (int c = 0; c < 4; ++c) {
                    const double* v = m.vertex[(4 - m.dir + c) % 4];
                    worst = std::max(worst, std::hypot(v[0] - lit.markers[k].ideal[c][0],
                                                       v[1] - lit.markers[k].ideal[c][1]));
                }
                return worst < 3.0;
            });
        return count;
    }

    ARParam camera = standInCamera();
    kwo::ar::Tracker tracker{noMemory()};
    SyntheticFrame lit;
};

TEST_F(LightingRamp, AutoKeepsEveryMarkerWhereTheDefaultLosesThem)
{
    const double ramp[] = {1.0, 1.2, 1.5, 1.2, 1.0, 0.8, 0.6, 0.5, 0.4, 0.3, 0.4, 0.6, 1.0};
    kwo::DetectionThreshold automatic(std::nullopt, camera.dist_factor);
    int lostAt100 = 0;
    std::uint32_t seed = 1;
    for (double brightness : ramp) {
        SCOPED_TRACE("brightness x" + std::to_string(brightness));
        const SyntheticFrame frame = kwo::synthetic::relit(lit, brightness, 2, seed++);
        const FrameView view = FrameView::packed(frame.data(), frame.width, frame.height);
        const int threshold = automatic.forFrame(view).level;
        const auto& found = tracker.detect(view, threshold);
        EXPECT_EQ(identified(found), 4) << "auto chose " << threshold;
        automatic.detected(found.data(), static_cast<int>(found.size()));
        lostAt100 += 4 - identified(tracker.detect(view, 100));
    }
    // The ramp is one the default cannot cover: it loses markers (all of them
    // in the dimmest light), so the figure above is auto's doing.
    EXPECT_GE(lostAt100, 8);
}

TEST_F(LightingRamp, ChoosesFromTheMarkersAndFallsBackToTheWholeFrame)
{
    kwo::AutoThreshold automatic(camera.dist_factor);
    const SyntheticFrame bright = kwo::synthetic::relit(lit, 1.0, 0, 1);
    const SyntheticFrame dim = kwo::synthetic::relit(lit, 0.3, 0, 1);
    const FrameView brightView = FrameView::packed(bright.data(), bright.width, bright.height);
    const FrameView dimView = FrameView::packed(dim.data(), dim.width, dim.height);

    EXPECT_EQ(automatic.source(), kwo::AutoThreshold::Source::none);
    automatic.choose(brightView);
    EXPECT_EQ(automatic.source(), kwo::AutoThreshold::Source::frame);
    const auto found = tracker.detect(brightView, 100);
    ASSERT_EQ(identified(found), 4);
    automatic.learn(found.data(), static_cast<int>(found.size()));

    // The light drops to a third between two frames: the markers' own grey
    // levels, read in the new frame, carry the threshold down with it at once.
    const int atFull = automatic.choose(brightView);
    EXPECT_EQ(automatic.source(), kwo::AutoThreshold::Source::markers);
    const int atThird = automatic.choose(dimView);
    EXPECT_EQ(automatic.source(), kwo::AutoThreshold::Source::markers);
    EXPECT_NEAR(atThird, atFull * 0.3, 4);
    EXPECT_EQ(identified(tracker.detect(dimView, atThird)), 4);

    // Squares that matched no pattern teach nothing: clutter would pull the
    // threshold to its own grey levels.
    std::vector<ARMarkerInfo> unknown(found.begin(), found.end());
    for (ARMarkerInfo& m : unknown)
        m.id = -1;
    automatic.learn(unknown.data(), static_cast<int>(unknown.size()));
    automatic.choose(brightView);
    EXPECT_EQ(automatic.source(), kwo::AutoThreshold::Source::frame);

    // Markers that went away leave paper-less samples behind: the whole
    // frame decides again.
    automatic.learn(found.data(), static_cast<int>(found.size()));
    std::vector<std::uint8_t> blank(bright.pixels.size(), 180);
    automatic.choose(FrameView::packed(blank.data(), bright.width, bright.height));
    EXPECT_EQ(automatic.source(), kwo::AutoThreshold::Source::frame);
}

TEST(DetectionThreshold, StepsStayWithin0To255AndOverrideAuto)
{
    const struct {
        int start, delta, expected;
    } cases[] = {{100, 5, 105}, {100, -5, 95}, {3, -5, 0}, {0, -5, 0}, {253, 5, 255}, {255, 5, 255}, {400, -5, 255}};
    for (const auto& c : cases) {
        kwo::DetectionThreshold threshold(c.start);
        threshold.step(c.delta);
        EXPECT_EQ(threshold.current(), c.expected) << c.start << " " << c.delta;
        EXPECT_EQ(threshold.describe(), "tracking/threshold in use: " + std::to_string(c.expected));
    }

    // Under auto, the first step starts from the last choice and fixes it.
    const auto pixels = twoLevels(64, 48, 40, 200, 0.5);
    const FrameView view = FrameView::packed(pixels.data(), 64, 48);
    kwo::DetectionThreshold automatic(std::nullopt);
    EXPECT_EQ(automatic.describe(), "tracking/threshold in use: auto (no frame seen)");
    const int chosen = automatic.forFrame(view).level;
    EXPECT_EQ(automatic.describe(),
              "tracking/threshold in use: auto (last frame " + std::to_string(chosen) + ", from the whole picture)");
    automatic.step(-5);
    EXPECT_FALSE(automatic.automatic());
    EXPECT_EQ(automatic.current(), chosen - 5);
    EXPECT_EQ(automatic.forFrame(view).level, chosen - 5);
}

// "adaptive": the frame is not looked at before detection, the keys move
// the offset within the configuration's range, and the mode stays.
TEST(DetectionThreshold, AdaptiveStepsItsOffsetAndStaysAdaptive)
{
    kwo::DetectionThreshold adaptive{kwo::ar::LocalThreshold{}};
    EXPECT_EQ(adaptive.mode(), kwo::DetectionThreshold::Mode::adaptive);
    EXPECT_EQ(adaptive.describe(), "tracking/threshold in use: adaptive 5");
    const kwo::ar::Threshold used = adaptive.forFrame(FrameView{});
    EXPECT_EQ(used.mode, kwo::ar::Threshold::Mode::adaptive);
    EXPECT_EQ(used.local.offset, 5);
    EXPECT_EQ(used.local.neighbourhood, kwo::ar::LocalThreshold{}.neighbourhood);
    adaptive.detected(nullptr, 0);

    const struct {
        int start, delta, expected;
    } cases[] = {{5, -1, 4}, {5, 1, 6}, {2, -2, 1}, {1, -1, 1}, {59, 2, 60}, {60, 1, 60}};
    for (const auto& c : cases) {
        kwo::ar::LocalThreshold local;
        local.offset = c.start;
        kwo::DetectionThreshold threshold(local);
        threshold.step(c.delta);
        EXPECT_EQ(threshold.current(), c.expected) << c.start << " " << c.delta;
        EXPECT_EQ(threshold.mode(), kwo::DetectionThreshold::Mode::adaptive);
        EXPECT_EQ(threshold.forFrame(FrameView{}).local.offset, c.expected);
        EXPECT_EQ(threshold.setting(), "adaptive " + std::to_string(c.expected));
        EXPECT_EQ(threshold.describe(), "tracking/threshold in use: adaptive " + std::to_string(c.expected));
    }
    EXPECT_EQ(kwo::thresholdText(kwo::ar::Threshold::global(35)), "35");
}

// Under the local threshold the picture is black exactly where the detector
// takes a pixel as dark: the paper of the dim side stays white, and the
// outermost ring, never dark for the detector, is white too.
TEST_F(LightingRamp, TuningPictureShowsTheLocalThresholdsDarkPixels)
{
    const SyntheticFrame frame = kwo::synthetic::relit(lit, 0.5, 2, 7);
    const FrameView view = FrameView::packed(frame.data(), frame.width, frame.height);
    const kwo::ar::Threshold adaptive = kwo::ar::Threshold::adaptive();
    const auto& found = tracker.detect(view, adaptive);
    EXPECT_EQ(identified(found), 4);
    cv::Mat picture, dark;
    kwo::drawTuningPicture(view, adaptive, {found.data(), static_cast<int>(found.size()), camera.dist_factor},
                           "threshold adaptive 5", false, picture);
    kwo::ar::markDarkPixels(view, adaptive, dark);
    int wrong = 0, black = 0, ringBlack = 0;
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x) {
            const cv::Vec4b p = picture.at<cv::Vec4b>(y, x);
            const bool isBlack = p[0] == 0 && p[1] == 0 && p[2] == 0, isWhite = p[0] == 255 && p[1] == 255 && p[2] == 255;
            if (!isBlack && !isWhite)
                continue;
            black += isBlack;
            wrong += isBlack != (dark.at<std::uint8_t>(y, x) != 0);
            if (x == 0 || y == 0 || x == frame.width - 1 || y == frame.height - 1)
                ringBlack += isBlack;
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(ringBlack, 0);
    // The markers' borders at least, and far from the whole picture.
    EXPECT_GT(black, frame.width * frame.height / 100);
    EXPECT_LT(black, frame.width * frame.height / 3);
}

TEST_F(LightingRamp, TuningPictureIsBlackAndWhiteWithTheSquaresOutlined)
{
    const FrameView view = FrameView::packed(lit.data(), lit.width, lit.height);
    const int threshold = 100;
    const auto& found = tracker.detect(view, threshold);
    ASSERT_EQ(identified(found), 4);
    cv::Mat picture;
    kwo::drawTuningPicture(view, threshold, {found.data(), static_cast<int>(found.size()), camera.dist_factor},
                           "threshold 100", false, picture);
    ASSERT_EQ(picture.cols, lit.width);
    ASSERT_EQ(picture.rows, lit.height);
    cv::Mat shown;
    cv::cvtColor(picture, shown, cv::COLOR_BGRA2BGR); // the pad byte is no alpha
    cv::imwrite("tuning-picture.png", shown);

    // Away from the drawing, every pixel is black exactly where the detector
    // takes it as dark.
    int other = 0, wrong = 0;
    const cv::Vec4b identifiedPixel(40, 210, 40, 255);
    for (int y = 0; y < lit.height; ++y)
        for (int x = 0; x < lit.width; ++x) {
            const cv::Vec4b p = picture.at<cv::Vec4b>(y, x);
            const bool black = p[0] == 0 && p[1] == 0 && p[2] == 0, white = p[0] == 255 && p[1] == 255 && p[2] == 255;
            if (!black && !white) {
                ++other;
                continue;
            }
            wrong += black != (view.brightness(x, y) <= 3 * threshold);
        }
    EXPECT_EQ(wrong, 0);
    EXPECT_LT(other, lit.width * lit.height / 10) << "the drawing covers little of the picture";
    // Each marker's corners carry its outline.
    for (int k = 0; k < 4; ++k)
        for (int c = 0; c < 4; ++c) {
            const int cx = static_cast<int>(std::lround(lit.markers[k].observed[c][0]));
            const int cy = static_cast<int>(std::lround(lit.markers[k].observed[c][1]));
            int outlined = 0;
            for (int y = cy - 3; y <= cy + 3; ++y)
                for (int x = cx - 3; x <= cx + 3; ++x) {
                    const cv::Vec4b p = picture.at<cv::Vec4b>(y, x);
                    outlined += p[0] == identifiedPixel[0] && p[1] == identifiedPixel[1] && p[2] == identifiedPixel[2];
                }
            EXPECT_GT(outlined, 0) << "marker " << k << " corner " << c;
        }

    // For a picture shown mirrored left to right, the squares stay where the
    // detector found them and the text is written mirrored, so that it reads
    // the right way round on screen.
    cv::Mat mirrored;
    kwo::drawTuningPicture(view, threshold, {found.data(), static_cast<int>(found.size()), camera.dist_factor},
                           "threshold 100", true, mirrored);
    int outlineDifferences = 0;
    for (int y = 0; y < lit.height; ++y)
        for (int x = 0; x < lit.width; ++x)
            outlineDifferences += (picture.at<cv::Vec4b>(y, x) == identifiedPixel) !=
                                  (mirrored.at<cv::Vec4b>(y, x) == identifiedPixel);
    EXPECT_EQ(outlineDifferences, 0);
    cv::Mat seen;
    cv::flip(mirrored, seen, 1);
    const cv::Rect caption(4, 4, 60, 12);
    EXPECT_EQ(cv::norm(seen(caption), picture(caption), cv::NORM_INF), 0);
    EXPECT_GT(cv::norm(mirrored(caption), picture(caption), cv::NORM_INF), 0);
}

} // namespace
