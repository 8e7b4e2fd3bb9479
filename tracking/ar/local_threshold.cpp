#include "tracking/ar/local_threshold.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kwo::ar {

namespace {

constexpr int block = LocalLimits::block;

// Blue + green + red of the 8 pixels from `p` (pad bytes left out).
inline int sumOfEight(const std::uint8_t* p) {
#if defined(__SSE2__)
    const __m128i colour = _mm_set1_epi32(0x00ffffff);
    const __m128i zero = _mm_setzero_si128();
    auto four = [&](const std::uint8_t* q) {
        return _mm_sad_epu8(_mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), colour), zero);
    };
    const __m128i s = _mm_add_epi32(four(p), four(p + 16)); // a total in each 64-bit half
    return _mm_cvtsi128_si32(s) + _mm_cvtsi128_si32(_mm_srli_si128(s, 8));
#else
    int sum = 0;
    for (int i = 0; i < 4 * block; ++i)
        if (i % 4 != 3) sum += p[i];
    return sum;
#endif
}

// Blocks either side of a block's own in its window: the neighbourhood's
// side in whole blocks, rounded to an odd number.
int windowRadius(const LocalThreshold& threshold, int width) {
    const double blocks = threshold.neighbourhood * width / block;
    if (!(blocks > 1)) return 0; // NaN too
    return static_cast<int>(std::lround(std::min((blocks - 1) / 2, 1e6)));
}

} // namespace

int whiteOfHistogram(const std::vector<int>& histogram) {
    long n = 0;
    double total = 0;
    for (int i = 0; i < 256; ++i) {
        n += histogram[i];
        total += static_cast<double>(i) * histogram[i];
    }
    if (n == 0) return 0;
    // Otsu: the split that best separates a dark and a light class; with a
    // single level there is none, and the light class is every sample.
    int split = -1;
    double best = -1, darkCount = 0, darkTotal = 0;
    for (int t = 0; t < 255; ++t) {
        darkCount += histogram[t];
        darkTotal += static_cast<double>(t) * histogram[t];
        const double lightCount = static_cast<double>(n) - darkCount;
        if (darkCount == 0 || lightCount == 0) continue;
        const double difference = darkTotal / darkCount - (total - darkTotal) / lightCount;
        const double between = darkCount * lightCount * difference * difference;
        if (between > best) {
            best = between;
            split = t;
        }
    }
    long light = 0;
    for (int i = split + 1; i < 256; ++i) light += histogram[i];
    long seen = 0;
    for (int i = split + 1; i < 256; ++i) {
        seen += histogram[i];
        if (2 * seen >= light) return i;
    }
    return 255;
}

void LocalLimits::prepare(const FrameView& frame, const LocalThreshold& threshold) {
    width_ = frame.width;
    height_ = frame.height;
    columns_ = (width_ + block - 1) / block;
    rows_ = (height_ + block - 1) / block;
    const int stride = columns_ + 1;

    // 1. The sum of every block, at [by + 1][bx + 1].
    sums_.assign(static_cast<std::size_t>(rows_ + 1) * stride, 0);
    const int wholeColumns = width_ / block;
    for (int y = 0; y < height_; ++y) {
        std::int64_t* out = &sums_[static_cast<std::size_t>(y / block + 1) * stride + 1];
        const std::uint8_t* p = frame.pixel(0, y);
        for (int bx = 0; bx < wholeColumns; ++bx, p += 4 * block) out[bx] += sumOfEight(p);
        for (int x = wholeColumns * block; x < width_; ++x, p += 4) out[wholeColumns] += p[0] + p[1] + p[2];
    }
    auto pixelsOf = [&](int by, int bx) {
        return (std::min(width_, block * (bx + 1)) - block * bx) * (std::min(height_, block * (by + 1)) - block * by);
    };

    // 2. The frame's white, from the blocks' grey levels, and what follows
    //    from it; then no block counts as brighter than the ceiling.
    histogram_.assign(256, 0);
    for (int by = 0; by < rows_; ++by)
        for (int bx = 0; bx < columns_; ++bx)
            ++histogram_[sums_[static_cast<std::size_t>(by + 1) * stride + bx + 1] / (3 * pixelsOf(by, bx))];
    white_ = whiteOfHistogram(histogram_);
    ceiling_ = static_cast<int>(std::lround(std::clamp(threshold.ceiling, 0.0, 1.0) * white_));
    offset_ = 3 * std::max(2, static_cast<int>(std::lround(std::clamp(threshold.offset, 0, 100) * white_ / 100.0)));
    for (int by = 0; by < rows_; ++by)
        for (int bx = 0; bx < columns_; ++bx) {
            std::int64_t& sum = sums_[static_cast<std::size_t>(by + 1) * stride + bx + 1];
            sum = std::min<std::int64_t>(sum, 3 * static_cast<std::int64_t>(ceiling_) * pixelsOf(by, bx));
        }

    // 3. Running sums, so that any window of blocks sums in four look-ups.
    for (int by = 1; by <= rows_; ++by)
        for (int bx = 1; bx <= columns_; ++bx) {
            const std::size_t i = static_cast<std::size_t>(by) * stride + bx;
            sums_[i] += sums_[i - stride] + sums_[i - 1] - sums_[i - stride - 1];
        }
    // 4. Each block's limit: the mean over the window of blocks around it
    //    (the part inside the frame), less the offset; in half units of
    //    blue + green + red, kept within 0 (nothing dark) .. 766 (all dark).
    const int r = windowRadius(threshold, width_);
    blockLimits_.resize(static_cast<std::size_t>(rows_) * columns_);
    for (int by = 0; by < rows_; ++by) {
        const int top = std::max(0, by - r), bottom = std::min(rows_ - 1, by + r);
        const int pixelRows = std::min(height_, block * (bottom + 1)) - block * top;
        for (int bx = 0; bx < columns_; ++bx) {
            const int left = std::max(0, bx - r), right = std::min(columns_ - 1, bx + r);
            const std::int64_t count =
                static_cast<std::int64_t>(std::min(width_, block * (right + 1)) - block * left) * pixelRows;
            const std::int64_t sum = sums_[static_cast<std::size_t>(bottom + 1) * stride + right + 1] -
                                     sums_[static_cast<std::size_t>(top) * stride + right + 1] -
                                     sums_[static_cast<std::size_t>(bottom + 1) * stride + left] +
                                     sums_[static_cast<std::size_t>(top) * stride + left];
            const std::int64_t twiceMean = (2 * sum + count / 2) / count;
            blockLimits_[static_cast<std::size_t>(by) * columns_ + bx] =
                static_cast<std::int16_t>(std::clamp<std::int64_t>(twiceMean - 2 * offset_, 0, 2 * 766));
        }
    }
    rowBlocks_.resize(columns_);
    row_.resize(static_cast<std::size_t>(block) * columns_ + 2 * block);
}

