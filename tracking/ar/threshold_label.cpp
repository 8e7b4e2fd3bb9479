#include "tracking/ar/stages.h"
#include "tracking/ar/tracker.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kwo::ar {

namespace {

int findRoot(std::vector<int>& parent, int i) {
    while (parent[i] != i) {
        parent[i] = parent[parent[i]];
        i = parent[i];
    }
    return i;
}

// The earlier run becomes the root, so a region's root is its first run in
// raster order (where its outline starts).
void join(std::vector<int>& parent, int a, int b) {
    a = findRoot(parent, a);
    b = findRoot(parent, b);
    if (a < b) parent[b] = a;
    else if (b < a) parent[a] = b;
}

// out[x] = 255 where blue + green + red < limit, else 0.
void markDarkRow(const std::uint8_t* in, int width, unsigned limit, std::uint8_t* out) {
    int x = 0;
#if defined(__SSE2__)
    // Sixteen pixels at a time: the three colour bytes of each 32-bit pixel
    // summed in 32-bit lanes, compared, and the results packed to bytes.
    const __m128i low = _mm_set1_epi32(0xff);
    const __m128i bound = _mm_set1_epi32(static_cast<int>(limit));
    auto dark4 = [&](const std::uint8_t* p) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i sum = _mm_add_epi32(_mm_add_epi32(_mm_and_si128(v, low), _mm_and_si128(_mm_srli_epi32(v, 8), low)),
                                          _mm_and_si128(_mm_srli_epi32(v, 16), low));
        return _mm_cmplt_epi32(sum, bound);
    };
    for (; x + 16 <= width; x += 16) {
        const __m128i a = _mm_packs_epi32(dark4(in + 4 * x), dark4(in + 4 * x + 16));
        const __m128i b = _mm_packs_epi32(dark4(in + 4 * x + 32), dark4(in + 4 * x + 48));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_packs_epi16(a, b));
    }
#endif
    for (; x < width; ++x) {
        const std::uint8_t* p = in + 4 * x;
        out[x] = static_cast<unsigned>(p[0] + p[1] + p[2]) < limit ? 255 : 0;
    }
}

// The first position from x on (below end) whose byte differs from `skip`
// (0 or 255), eight bytes at a time over long stretches.
int skipBytes(const std::uint8_t* row, int x, int end, std::uint8_t skip) {
    const std::uint64_t pattern = skip ? ~std::uint64_t{0} : 0;
    while (x + 8 <= end) {
        std::uint64_t word;
        std::memcpy(&word, row + x, 8);
        if (word != pattern) break;
        x += 8;
    }
    while (x < end && row[x] == skip) ++x;
    return x;
}

} // namespace

void findDarkRegions(const FrameView& frame, int threshold, const TrackerParameters& parameters,
                     cv::Mat& darkMask, DarkRuns& work, std::vector<Region>& regions) {
    regions.clear();
    const int w = frame.width, h = frame.height;
    darkMask.create(h, w, CV_8U);
    // Dark: sum < limit, that is sum <= 3 * threshold.
    const unsigned limit = static_cast<unsigned>(3 * std::clamp(threshold, -1, 255) + 1);
    for (int y = 0; y < h; ++y) markDarkRow(frame.pixel(0, y), w, limit, darkMask.ptr<std::uint8_t>(y));
    // The outermost ring is never dark, so every region's outline has
    // neighbours inside the frame.
    darkMask.row(0).setTo(0);
    darkMask.row(h - 1).setTo(0);
    darkMask.col(0).setTo(0);
    darkMask.col(w - 1).setTo(0);

    // Runs, each joined with the runs of the row above that touch it
    // (diagonal neighbours included).
    auto& runs = work.runs;
    auto& parent = work.parent;
    runs.clear();
    parent.clear();
    int previousStart = 0, previousEnd = 0;
    for (int y = 1; y < h - 1; ++y) {
        const std::uint8_t* row = darkMask.ptr<std::uint8_t>(y);
        const int rowStart = static_cast<int>(runs.size());
        int above = previousStart;
        int x = 1;
        while (x < w - 1) {
            x = skipBytes(row, x, w - 1, 0);
            if (x >= w - 1) break;
            const int x0 = x;
            x = skipBytes(row, x, w - 1, 255);
            const int x1 = x - 1;
            const int id = static_cast<int>(runs.size());
            runs.push_back({y, x0, x1});
            parent.push_back(id);
            while (above < previousEnd && runs[above].x1 < x0 - 1) ++above;
            for (int k = above; k < previousEnd && runs[k].x0 <= x1 + 1; ++k) join(parent, id, k);
        }
        previousStart = rowStart;
        previousEnd = static_cast<int>(runs.size());
    }

    // Size, bounding box and centre of every region, kept at its root.
    const std::size_t n = runs.size();
    work.area.assign(n, 0);
    work.sumX.assign(n, 0);
    work.sumY.assign(n, 0);
    work.left.assign(n, w);
    work.top.assign(n, h);
    work.right.assign(n, -1);
    work.bottom.assign(n, -1);
    for (std::size_t i = 0; i < n; ++i) {
        const int root = findRoot(parent, static_cast<int>(i));
        const auto& run = runs[i];
        const long length = run.x1 - run.x0 + 1;
        work.area[root] += length;
        work.sumX[root] += (static_cast<long>(run.x0) + run.x1) * length / 2; // exact: one factor is even
        work.sumY[root] += static_cast<long>(run.y) * length;
        work.left[root] = std::min(work.left[root], run.x0);
        work.right[root] = std::max(work.right[root], run.x1);
        work.top[root] = std::min(work.top[root], run.y);
        work.bottom[root] = std::max(work.bottom[root], run.y);
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (parent[i] != static_cast<int>(i)) continue;
        const long area = work.area[i];
        if (area < parameters.minArea || area > parameters.maxArea) continue;
        const int left = work.left[i], top = work.top[i], right = work.right[i], bottom = work.bottom[i];
        if (left <= 1 || top <= 1 || right >= w - 2 || bottom >= h - 2) continue;
        regions.push_back({runs[i].x0, runs[i].y, static_cast<int>(area), left, top, right - left + 1,
                           bottom - top + 1, static_cast<double>(work.sumX[i]) / area,
                           static_cast<double>(work.sumY[i]) / area});
    }
}

void traceOutline(const cv::Mat& darkMask, const Region& region, std::vector<cv::Point>& outline) {
    outline.clear();
    // Neighbour directions, clockwise on screen, starting east.
    static const int dx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
    static const int dy[8] = {0, 1, 1, 1, 0, -1, -1, -1};
    auto directionOf = [](int ox, int oy) {
        static const int table[3][3] = {{5, 6, 7}, {4, -1, 0}, {3, 2, 1}}; // [oy + 1][ox + 1]
        return table[oy + 1][ox + 1];
    };
    // Tracing the mask from the region's first pixel follows that region's
    // outer boundary: every 8-neighbour stepped on belongs to it.
    auto inside = [&](int x, int y) { return darkMask.at<std::uint8_t>(y, x) != 0; };

    // Its west neighbour is outside, so the search begins there.
    const cv::Point start(region.startX, region.startY);

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
