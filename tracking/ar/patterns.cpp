#include "tracking/ar/patterns.h"

#include "files/read_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

#include <opencv2/core.hpp>

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
constexpr int blockCount = blocksPerSide * blocksPerSide; // per plane
constexpr int blockValues = 3 * blockCount;
// Of the 16 blocks, at least this many must show print for the pattern to
// be judged block by block (a finger may hide the rest).
constexpr int minimumKeptBlocks = 6;

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
// (dx, dy) cells (edge cells repeated), less the mean of the kept blocks.
void blockMeans(const MovedBlocks planes[3], int dx, int dy, const bool kept[blockCount], double means[blockValues]) {
    double mean = 0;
    int count = 0;
    for (int plane = 0; plane < 3; ++plane)
        for (int by = 0; by < blocksPerSide; ++by)
            for (int bx = 0; bx < blocksPerSide; ++bx) {
                const double v = planes[plane].sum(bx, by, dx, dy);
                means[(plane * blocksPerSide + by) * blocksPerSide + bx] = v;
                if (kept[by * blocksPerSide + bx]) {
                    mean += v;
                    ++count;
                }
            }
    mean /= std::max(1, count);
    for (int i = 0; i < blockValues; ++i) means[i] = (means[i] - mean) / (blockSide * blockSide);
}

