#include "tracking/ar/local_threshold.h"
#include "tracking/ar/stages.h"
#include "tracking/ar/tracker.h"

#include <algorithm>
#include <bit>
#include <cstdint>
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
// raster order (where its outline starts). Inlined: the labelling calls it
// for every pair of touching runs.
[[gnu::always_inline]] inline void join(std::vector<int>& parent, int a, int b) {
    a = findRoot(parent, a);
    b = findRoot(parent, b);
    if (a < b) parent[b] = a;
    else if (b < a) parent[a] = b;
}

// out[x] = 255 where blue + green + red < limit, else 0; the same as bits
// in `bits` (bit x % 64 of word x / 64; the bits past the row's end clear).
void markDarkRow(const std::uint8_t* in, int width, int limit, std::uint8_t* out, std::uint64_t* bits) {
    int x = 0;
    std::uint64_t word = 0; // the bits of the 64 pixels at hand
#if defined(__SSE2__)
    // Sixteen pixels at a time. Blue and red as 16-bit lanes plus green
    // (the pad byte masked off), the lane pairs added into 32-bit sums, the
    // sums packed to 16 bits (at most 765) and compared there.
    const __m128i blueRed = _mm_set1_epi32(0x00ff00ff);
    const __m128i green = _mm_set1_epi32(0xff);
    const __m128i ones = _mm_set1_epi16(1);
    const __m128i bound = _mm_set1_epi16(static_cast<short>(limit));
    auto sum4 = [&](const std::uint8_t* p) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i pairs = _mm_add_epi16(_mm_and_si128(v, blueRed), _mm_and_si128(_mm_srli_epi32(v, 8), green));
        return _mm_madd_epi16(pairs, ones);
    };
    for (; x + 16 <= width; x += 16) {
        const __m128i a = _mm_cmplt_epi16(_mm_packs_epi32(sum4(in + 4 * x), sum4(in + 4 * x + 16)), bound);
        const __m128i b = _mm_cmplt_epi16(_mm_packs_epi32(sum4(in + 4 * x + 32), sum4(in + 4 * x + 48)), bound);
        const __m128i dark = _mm_packs_epi16(a, b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), dark);
        word |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(dark))) << (x & 63);
        if ((x & 63) == 48) {
            bits[x >> 6] = word;
            word = 0;
        }
    }
#endif
    for (; x < width; ++x) {
        const std::uint8_t* p = in + 4 * x;
        const bool dark = p[0] + p[1] + p[2] < limit;
        out[x] = dark ? 255 : 0;
        word |= static_cast<std::uint64_t>(dark) << (x & 63);
        if ((x & 63) == 63) {
            bits[x >> 6] = word;
            word = 0;
        }
    }
    if (width & 63) bits[width >> 6] = word;
}

// As markDarkRow, with a limit of its own for every pixel.
void markDarkRowBelow(const std::uint8_t* in, int width, const std::uint16_t* limits, std::uint8_t* out,
                      std::uint64_t* bits) {
    int x = 0;
    std::uint64_t word = 0;
#if defined(__SSE2__)
    const __m128i blueRed = _mm_set1_epi32(0x00ff00ff);
    const __m128i green = _mm_set1_epi32(0xff);
    const __m128i ones = _mm_set1_epi16(1);
    auto sum4 = [&](const std::uint8_t* p) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i pairs = _mm_add_epi16(_mm_and_si128(v, blueRed), _mm_and_si128(_mm_srli_epi32(v, 8), green));
        return _mm_madd_epi16(pairs, ones);
    };
    // Limits are at most 766, so signed 16-bit comparison is exact.
    auto bound = [&](int at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(limits + at)); };
    for (; x + 16 <= width; x += 16) {
        const __m128i a = _mm_cmplt_epi16(_mm_packs_epi32(sum4(in + 4 * x), sum4(in + 4 * x + 16)), bound(x));
        const __m128i b = _mm_cmplt_epi16(_mm_packs_epi32(sum4(in + 4 * x + 32), sum4(in + 4 * x + 48)), bound(x + 8));
        const __m128i dark = _mm_packs_epi16(a, b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), dark);
        word |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(dark))) << (x & 63);
        if ((x & 63) == 48) {
            bits[x >> 6] = word;
            word = 0;
        }
    }
