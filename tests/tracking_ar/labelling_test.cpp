// Dark-region labelling and outline tracing against a plain pixel-by-pixel
// flood fill, on pictures whose widths fall on and beside the steps the
// labelling works in (16 pixels, 64-bit words), with random pad bytes.

#include "tracking/ar/stages.h"
#include "tracking/ar/tracker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

namespace kwo::test {
namespace {

struct Picture {
    int width, height;
    std::vector<std::uint8_t> pixels; // blue, green, red, pad
};

// Discs, bars and specks of inks from black to light grey on light paper,
// with some noise, so that sums fall on every side of each threshold; the
// pad byte is random, as cameras leave it.
Picture randomPicture(int width, int height, std::uint32_t seed) {
    std::mt19937 random(seed);
    Picture p{width, height, std::vector<std::uint8_t>(4 * width * height)};
    std::vector<int> ink(width * height, 0);
    std::uniform_int_distribution<int> x(0, width - 1), y(0, height - 1), size(0, 4), level(0, 255);
    for (int shape = 0; shape < width * height / 40 + 3; ++shape) {
        const int cx = x(random), cy = y(random), r = size(random), kind = shape % 3;
        const int inkLevel = 1 + level(random) * 3 / 4;
        for (int yy = std::max(0, cy - r); yy <= std::min(height - 1, cy + r); ++yy)
            for (int xx = std::max(0, cx - r); xx <= std::min(width - 1, cx + r); ++xx)
                if (kind != 0 || (xx - cx) * (xx - cx) + (yy - cy) * (yy - cy) <= r * r) ink[yy * width + xx] = inkLevel;
    }
    for (int i = 0; i < width * height; ++i) {
        const int base = ink[i] ? ink[i] : 210;
        for (int c = 0; c < 3; ++c) p.pixels[4 * i + c] = static_cast<std::uint8_t>(std::clamp(base + level(random) / 8 - 16, 0, 255));
        p.pixels[4 * i + 3] = static_cast<std::uint8_t>(level(random));
    }
    return p;
}

struct Expected {
    cv::Mat mask;
    std::vector<ar::Region> regions;
    std::vector<int> label; // component of each pixel, -1 when light
};

// One pixel at a time: dark when blue + green + red <= 3 * threshold and off
// the outermost ring; 8-connected components listed by their first pixel.
Expected floodFill(const Picture& p, int threshold, const ar::TrackerParameters& parameters) {
    const int w = p.width, h = p.height;
    Expected e{cv::Mat(h, w, CV_8U, cv::Scalar(0)), {}, std::vector<int>(w * h, -1)};
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            const std::uint8_t* q = &p.pixels[4 * (y * w + x)];
            if (q[0] + q[1] + q[2] <= 3 * threshold) e.mask.at<std::uint8_t>(y, x) = 255;
        }
    int components = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!e.mask.at<std::uint8_t>(y, x) || e.label[y * w + x] >= 0) continue;
            long area = 0, sumX = 0, sumY = 0;
            int left = x, right = x, top = y, bottom = y;
            std::vector<cv::Point> stack{{x, y}};
            e.label[y * w + x] = components;
            while (!stack.empty()) {
                const cv::Point q = stack.back();
                stack.pop_back();
                ++area;
                sumX += q.x;
                sumY += q.y;
                left = std::min(left, q.x);
                right = std::max(right, q.x);
                top = std::min(top, q.y);
                bottom = std::max(bottom, q.y);
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = q.x + dx, ny = q.y + dy;
                        if (nx < 0 || ny < 0 || nx >= w || ny >= h || !e.mask.at<std::uint8_t>(ny, nx)) continue;
                        if (e.label[ny * w + nx] >= 0) continue;
                        e.label[ny * w + nx] = components;
                        stack.push_back({nx, ny});
                    }
            }
            ++components;
            if (area < parameters.minArea || area > parameters.maxArea) continue;
            if (left <= 1 || top <= 1 || right >= w - 2 || bottom >= h - 2) continue;
            e.regions.push_back({x, y, static_cast<int>(area), left, top, right - left + 1, bottom - top + 1,
                                 static_cast<double>(sumX) / area, static_cast<double>(sumY) / area});
        }
    return e;
}

TEST(Labelling, RegionsAndOutlinesAgreeWithAFloodFill) {
    ar::TrackerParameters parameters;
    parameters.minArea = 2;
    parameters.maxArea = 1000;
    const struct {
        int width, height;
    } sizes[] = {{3, 3}, {5, 7}, {17, 9}, {63, 20}, {64, 31}, {65, 40}, {79, 33}, {130, 50}, {333, 61}};
    cv::Mat mask;
    ar::DarkRuns work; // reused across pictures of all sizes, as a tracker does
    std::vector<ar::Region> regions;
    std::vector<cv::Point> outline;
    int checkedRegions = 0;
    for (const auto& size : sizes)
        for (const int threshold : {-1, 0, 100, 150, 255}) {
            const Picture picture = randomPicture(size.width, size.height, size.width * 1000 + size.height);
            const ar::FrameView frame = ar::FrameView::packed(picture.pixels.data(), size.width, size.height);
            const Expected expected = floodFill(picture, threshold, parameters);
            ar::findDarkRegions(frame, threshold, parameters, mask, work, regions);
            SCOPED_TRACE(testing::Message() << size.width << "x" << size.height << " threshold " << threshold);
            ASSERT_EQ(cv::countNonZero(mask != expected.mask), 0);
            ASSERT_EQ(regions.size(), expected.regions.size());
            for (std::size_t i = 0; i < regions.size(); ++i) {
                const ar::Region &r = regions[i], &x = expected.regions[i];
                EXPECT_EQ(std::vector<int>({r.startX, r.startY, r.area, r.left, r.top, r.width, r.height}),
                          std::vector<int>({x.startX, x.startY, x.area, x.left, x.top, x.width, x.height}));
                EXPECT_EQ(r.cx, x.cx);
                EXPECT_EQ(r.cy, x.cy);

                // The outline starts at the region's first pixel and is a
                // closed chain of 8-neighbours, each a pixel of the region
                // with a light 4-neighbour.
                ar::traceOutline(mask, r, outline);
                ASSERT_FALSE(outline.empty());
                EXPECT_EQ(outline.front(), cv::Point(r.startX, r.startY));
                const int component = expected.label[r.startY * size.width + r.startX];
                for (std::size_t k = 0; k < outline.size(); ++k) {
                    const cv::Point a = outline[k], b = outline[(k + 1) % outline.size()];
                    ASSERT_EQ(expected.label[a.y * size.width + a.x], component) << a;
                    if (outline.size() > 1) {
                        EXPECT_LE(std::max(std::abs(a.x - b.x), std::abs(a.y - b.y)), 1) << a << b;
                        EXPECT_NE(a, b);
                    }
                    const bool edge = !mask.at<std::uint8_t>(a.y, a.x - 1) || !mask.at<std::uint8_t>(a.y, a.x + 1) ||
                                      !mask.at<std::uint8_t>(a.y - 1, a.x) || !mask.at<std::uint8_t>(a.y + 1, a.x);
                    EXPECT_TRUE(edge) << a;
                }
                ++checkedRegions;
            }
        }
    // The pictures hold enough regions for the comparison to mean something.
    EXPECT_GT(checkedRegions, 100);
}

} // namespace
} // namespace kwo::test
