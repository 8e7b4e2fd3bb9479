// The detector's local threshold: its limits against a plain computation,
// the frame's white, the dark pixels it gives on small synthetic pictures
// (shadows, dark and light tables, flat pictures, the frame's edge), and the
// library's call for it.

#include "tests/tracking_ar/fixtures.h"
#include "tracking/ar/ar.h"
#include "tracking/ar/local_threshold.h"
#include "tracking/ar/stages.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <random>

namespace kwo::test {
namespace {

struct Picture {
    int width, height;
    std::vector<std::uint8_t> pixels; // blue, green, red, pad
    ar::FrameView view() const { return ar::FrameView::packed(pixels.data(), width, height); }
};

// Blobs of every grey on paper with noise; random pad bytes.
Picture randomPicture(int width, int height, std::uint32_t seed) {
    std::mt19937 random(seed);
    Picture p{width, height, std::vector<std::uint8_t>(4 * static_cast<std::size_t>(width) * height)};
    cv::Mat grey(height, width, CV_8U, cv::Scalar(210));
    std::uniform_int_distribution<int> x(0, width - 1), y(0, height - 1), size(1, 5), level(0, 255);
    for (int blob = 0; blob < width * height / 100 + 2; ++blob)
        cv::circle(grey, {x(random), y(random)}, size(random), cv::Scalar(level(random)), cv::FILLED);
    for (int i = 0; i < width * height; ++i) {
        for (int c = 0; c < 3; ++c)
            p.pixels[4 * i + c] = static_cast<std::uint8_t>(std::clamp(grey.data[i] + level(random) / 16 - 8, 0, 255));
        p.pixels[4 * i + 3] = static_cast<std::uint8_t>(level(random));
    }
    return p;
}

Picture flatPicture(int width, int height, int level) {
    Picture p{width, height, std::vector<std::uint8_t>(4 * static_cast<std::size_t>(width) * height)};
    for (std::size_t i = 0; i < p.pixels.size(); ++i) p.pixels[i] = static_cast<std::uint8_t>(i % 4 == 3 ? i * 7 : level);
    return p;
}

// The limits one pixel at a time, in floating point, as threshold.h
// describes them: block means, the white from their grey levels, blocks held
// to the ceiling, the window's mean less the offset, and straight lines
// between block centres.
std::vector<double> plainLimits(const Picture& p, const ar::LocalThreshold& t) {
    const int w = p.width, h = p.height, b = 8, columns = (w + b - 1) / b, rows = (h + b - 1) / b;
    std::vector<double> sum(static_cast<std::size_t>(rows) * columns), count(sum.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            sum[(y / b) * columns + x / b] += p.view().brightness(x, y);
            count[(y / b) * columns + x / b] += 1;
        }
    std::vector<int> histogram(256);
    for (std::size_t i = 0; i < sum.size(); ++i) ++histogram[static_cast<int>(sum[i] / count[i]) / 3];
    const int white = ar::whiteOfHistogram(histogram);
    const double ceiling = std::round(t.ceiling * white), offset = 3 * std::max(2.0, std::round(t.offset * white / 100.0));
    for (std::size_t i = 0; i < sum.size(); ++i) sum[i] = std::min(sum[i], 3 * ceiling * count[i]);
    const double blocks = t.neighbourhood * w / b;
    const int r = blocks > 1 ? static_cast<int>(std::lround((blocks - 1) / 2)) : 0;
    std::vector<double> limit(sum.size());
    for (int by = 0; by < rows; ++by)
        for (int bx = 0; bx < columns; ++bx) {
            double s = 0, n = 0;
            for (int yy = std::max(0, by - r); yy <= std::min(rows - 1, by + r); ++yy)
                for (int xx = std::max(0, bx - r); xx <= std::min(columns - 1, bx + r); ++xx) {
                    s += sum[yy * columns + xx];
                    n += count[yy * columns + xx];
                }
            limit[by * columns + bx] = std::clamp(s / n - offset, 0.0, 766.0);
        }
    std::vector<double> out(static_cast<std::size_t>(w) * h);
    auto between = [](double at, int last, int& low, double& share) {
        low = std::clamp(static_cast<int>(std::floor(at)), 0, last);
        share = at <= 0 || low >= last ? 0 : at - low;
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int i, j;
            double v, u;
            between((y + 0.5) / b - 0.5, rows - 1, i, v);
            between((x + 0.5) / b - 0.5, columns - 1, j, u);
            auto at = [&](int a, int c) { return limit[std::min(a, rows - 1) * columns + std::min(c, columns - 1)]; };
            out[y * w + x] = (at(i, j) * (1 - u) + at(i, j + 1) * u) * (1 - v) + (at(i + 1, j) * (1 - u) + at(i + 1, j + 1) * u) * v;
        }
    return out;
}

TEST(LocalLimits, AgreeWithAPlainComputation) {
    const struct {
        int width, height;
    } sizes[] = {{3, 3}, {5, 7}, {13, 9}, {64, 48}, {65, 41}, {130, 50}, {321, 17}};
    ar::LocalLimits limits; // reused across sizes, as a tracker does
    for (const auto& size : sizes)
        for (const double neighbourhood : {0.01, 0.3, 2.0})
            for (const double ceiling : {0.6, 1.0}) {
                SCOPED_TRACE(testing::Message() << size.width << "x" << size.height << " neighbourhood " << neighbourhood
                                                << " ceiling " << ceiling);
                const Picture picture = randomPicture(size.width, size.height, size.width * 100 + size.height);
                ar::LocalThreshold t;
                t.neighbourhood = neighbourhood;
                t.ceiling = ceiling;
                limits.prepare(picture.view(), t);
                const std::vector<double> expected = plainLimits(picture, t);
                double worst = 0;
                for (int y = 0; y < size.height; ++y) {
                    const std::uint16_t* row = limits.row(y);
                    for (int x = 0; x < size.width; ++x)
                        worst = std::max(worst, std::abs(row[x] - expected[y * size.width + x]));
                }
                EXPECT_LE(worst, 1.0); // the limits are whole numbers
            }
}

TEST(LocalLimits, WhiteIsTheMedianOfTheLighterClass) {
    const struct {
        std::vector<std::pair<int, int>> levels; // grey level, count
        int white;
    } cases[] = {
        {{}, 0},
        {{{120, 50}}, 120},                                // one level: every sample is light
        {{{0, 50}}, 0},
        {{{40, 70}, {200, 30}}, 200},                      // a table and the paper on it
        {{{40, 95}, {220, 5}}, 220},                       // a little paper on a dark coat
        {{{30, 10}, {180, 40}, {200, 30}, {240, 20}}, 200}, // ink, then paper in three lights
    };
    for (const auto& c : cases) {
        std::vector<int> histogram(256);
        for (const auto& [level, n] : c.levels) histogram[level] += n;
        EXPECT_EQ(ar::whiteOfHistogram(histogram), c.white) << c.levels.size();
    }
}

// A plain picture has nothing darker than its surroundings, whatever its
// level; and the outermost ring of pixels is never dark, even when black.
TEST(LocalMask, FlatPicturesAndTheFrameEdgeHaveNoDarkPixels) {
    cv::Mat mask;
    for (const int level : {0, 1, 20, 128, 255}) {
        const Picture p = flatPicture(67, 45, level);
        ar::markDarkPixels(p.view(), ar::Threshold::adaptive(), mask);
        EXPECT_EQ(cv::countNonZero(mask), 0) << level;
    }
    // White with a black frame three pixels wide: the ring is light, the two
    // rows and columns inside it dark.
    Picture framed = flatPicture(64, 48, 230);
    for (int y = 0; y < framed.height; ++y)
        for (int x = 0; x < framed.width; ++x)
            if (x < 3 || y < 3 || x >= framed.width - 3 || y >= framed.height - 3)
                for (int c = 0; c < 3; ++c) framed.pixels[4 * (y * framed.width + x) + c] = 10;
    ar::markDarkPixels(framed.view(), ar::Threshold::adaptive(), mask);
    for (int x = 0; x < framed.width; ++x) {
        EXPECT_EQ(mask.at<std::uint8_t>(0, x), 0);
        EXPECT_EQ(mask.at<std::uint8_t>(framed.height - 1, x), 0);
    }
    for (int y = 0; y < framed.height; ++y) {
        EXPECT_EQ(mask.at<std::uint8_t>(y, 0), 0);
        EXPECT_EQ(mask.at<std::uint8_t>(y, framed.width - 1), 0);
    }
    EXPECT_EQ(cv::countNonZero(mask), 4 * (framed.width - 2) + 4 * (framed.height - 6)) << "the two rings inside the edge";
    // The global threshold keeps its own rule on the same picture.
    ar::markDarkPixels(framed.view(), ar::Threshold::global(100), mask);
    EXPECT_EQ(mask.at<std::uint8_t>(0, 5), 0);
    EXPECT_EQ(mask.at<std::uint8_t>(1, 5), 255);
}

// The detection's own mask is the one markDarkPixels shows, and its regions
// are the 8-connected components of it that keep off the edge.
TEST(LocalMask, DetectionLabelsTheSameDarkPixels) {
    ar::TrackerParameters parameters;
    parameters.minArea = 2;
    parameters.maxArea = 5000;
    ar::LocalLimits limits;
    ar::DarkRuns work;
    cv::Mat detected, shown;
    std::vector<ar::Region> regions;
    for (const auto& [w, h] : {std::pair{64, 48}, {79, 33}, {160, 120}}) {
        const Picture picture = randomPicture(w, h, 7 * w + h);
        ar::findDarkRegions(picture.view(), ar::LocalThreshold{}, parameters, limits, detected, work, regions);
        ar::markDarkPixels(picture.view(), ar::Threshold::adaptive(), shown);
        ASSERT_EQ(cv::countNonZero(detected != shown), 0) << w << "x" << h;
        cv::Mat labels, stats, centroids;
        const int n = cv::connectedComponentsWithStats(shown, labels, stats, centroids, 8);
        std::size_t expected = 0;
        for (int i = 1; i < n; ++i) {
            const int left = stats.at<int>(i, cv::CC_STAT_LEFT), top = stats.at<int>(i, cv::CC_STAT_TOP);
            const int right = left + stats.at<int>(i, cv::CC_STAT_WIDTH) - 1, bottom = top + stats.at<int>(i, cv::CC_STAT_HEIGHT) - 1;
            const int area = stats.at<int>(i, cv::CC_STAT_AREA);
            expected += area >= parameters.minArea && area <= parameters.maxArea && left > 1 && top > 1 && right < w - 2 &&
                        bottom < h - 2;
        }
        EXPECT_EQ(regions.size(), expected) << w << "x" << h;
        EXPECT_GT(expected, 3u) << "the picture holds regions to compare";
    }
}

// Printed markers the viewer's camera sees: each is found with its own
// pattern and its corners right under the local threshold.
struct Scene {
    const char* what;
    double width, z;      // mm
    double shadow;        // light left beyond a straight edge across the marker; 0 none
    int background;       // grey level of the table; -1 the generated texture
    bool foundAt100;      // whether the station's default global threshold finds it too
};

class LocalScenes : public ::testing::TestWithParam<Scene> {};

TEST_P(LocalScenes, MarkerIsFoundWhole) {
    const Scene s = GetParam();
    const ARParam camera = plainCamera();
    ar::Tracker tracker = designTracker(camera);
    double pose[3][4];
    synthetic::makePose(20, -15, 30, 10, -5, s.z, pose);
    synthetic::FrameOptions options;
    options.blur = 0.8;
    options.noise = 2;
    if (s.background >= 0) options.background = cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(s.background));
    synthetic::SyntheticFrame frame = synthetic::renderFrame(camera, {printed("Sliverfin", s.width, pose)}, options);
    if (s.shadow > 0) {
        // A hard edge through the marker's middle, at a slant.
        const auto& c = frame.markers[0].observed;
        const double cx = (c[0][0] + c[2][0]) / 2, cy = (c[0][1] + c[2][1]) / 2;
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x)
                if ((x - cx) * 0.8 + (y - cy) * 0.6 > 0)
                    for (int k = 0; k < 3; ++k) {
                        std::uint8_t& v = frame.pixels[4 * (static_cast<std::size_t>(y) * frame.width + x) + k];
                        v = static_cast<std::uint8_t>(std::lround(v * s.shadow));
                    }
    }
    const ar::FrameView image = view(frame);
    const ARMarkerInfo* m = findMarker(tracker.detect(image, ar::Threshold::adaptive()), 2);
    ASSERT_NE(m, nullptr) << "not found";
    EXPECT_LT(cornerRms(*m, frame.markers[0]), 1.0);