#endif
    for (; x < width; ++x) {
        const std::uint8_t* p = in + 4 * x;
        const bool dark = p[0] + p[1] + p[2] < limits[x];
        out[x] = dark ? 255 : 0;
        word |= static_cast<std::uint64_t>(dark) << (x & 63);
        if ((x & 63) == 63) {
            bits[x >> 6] = word;
            word = 0;
        }
    }
    if (width & 63) bits[width >> 6] = word;
}

// The labelling proper: `markRow(y, maskRow, bits)` marks the dark pixels of
// row y in the mask row and in `bits` (see markDarkRow).
template <typename MarkRow>
void labelDarkRegions(const FrameView& frame, MarkRow markRow, const TrackerParameters& parameters, cv::Mat& darkMask,
                      DarkRuns& work, std::vector<Region>& regions) {

    regions.clear();
    const int w = frame.width, h = frame.height;
    darkMask.create(h, w, CV_8U);
    // The outermost ring is never dark, so every region's outline has
    // neighbours inside the frame.
    std::memset(darkMask.ptr<std::uint8_t>(0), 0, w);
    std::memset(darkMask.ptr<std::uint8_t>(h - 1), 0, w);
    const int words = (w + 63) / 64;
    auto& bits = work.rowBits;
    bits.resize(words);

    // Runs, found a word of the row's bits at a time, each joined with the
    // runs of the row above that touch it (diagonal neighbours included).
    auto& runs = work.runs;
    auto& parent = work.parent;
    runs.clear();
    parent.clear();
    int previousStart = 0, previousEnd = 0;
    for (int y = 1; y < h - 1; ++y) {
        std::uint8_t* row = darkMask.ptr<std::uint8_t>(y);
        markRow(y, row, bits.data());
        row[0] = row[w - 1] = 0;
        bits[0] &= ~std::uint64_t{1};
        bits[(w - 1) >> 6] &= ~(std::uint64_t{1} << ((w - 1) & 63));
        const int rowStart = static_cast<int>(runs.size());
        int above = previousStart;
        // A run starts and ends where a bit differs from the one before it;
        // the first and last columns are clear, so every run ends in the row.
        std::uint64_t carry = 0;
        bool open = false;
        int x0 = 0;
        for (int k = 0; k < words; ++k) {
            const std::uint64_t word = bits[k];
            std::uint64_t edges = word ^ ((word << 1) | carry);
            carry = word >> 63;
            for (; edges != 0; edges &= edges - 1) {
                const int x = 64 * k + std::countr_zero(edges);
                open = !open;
                if (open) {
                    x0 = x;
                    continue;
                }
                const int x1 = x - 1;
                const int id = static_cast<int>(runs.size());
                runs.push_back({y, x0, x1});
                parent.push_back(id);
                while (above < previousEnd && runs[above].x1 < x0 - 1) ++above;
                for (int a = above; a < previousEnd && runs[a].x0 <= x1 + 1; ++a) join(parent, id, a);
            }
        }
        previousStart = rowStart;
        previousEnd = static_cast<int>(runs.size());
    }

    // Size, bounding box and centre of every region, kept at its root: the
    // region's first run, so the runs after it only add to it.
    const std::size_t n = runs.size();
    auto& extents = work.extents;
    if (extents.size() < n) extents.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        // A run's parent comes before it, so its root is already settled.
        const int root = parent[i] = parent[parent[i]];
        const auto& run = runs[i];
        const long length = run.x1 - run.x0 + 1;
        const long sumX = (static_cast<long>(run.x0) + run.x1) * length / 2; // exact: one factor is even
        DarkRuns::Extent& e = extents[root];
        if (root == static_cast<int>(i)) {
            e = {length, sumX, static_cast<long>(run.y) * length, run.x0, run.y, run.x1, run.y};
            continue;
        }
        e.area += length;
        e.sumX += sumX;
        e.sumY += static_cast<long>(run.y) * length;
        e.left = std::min(e.left, run.x0);
        e.right = std::max(e.right, run.x1);
        e.bottom = run.y; // runs come row by row
    }
    for (std::size_t i = 0; i < n; ++i) {
        if (parent[i] != static_cast<int>(i)) continue;
        const DarkRuns::Extent& e = extents[i];
        if (e.area < parameters.minArea || e.area > parameters.maxArea) continue;
        if (e.left <= 1 || e.top <= 1 || e.right >= w - 2 || e.bottom >= h - 2) continue;
        regions.push_back({runs[i].x0, runs[i].y, static_cast<int>(e.area), e.left, e.top, e.right - e.left + 1,
                           e.bottom - e.top + 1, static_cast<double>(e.sumX) / e.area,
                           static_cast<double>(e.sumY) / e.area});
    }
}

} // namespace