const std::uint16_t* LocalLimits::row(int y) {
    // Pixel centres lie at block coordinates (2y - 7) / 16: block centres
    // are whole numbers, and the weights sixteenths.
    const std::int16_t* above = &blockLimits_[0];
    const std::int16_t* below = above;
    int weight = 0; // of `below`, in sixteenths
    const int n = 2 * y - (block - 1);
    if (n > 0) {
        const int top = n / (2 * block);
        if (top < rows_ - 1) {
            above = &blockLimits_[static_cast<std::size_t>(top) * columns_];
            below = above + columns_;
            weight = n - 2 * block * top;
        } else {
            above = below = &blockLimits_[static_cast<std::size_t>(rows_ - 1) * columns_];
        }
    }
    std::int16_t* r = rowBlocks_.data();
    int bx = 0;
#if defined(__SSE2__)
    // Sixteen times a limit of at most 1532 half units fits 16 bits.
    const __m128i upper = _mm_set1_epi16(static_cast<short>(16 - weight)), lower = _mm_set1_epi16(static_cast<short>(weight));
    for (; bx + 8 <= columns_; bx += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + bx));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + bx));
        const __m128i mixed = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(a, upper), _mm_mullo_epi16(b, lower)),
                                            _mm_set1_epi16(8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(r + bx), _mm_srli_epi16(mixed, 4));
    }
#endif
    for (; bx < columns_; ++bx)
        r[bx] = static_cast<std::int16_t>((above[bx] * (16 - weight) + below[bx] * weight + 8) >> 4);

    // Across the row: the first half block and the last take their block's
    // value, in between the value runs straight from centre to centre.
    std::uint16_t* out = row_.data();
    const int half = block / 2;
    for (int x = 0; x < half; ++x) out[x] = static_cast<std::uint16_t>((r[0] + 1) >> 1);
    for (int b = 0; b + 1 < columns_; ++b) {
        std::uint16_t* segment = out + block * b + half;
        const int base = r[b], step = r[b + 1] - r[b];
#if defined(__SSE2__)
        // |step| * 15 fits 16 bits: limits are at most 1532 half units.
        const __m128i odd = _mm_setr_epi16(1, 3, 5, 7, 9, 11, 13, 15);
        const __m128i v = _mm_add_epi16(_mm_set1_epi16(static_cast<short>(base)),
                                        _mm_srai_epi16(_mm_mullo_epi16(_mm_set1_epi16(static_cast<short>(step)), odd), 4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(segment), _mm_srli_epi16(_mm_add_epi16(v, _mm_set1_epi16(1)), 1));
#else
        for (int m = 0; m < block; ++m)
            segment[m] = static_cast<std::uint16_t>((base + ((step * (2 * m + 1)) >> 4) + 1) >> 1);
#endif
    }
    const int lastCentre = block * (columns_ - 1) + half;
    for (int x = lastCentre; x < width_; ++x) out[x] = static_cast<std::uint16_t>((r[columns_ - 1] + 1) >> 1);
    return out;
}

} // namespace kwo::ar
