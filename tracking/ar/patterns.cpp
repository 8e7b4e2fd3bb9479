#include "tracking/ar/patterns.h"

#include "files/read_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kwo::ar {

namespace {

void fail(std::string* error, const std::string& text) {
    if (error) *error = text;
}

constexpr int blockSide = 4;                        // cells per side of a block
constexpr int blocksPerSide = patternSide / blockSide;
constexpr int blockValues = 3 * blocksPerSide * blocksPerSide;

// Block sums of one plane for any move of up to one cell, from sums over
// the plane with its edge cells repeated once all round.
struct MovedBlocks {
    static constexpr int padded = patternSide + 2;
    double prefix[padded + 1][padded + 1] = {}; // prefix[y][x]: sum of padded cells above and left of (x, y)

    explicit MovedBlocks(const double* plane) {
        for (int y = 0; y < padded; ++y)
            for (int x = 0; x < padded; ++x) {
                const int row = std::clamp(y - 1, 0, patternSide - 1), column = std::clamp(x - 1, 0, patternSide - 1);
                prefix[y + 1][x + 1] = plane[row * patternSide + column] + prefix[y][x + 1] + prefix[y + 1][x] - prefix[y][x];
            }
    }
    // Sum of block (bx, by) of the plane moved by (dx, dy) cells.
    double sum(int bx, int by, int dx, int dy) const {
        const int x0 = bx * blockSide - dx + 1, y0 = by * blockSide - dy + 1;
        const int x1 = x0 + blockSide, y1 = y0 + blockSide;
        return prefix[y1][x1] - prefix[y0][x1] - prefix[y1][x0] + prefix[y0][x0];
    }
};

// Mean of each block of 4x4 cells, per colour plane, of the cells moved by
// (dx, dy) cells (edge cells repeated), less the mean of all blocks.
void blockMeans(const MovedBlocks planes[3], int dx, int dy, double means[blockValues]) {
    double mean = 0;
    for (int plane = 0; plane < 3; ++plane)
        for (int by = 0; by < blocksPerSide; ++by)
            for (int bx = 0; bx < blocksPerSide; ++bx) {
                const double v = planes[plane].sum(bx, by, dx, dy);
                means[(plane * blocksPerSide + by) * blocksPerSide + bx] = v;
                mean += v;
            }
    mean /= blockValues;
    for (int i = 0; i < blockValues; ++i) means[i] = (means[i] - mean) / (blockSide * blockSide);
}

// See Match::contradiction. Both inputs are mean-removed (inverted sample,
// template). Block means survive blur, which only moves brightness within a
// few cells, so they are fitted on their own. Corners found a pixel off on a
// small or steeply seen square move the sample by about a cell, which a
// block boundary turns into a large misfit: the template is also tried moved
// by one cell each way, and the best fit counts. Content that differs in a
// whole block is no better fitted by moving it a quarter block. The misfit
// is scaled by the larger of the block fit's and the whole pattern's
// contrast, so a pattern of fine detail whose blocks are all alike (an
// ill-defined block fit) is judged by its cells.
double blockContradiction(const double sample[patternValues], const double pattern[patternValues]) {
    const MovedBlocks sampleBlocks[3] = {MovedBlocks(sample), MovedBlocks(sample + patternValues / 3),
                                         MovedBlocks(sample + 2 * patternValues / 3)};
    const MovedBlocks patternBlocks[3] = {MovedBlocks(pattern), MovedBlocks(pattern + patternValues / 3),
                                          MovedBlocks(pattern + 2 * patternValues / 3)};
    double s[blockValues], t[blockValues];
    blockMeans(sampleBlocks, 0, 0, s);
    double fineSt = 0, fineTt = 0, low = pattern[0], high = pattern[0];
    for (int i = 0; i < patternValues; ++i) {
        fineSt += sample[i] * pattern[i];
        fineTt += pattern[i] * pattern[i];
        low = std::min(low, pattern[i]);
        high = std::max(high, pattern[i]);
    }
    double best = INFINITY, scale = 0;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            blockMeans(patternBlocks, dx, dy, t);
            double st = 0, tt = 0;
            for (int i = 0; i < blockValues; ++i) {
                st += s[i] * t[i];
                tt += t[i] * t[i];
            }
            const double contrast = tt > 0 ? st / tt : 0.0;
            if (dx == 0 && dy == 0) {
                scale = std::max(contrast, fineTt > 0 ? fineSt / fineTt : 0.0) * (high - low);
                // The sample does not follow the template at all: cf says so.
                if (!(scale > 0)) return 0;
            }
            double worst = 0;
            for (int i = 0; i < blockValues; ++i) worst = std::max(worst, std::abs(s[i] - contrast * t[i]));
            best = std::min(best, worst);
        }
    return best / scale;
}

} // namespace