void findDarkRegions(const FrameView& frame, int threshold, const TrackerParameters& parameters,
                     cv::Mat& darkMask, DarkRuns& work, std::vector<Region>& regions) {
    // Dark: sum < limit, that is sum <= 3 * threshold.
    const int limit = 3 * std::clamp(threshold, -1, 255) + 1;
    // The view and the limit by value: the marked rows cannot then alias them.
    labelDarkRegions(
        frame, [frame, limit](int y, std::uint8_t* row, std::uint64_t* bits) { markDarkRow(frame.pixel(0, y), frame.width, limit, row, bits); },
        parameters, darkMask, work, regions);
}

void findDarkRegions(const FrameView& frame, const LocalThreshold& threshold, const TrackerParameters& parameters,
                     LocalLimits& limits, cv::Mat& darkMask, DarkRuns& work, std::vector<Region>& regions) {
    limits.prepare(frame, threshold);
    labelDarkRegions(
        frame,
        [&](int y, std::uint8_t* row, std::uint64_t* bits) {
            markDarkRowBelow(frame.pixel(0, y), frame.width, limits.row(y), row, bits);
        },
        parameters, darkMask, work, regions);
}

void markDarkPixels(const FrameView& frame, const Threshold& threshold, cv::Mat& mask) {
    mask.create(frame.height, frame.width, CV_8U);
    if (frame.width < 1 || frame.height < 1) return;
    std::vector<std::uint64_t> bits((frame.width + 63) / 64);
    LocalLimits limits;
    const bool adaptive = threshold.mode == Threshold::Mode::adaptive;
    if (adaptive) limits.prepare(frame, threshold.local);
    const int limit = 3 * std::clamp(threshold.level, -1, 255) + 1;
    for (int y = 0; y < frame.height; ++y) {
        std::uint8_t* row = mask.ptr<std::uint8_t>(y);
        if (adaptive) markDarkRowBelow(frame.pixel(0, y), frame.width, limits.row(y), row, bits.data());
        else markDarkRow(frame.pixel(0, y), frame.width, limit, row, bits.data());
        row[0] = row[frame.width - 1] = 0;
    }
    std::memset(mask.ptr<std::uint8_t>(0), 0, frame.width);
    std::memset(mask.ptr<std::uint8_t>(frame.height - 1), 0, frame.width);
}

void traceOutline(const cv::Mat& darkMask, const Region& region, std::vector<cv::Point>& outline) {
    outline.clear();
    // Neighbour directions, clockwise on screen, starting east, twice over
    // so a search may run past north-east without wrapping.
    static const int dx[16] = {1, 1, 0, -1, -1, -1, 0, 1, 1, 1, 0, -1, -1, -1, 0, 1};
    static const int dy[16] = {0, 1, 1, 1, 0, -1, -1, -1, 0, 1, 1, 1, 0, -1, -1, -1};
    const long stride = static_cast<long>(darkMask.step[0]);
    long offset[16];
    for (int d = 0; d < 16; ++d) offset[d] = dy[d] * stride + dx[d];
    // Tracing the mask from the region's first pixel follows that region's
    // outer boundary: every 8-neighbour stepped on belongs to it.

    // Its west neighbour is outside, so the search begins there.
    const cv::Point start(region.startX, region.startY);

    cv::Point p = start;
    const std::uint8_t* at = darkMask.ptr<std::uint8_t>(p.y) + p.x;
    int back = 4; // direction from p to the outside pixel we came from
    cv::Point first(-1, -1);
    const std::size_t maxSteps = 4 * static_cast<std::size_t>(region.area) + 16;
    outline.reserve(maxSteps < 4096 ? maxSteps : 4096);
    for (std::size_t step = 0; step < maxSteps; ++step) {
        int found = -1;
        for (int d = back + 1; d <= back + 8; ++d)
            if (at[offset[d]]) {
                found = d & 7;
                break;
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
        // The pixel checked just before `next` (direction found - 1 from p)
        // is outside; seen from `next` it lies two steps back round from
        // `found` after a straight step, three after a diagonal one.
        back = (found + 6 - (found & 1)) & 7;
        p = next;
        at += offset[found];
    }
}

} // namespace kwo::ar