// The blocks the contradiction is judged on: all, or those that show print
// (fewer than a quarter of their cells unprinted). Returns how many.
int keptBlocks(const UnprintedCells* unprinted, bool kept[blockCount]) {
    int count = 0;
    for (int by = 0; by < blocksPerSide; ++by)
        for (int bx = 0; bx < blocksPerSide; ++bx) {
            int hidden = 0;
            if (unprinted)
                for (int y = 0; y < blockSide; ++y)
                    for (int x = 0; x < blockSide; ++x)
                        hidden += unprinted->cell[(by * blockSide + y) * patternSide + bx * blockSide + x];
            kept[by * blocksPerSide + bx] = hidden < blockSide;
            count += hidden < blockSide;
        }
    return count;
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
// ill-defined block fit) is judged by its cells. Blocks covered by
// something that is not print (`unprinted`: a finger over the card) are
// left out, as long as enough of the pattern shows to judge it by.
double blockContradiction(const double sample[patternValues], const double pattern[patternValues],
                          const UnprintedCells* unprinted) {
    bool kept[blockCount];
    if (keptBlocks(unprinted, kept) < minimumKeptBlocks) return INFINITY;
    const MovedBlocks sampleBlocks[3] = {MovedBlocks(sample), MovedBlocks(sample + patternValues / 3),
                                         MovedBlocks(sample + 2 * patternValues / 3)};
    const MovedBlocks patternBlocks[3] = {MovedBlocks(pattern), MovedBlocks(pattern + patternValues / 3),
                                          MovedBlocks(pattern + 2 * patternValues / 3)};
    double s[blockValues], t[blockValues];
    blockMeans(sampleBlocks, 0, 0, kept, s);
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
            blockMeans(patternBlocks, dx, dy, kept, t);
            double st = 0, tt = 0;
            for (int i = 0; i < blockValues; ++i) {
                if (!kept[i % blockCount]) continue;
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
            for (int i = 0; i < blockValues; ++i)
                if (kept[i % blockCount]) worst = std::max(worst, std::abs(s[i] - contrast * t[i]));
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
    const double* t = result.values[0].data();
    constexpr int plane = patternSide * patternSide;
    result.ink = *std::max_element(t, t + patternValues);
    result.grey = std::equal(t, t + plane, t + plane) && std::equal(t, t + plane, t + 2 * plane);
    const unsigned char* raw = &pattern.blocks[0][0][0][0];
    const auto [low, high] = std::minmax_element(raw, raw + patternValues);
    double sum = 0;
    for (int i = 0; i < patternValues; ++i) sum += raw[i];
    result.paperShare = *high > *low ? (sum / patternValues - *low) / (*high - *low) : 0.5;
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

namespace {

// A Gaussian blur over the cells, done as two passes of one dimension: one
// along the rows, then one along a slanted column (a step down moves
// `slant` cells across), which together spread exactly as the blur's
// ellipse. Each pass holds its weights for offsets -reach..reach; the
// slanted pass reads between the two nearest cells of a row.
struct BlurPasses {
    static constexpr int maxReach = 6;  // a blur wider than that leaves almost nothing of the pattern
    static constexpr int maxShift = 12; // cells across that a slanted step may reach
    int rowReach = 0, columnReach = 0, shiftReach = 0;
    double row[2 * maxReach + 1] = {}, column[2 * maxReach + 1] = {};
    int shift[2 * maxReach + 1] = {};      // whole cells across, per step down
    double fraction[2 * maxReach + 1] = {}; // and the share of the next cell

    explicit BlurPasses(const CellBlur& blur) {
        const double det = blur.xx * blur.yy - blur.xy * blur.xy;
        if (!(det > 0) || !(blur.xx > 0)) return;
        // Spread (variance, in cells squared) along the rows after the
        // slanted pass has taken its share, and along the slanted column.
        const double rowSpread = 1 / blur.xx, columnSpread = blur.xx / det;
        rowReach = std::min(maxReach, static_cast<int>(3 * std::sqrt(rowSpread)));
        columnReach = std::min(maxReach, static_cast<int>(3 * std::sqrt(columnSpread)));
        if (rowReach == 0 && columnReach == 0) return;
        fill(row, rowReach, rowSpread);
        fill(column, columnReach, columnSpread);
        const double slant = std::clamp(-blur.xy / blur.xx, -(maxShift - 1.0) / std::max(1, columnReach),
                                        (maxShift - 1.0) / std::max(1, columnReach));
        for (int d = -columnReach; d <= columnReach; ++d) {
            const double at = slant * d;
            shift[d + columnReach] = static_cast<int>(std::floor(at));
            fraction[d + columnReach] = at - std::floor(at);
            shiftReach = std::max(shiftReach, std::abs(shift[d + columnReach]) + 1);
        }
    }
    bool moves() const { return rowReach > 0 || columnReach > 0; }

private:
    static void fill(double* weights, int reach, double spread) {
        double total = 0;
        for (int d = -reach; d <= reach; ++d) total += weights[d + reach] = std::exp(-0.5 * d * d / spread);
        for (int d = -reach; d <= reach; ++d) weights[d + reach] /= total;
    }
};

// Orientation `dir` of `pattern` blurred by `passes`, the ink border all
// round; mean removed again. Returns its length.
double blurredTemplate(const PatternTemplate& pattern, int dir, const BlurPasses& passes, double out[patternValues]) {
    const double* t = pattern.values[dir].data();
    const double ink = pattern.ink;
    const bool grey = pattern.grey; // then blurred once for all three planes
    constexpr int n = patternSide;
    constexpr int M = BlurPasses::maxReach, S = BlurPasses::maxShift;
    const int R = passes.rowReach, C = passes.columnReach, K = passes.shiftReach;
    double mean = 0;
    for (int p = 0; p < (grey ? 1 : 3); ++p) {
        const double* in = t + p * n * n;
        double* result = out + p * n * n;
        // Rows first, over every cell the slanted pass reads: rows
        // -C..n+C-1, cells -K..n+K-1 (column x at [x + S]).
        double rows[n + 2 * M][n + 2 * S + 2];
        double line[n + 2 * S + 2 * M + 2];
        for (int y = -C; y < n + C; ++y) {
            double* to = rows[y + C];
            if (y < 0 || y >= n) {
                std::fill(to + S - K, to + S + n + K, ink);
                continue;
            }
            // The row with ink either side, column x at [x + S + M].
            std::fill(line + S + M - K - R, line + S + M, ink);
            std::copy(in + y * n, in + y * n + n, line + S + M);
            std::fill(line + S + M + n, line + S + M + n + K + R, ink);
            // Weight by weight over the whole row: contiguous runs that the
            // compiler turns into vector operations.
            const int width = n + 2 * K;
            double* run = to + S - K;
            std::fill(run, run + width, 0.0);
            for (int d = 0; d <= 2 * R; ++d) {
                const double w = passes.row[d];
                const double* from = line + S + M - K - R + d;
                for (int x = 0; x < width; ++x) run[x] += w * from[x];
            }
        }
        // Then the slanted columns.
        for (int y = 0; y < n; ++y) {
            double sum[n] = {};
            for (int d = 0; d <= 2 * C; ++d) {
                const double w = passes.column[d], f = passes.fraction[d];
                const double* at = rows[y + d] + S + passes.shift[d];
                for (int x = 0; x < n; ++x) sum[x] += w * (at[x] + f * (at[x + 1] - at[x]));
            }
            for (int x = 0; x < n; ++x) {
                result[y * n + x] = sum[x];
                mean += sum[x];
            }
        }
    }
    if (grey) {
        std::copy(out, out + n * n, out + n * n);
        std::copy(out, out + n * n, out + 2 * n * n);
        mean *= 3;
    }
    mean /= patternValues;
    double length = 0;
    for (int i = 0; i < patternValues; ++i) {
        out[i] -= mean;
        length += out[i] * out[i];
    }
    return std::max(std::sqrt(length), 1e-7);
}

} // namespace

Match matchSample(const double sample[patternValues], const PatternTemplate* templates, int count,
                  const CellBlur& blur, const UnprintedCells* unprinted) {
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
    // The sharp cf of every template and orientation, kept for the blurred
    // comparison below.
    std::vector<double> sharp(static_cast<std::size_t>(4 * count));
    for (int slot = 0; slot < count; ++slot)
        for (int d = 0; d < 4; ++d) {
            const double* t = templates[slot].values[d].data();
            const double cf = dot(inverted, t) / (length * templates[slot].norm[d]);
            sharp[4 * slot + d] = cf;
            if (cf > best.cf) best = {slot, d, cf, 0, false, cf * length / templates[slot].norm[d]};
        }
    const double* bestTemplate = templates[best.slot].values[best.dir].data();
    // Colour in a black and white design is no print of it.
    auto maskFor = [&](const Match& m) { return templates[m.slot].grey ? unprinted : nullptr; };
    // Blurring a template costs ten to twenty comparisons: only the
    // templates that come near the best sharp match are compared blurred.
    // Their order rarely changes; their cf rises with what the blur
    // explains. Blur alone takes a marker's sharp cf down to about 0.4 at
    // the worst (the smallest, most blurred views): a sample below 0.25 with
    // every template is no view of one (text, blobs, other squares).
    const BlurPasses passes(blur);
    if (!passes.moves() || best.cf < 0.25) {
        best.contradiction = blockContradiction(inverted, bestTemplate, maskFor(best));
        return best;
    }
    Match soft;
    double candidate[patternValues], blurred[patternValues];
    for (int slot = 0; slot < count; ++slot)
        for (int d = 0; d < 4; ++d) {
            if (sharp[4 * slot + d] < best.cf - 0.15) continue;
            const double norm = blurredTemplate(templates[slot], d, passes, candidate);
            const double cf = dot(inverted, candidate) / (length * norm);
            if (cf > soft.cf) {
                soft = {slot, d, cf, 0, true, cf * length / norm};
                std::copy(candidate, candidate + patternValues, blurred);
            }
        }
    soft.contradiction = blockContradiction(inverted, blurred, maskFor(soft));
    // A shadow across a large square misfits the blurred comparison's wider
    // margin where the sharp one still holds; a small square's sample holds
    // only blurred. A blurred match that holds with the higher cf is taken
    // whatever the sharp one's misfit (the common case, worth the saving).
    const bool softHolds = namesPattern(soft, -2);
    if (softHolds && soft.cf > best.cf) return soft;
    best.contradiction = blockContradiction(inverted, bestTemplate, maskFor(best));
    const bool sharpHolds = namesPattern(best, -2);
    if (sharpHolds != softHolds) return sharpHolds ? best : soft;
    return soft.cf > best.cf ? soft : best;
}

bool estimateGridOffset(const double sample[patternValues], const PatternTemplate& pattern, int dir,
                        GridOffset& offset) {
    const double* t = pattern.values[dir].data();
    double s[patternValues], mean = 0;
    for (int i = 0; i < patternValues; ++i) mean += s[i] = 255.0 - sample[i];
    mean /= patternValues;
    // The sample is fitted as a * (t + J d), J the pattern's change per cell
    // moved across, down and per unit of scale (central differences, the ink
    // border beyond its edge), solved for a and a d.
    double normal[4][4] = {}, right[4] = {};
    constexpr int n = patternSide;
    auto at = [&](int plane, int y, int x) {
        return x < 0 || y < 0 || x >= n || y >= n ? pattern.ink : t[(plane * n + y) * n + x];
    };
    for (int plane = 0; plane < 3; ++plane)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const int i = (plane * n + y) * n + x;
                const double gx = (at(plane, y, x + 1) - at(plane, y, x - 1)) / 2;
                const double gy = (at(plane, y + 1, x) - at(plane, y - 1, x)) / 2;
                const double column[4] = {t[i], gx, gy, (x - (n - 1) / 2.0) * gx + (y - (n - 1) / 2.0) * gy};
                for (int r = 0; r < 4; ++r) {
                    right[r] += column[r] * (s[i] - mean);
                    for (int c = r; c < 4; ++c) normal[r][c] += column[r] * column[c];
                }
            }
    cv::Matx44d a;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) a(r, c) = normal[std::min(r, c)][std::max(r, c)];
    cv::Vec4d q;
    if (!cv::solve(a, cv::Vec4d(right[0], right[1], right[2], right[3]), q, cv::DECOMP_CHOLESKY) || !(q[0] > 0))
        return false;
    offset = {q[1] / q[0], q[2] / q[0], q[3] / q[0]};
    return std::isfinite(offset.x + offset.y + offset.scale);
}

double bestCrossCorrelation(const PatternFile& a, const PatternFile& b) {
    const PatternTemplate tb = makeTemplate(b);
    double sample[patternValues];
    const unsigned char* raw = &a.blocks[0][0][0][0];
    for (int i = 0; i < patternValues; ++i) sample[i] = raw[i];
    return matchSample(sample, &tb, 1).cf;
}

} // namespace kwo::ar
