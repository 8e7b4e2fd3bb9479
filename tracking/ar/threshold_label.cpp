#include "tracking/ar/stages.h"
#include "tracking/ar/tracker.h"

#include <opencv2/imgproc.hpp>

namespace kwo::ar {

void findDarkRegions(const FrameView& frame, int threshold, const TrackerParameters& parameters,
                     cv::Mat& darkMask, cv::Mat& labels, cv::Mat& stats, cv::Mat& centroids,
                     std::vector<Region>& regions) {
    regions.clear();
    const int w = frame.width, h = frame.height;
    darkMask.create(h, w, CV_8U);
    const int limit = 3 * threshold;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* out = darkMask.ptr<std::uint8_t>(y);
        const std::uint8_t* in = frame.pixel(0, y);
        for (int x = 0; x < w; ++x, in += 4) out[x] = (in[0] + in[1] + in[2] <= limit) ? 255 : 0;
    }
    // The outermost ring is never dark, so every region's outline has
    // neighbours inside the frame.
    darkMask.row(0).setTo(0);
    darkMask.row(h - 1).setTo(0);
    darkMask.col(0).setTo(0);
    darkMask.col(w - 1).setTo(0);

    const int count = cv::connectedComponentsWithStats(darkMask, labels, stats, centroids, 8, CV_32S);
    for (int label = 1; label < count; ++label) {
        const int* s = stats.ptr<int>(label);
        const int area = s[cv::CC_STAT_AREA];
        if (area < parameters.minArea || area > parameters.maxArea) continue;
        const int left = s[cv::CC_STAT_LEFT], top = s[cv::CC_STAT_TOP];
        const int width = s[cv::CC_STAT_WIDTH], height = s[cv::CC_STAT_HEIGHT];
        if (left <= 1 || top <= 1 || left + width >= w - 1 || top + height >= h - 1) continue;
        const double* c = centroids.ptr<double>(label);
        regions.push_back({label, area, left, top, width, height, c[0], c[1]});
    }
}

void traceOutline(const cv::Mat& labels, const Region& region, std::vector<cv::Point>& outline) {
    outline.clear();
    // Neighbour directions, clockwise on screen, starting east.
    static const int dx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
    static const int dy[8] = {0, 1, 1, 1, 0, -1, -1, -1};
    auto directionOf = [](int ox, int oy) {
        static const int table[3][3] = {{5, 6, 7}, {4, -1, 0}, {3, 2, 1}}; // [oy + 1][ox + 1]
        return table[oy + 1][ox + 1];
    };
    const int label = region.label;
    auto inside = [&](int x, int y) { return labels.at<int>(y, x) == label; };

    // Start at the first pixel of the region's top row; its west neighbour is
    // outside, so the search begins there.
    cv::Point start(region.left, region.top);
    while (!inside(start.x, start.y)) ++start.x;

    cv::Point p = start;
    int back = 4; // direction from p to the outside pixel we came from
    cv::Point first(-1, -1);
    const std::size_t maxSteps = 4 * static_cast<std::size_t>(region.area) + 16;
    for (std::size_t step = 0; step < maxSteps; ++step) {
        int found = -1;
        for (int k = 1; k <= 8; ++k) {
            const int d = (back + k) % 8;
            if (inside(p.x + dx[d], p.y + dy[d])) {
                found = d;
                break;
            }
            // not inside: this becomes the new backtrack candidate
        }
        if (found < 0) { // a single isolated pixel
            outline.push_back(p);
            return;
        }
        const cv::Point next(p.x + dx[found], p.y + dy[found]);
        if (p == start) {
            if (first.x < 0) first = next;
            else if (next == first) return; // closed
        }
        outline.push_back(p);
        // The pixel checked just before `next` is outside; seen from `next`.
        const int prevDir = (found + 7) % 8;
        const int bx = p.x + dx[prevDir], by = p.y + dy[prevDir];
        back = directionOf(bx - next.x, by - next.y);
        p = next;
    }
}

} // namespace kwo::ar