    // The white margin around the border stays light all round: points a
    // tenth of the side outside each edge.
    cv::Mat dark;
    ar::markDarkPixels(image, ar::Threshold::adaptive(), dark);
    int darkMargin = 0;
    for (int k = 0; k < 4; ++k)
        for (double t = 0.1; t < 0.95; t += 0.1) {
            double ideal[2], observed[2];
            const double half = s.width / 2, out = half + 0.1 * s.width;
            const double along = (t - 0.5) * s.width;
            const double point[4][2] = {{along, out}, {out, -along}, {-along, -out}, {-out, along}};
            if (!synthetic::projectPoint(camera, pose, point[k][0], point[k][1], ideal, observed) ||
                !image.contains(observed[0], observed[1]))
                continue;
            darkMargin += dark.at<std::uint8_t>(static_cast<int>(observed[1]), static_cast<int>(observed[0])) != 0;
        }
    EXPECT_EQ(darkMargin, 0);

    // Where the global threshold fails, the local one is what finds it
    // (without the memory of the marker just found).
    tracker.resetHistory();
    EXPECT_EQ(findMarker(tracker.detect(image, 100), 2) != nullptr, s.foundAt100);
}

INSTANTIATE_TEST_SUITE_P(
    Light, LocalScenes,
    ::testing::Values(Scene{"half in a hard shadow", 83, 600, 0.4, -1, false},
                      Scene{"half in a hard shadow on a dark table", 83, 600, 0.4, 30, false},
                      Scene{"on a dark table", 83, 600, 0, 25, true},
                      Scene{"on a white table", 83, 600, 0, 245, true},
                      // A border of about 70 px, wider than the 88 px neighbourhood's half.
                      Scene{"near, its border wider than the neighbourhood", 83, 160, 0, -1, true},
                      Scene{"near and half in a hard shadow", 83, 200, 0.4, -1, false},
                      Scene{"far (about 22 px)", 83, 2100, 0, -1, true}),
    [](const auto& info) {
        std::string name = info.param.what;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

// The library's own call: the global mode detects exactly as arDetectMarker
// does, the local one finds the shadowed marker the global one cannot.
TEST(DetectMarkerCall, ChoosesTheThresholdsMode) {
    const std::string folder = KWO_PROGRAM_DIR "/tracking/";
    ARMarkerInfo* list = nullptr;
    int count = 0;
    std::vector<std::uint8_t> grey(640 * 480 * 4, 200);
    EXPECT_EQ(ar::detectMarker(grey.data(), ar::Threshold::adaptive(), &list, &count), -1) << "no calibration yet";
    const ARParam camera = plainCamera();
    ASSERT_EQ(arInitCparam(&camera), 0);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(arLoadPatt((folder + designNames()[i] + ".pattern").c_str()), i);
    EXPECT_EQ(ar::detectMarker(nullptr, ar::Threshold::adaptive(), &list, &count), -1);
    EXPECT_EQ(ar::detectMarker(grey.data(), ar::Threshold::adaptive(), nullptr, &count), -1);

    double pose[3][4];
    synthetic::makePose(10, 20, -40, -30, 20, 650, pose);
    synthetic::FrameOptions options;
    options.blur = 0.7;
    options.noise = 2;
    synthetic::SyntheticFrame frame = synthetic::renderFrame(camera, {printed("Mossglider", 83, pose)}, options);
    ASSERT_EQ(ar::detectMarker(frame.data(), ar::Threshold::global(100), &list, &count), 0);
    const std::vector<ARMarkerInfo> viaMode(list, list + count);
    ASSERT_EQ(arDetectMarker(frame.data(), 100, &list, &count), 0);
    ASSERT_EQ(static_cast<std::size_t>(count), viaMode.size());
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(list[i].id, viaMode[i].id);
        EXPECT_EQ(list[i].cf, viaMode[i].cf);
        EXPECT_EQ(std::memcmp(list[i].vertex, viaMode[i].vertex, sizeof list[i].vertex), 0);
    }

    // The left two thirds of the picture in a shadow of 40 % light.
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width * 2 / 3; ++x)
            for (int k = 0; k < 3; ++k) {
                std::uint8_t& v = frame.pixels[4 * (static_cast<std::size_t>(y) * frame.width + x) + k];
                v = static_cast<std::uint8_t>(v * 2 / 5);
            }
    auto named = [&](const ar::Threshold& threshold) {
        // Frames apart: forget the marker the last call remembered.
        std::vector<std::uint8_t> blank(frame.pixels.size(), 200);
        for (int i = 0; i < 4; ++i) ar::detectMarker(blank.data(), threshold, &list, &count);
        EXPECT_EQ(ar::detectMarker(frame.data(), threshold, &list, &count), 0);
        return std::any_of(list, list + count, [](const ARMarkerInfo& m) { return m.id == 3; });
    };
    EXPECT_FALSE(named(ar::Threshold::global(100)));
    EXPECT_TRUE(named(ar::Threshold::adaptive()));
}

} // namespace
} // namespace kwo::test