bool readPatternFile(const std::string& path, PatternFile& pattern, std::string* error) {
    // A pattern file is about 12 kB; the bound keeps a device or a huge file
    // named by mistake from being read without end.
    const FileBytes file = readFileBytes(path, patternFileLimit);
    if (!file.read()) {
        fail(error, "Pattern file '" + path + "' cannot be read (" + file.reason + ")");
        return false;
    }
    if (file.truncated) {
        fail(error, "Pattern file '" + path + "' is larger than 64 kB");
        return false;
    }
    const std::string& text = file.bytes;
    const char* p = text.c_str();
    PatternFile result;
    for (int d = 0; d < 4; ++d)
        for (int plane = 0; plane < 3; ++plane)
            for (int row = 0; row < patternSide; ++row)
                for (int column = 0; column < patternSide; ++column) {
                    char* end = nullptr;
                    errno = 0;
                    const long value = std::strtol(p, &end, 10);
                    if (end == p || errno != 0) {
                        fail(error, "Pattern file '" + path + "' is cut short or holds something other than numbers");
                        return false;
                    }
                    if (value < 0 || value > 255) {
                        fail(error, "Pattern file '" + path + "' holds a value outside 0..255");
                        return false;
                    }
                    result.blocks[d][plane][row][column] = static_cast<unsigned char>(value);
                    p = end;
                }
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    if (*p != '\0') {
        fail(error, "Pattern file '" + path + "' holds more than four blocks of numbers");
        return false;
    }
    pattern = result;
    return true;
}

bool writePatternFile(const std::string& path, const PatternFile& pattern, std::string* error) {
    std::ostringstream text;
    for (int d = 0; d < 4; ++d) {
        for (int plane = 0; plane < 3; ++plane)
            for (int row = 0; row < patternSide; ++row) {
                for (int column = 0; column < patternSide; ++column) {
                    const int value = pattern.blocks[d][plane][row][column];
                    text << (column ? " " : "") << (value < 10 ? "  " : value < 100 ? " " : "") << value;
                }
                text << '\n';
            }
        text << '\n';
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text.str();
    if (!out) {
        fail(error, "Pattern file '" + path + "' cannot be written");
        return false;
    }
    return true;
}

void fillRotations(PatternFile& pattern) {
    for (int d = 0; d < 3; ++d)
        for (int plane = 0; plane < 3; ++plane)
            for (int y = 0; y < patternSide; ++y)
                for (int x = 0; x < patternSide; ++x)
                    pattern.blocks[d + 1][plane][y][x] = pattern.blocks[d][plane][x][patternSide - 1 - y];
}

PatternTemplate makeTemplate(const PatternFile& pattern) {
    PatternTemplate result;
    for (int d = 0; d < 4; ++d) {
        const unsigned char* raw = &pattern.blocks[d][0][0][0];
        long sum = 0;
        for (int i = 0; i < patternValues; ++i) sum += 255 - raw[i];
        const long mean = sum / patternValues;
        double length = 0;
        for (int i = 0; i < patternValues; ++i) {
            const double v = static_cast<double>(255 - raw[i] - mean);
            result.values[d][i] = v;
            length += v * v;
        }
        length = std::sqrt(length);
        result.norm[d] = length == 0 ? 1e-7 : length;
    }
    return result;
}

namespace {

static_assert(patternValues % 4 == 0);

// Dot product of two samples. Four running sums, two values at a time where
// the processor has them: the table is 16 dot products of 768 per square.
double dot(const double* a, const double* b) {
#if defined(__SSE2__)
    __m128d sum0 = _mm_setzero_pd(), sum1 = _mm_setzero_pd();
    for (int i = 0; i < patternValues; i += 4) {
        sum0 = _mm_add_pd(sum0, _mm_mul_pd(_mm_loadu_pd(a + i), _mm_loadu_pd(b + i)));
        sum1 = _mm_add_pd(sum1, _mm_mul_pd(_mm_loadu_pd(a + i + 2), _mm_loadu_pd(b + i + 2)));
    }
    double parts[2];
    _mm_storeu_pd(parts, _mm_add_pd(sum0, sum1));
    return parts[0] + parts[1];
#else
    double sum[4] = {0, 0, 0, 0};
    for (int i = 0; i < patternValues; i += 4)
        for (int k = 0; k < 4; ++k) sum[k] += a[i + k] * b[i + k];
    return sum[0] + sum[1] + sum[2] + sum[3];
#endif
}

} // namespace

Match matchSample(const double sample[patternValues], const PatternTemplate* templates, int count) {
    Match best;
    double inverted[patternValues];
    double mean = 0;
    for (int i = 0; i < patternValues; ++i) {
        inverted[i] = 255.0 - sample[i];
        mean += inverted[i];
    }
    mean /= patternValues;
    double length = 0;
    for (double& v : inverted) {
        v -= mean;
        length += v * v;
    }
    length = std::sqrt(length);
    // A flat sample (a blank square, or one below a tenth of a grey level of
    // variation) matches nothing.
    if (length < 0.1 * std::sqrt(static_cast<double>(patternValues)) || count <= 0) return best;
    for (int slot = 0; slot < count; ++slot)
        for (int d = 0; d < 4; ++d) {
            const double* t = templates[slot].values[d].data();
            const double cf = dot(inverted, t) / (length * templates[slot].norm[d]);
            if (cf > best.cf) best = {slot, d, cf};
        }
    best.contradiction = blockContradiction(inverted, templates[best.slot].values[best.dir].data());
    return best;
}

double bestCrossCorrelation(const PatternFile& a, const PatternFile& b) {
    const PatternTemplate tb = makeTemplate(b);
    double sample[patternValues];
    const unsigned char* raw = &a.blocks[0][0][0][0];
    for (int i = 0; i < patternValues; ++i) sample[i] = raw[i];
    return matchSample(sample, &tb, 1).cf;
}

} // namespace kwo::ar
