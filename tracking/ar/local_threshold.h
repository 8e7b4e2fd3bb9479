#pragma once

// The local threshold's working parts (threshold.h says what it does).
// Internal to the library.
//
// The neighbourhood is large (a tenth of the frame or so), so its mean is
// taken over blocks of 8x8 pixels: one pass sums the frame's blocks; their
// grey levels give the frame's white, and with it the ceiling each block's
// sum is held to; the window of blocks around each block gives that block's
// mean, and the limit for every pixel is interpolated between the means of
// the four nearest block centres, a row at a time, while the labelling reads
// the row.

#include "tracking/ar/image.h"
#include "tracking/ar/threshold.h"

#include <cstdint>
#include <vector>

namespace kwo::ar {

class LocalLimits {
public:
    static constexpr int block = 8;       // pixels per block side

    // Takes the block means of `frame` for `threshold`. The frame must stay
    // unchanged while rows are read.
    void prepare(const FrameView& frame, const LocalThreshold& threshold);

    // The limits of row `y`, one per pixel: the pixel is dark when blue +
    // green + red < limit. Valid until the next call.
    const std::uint16_t* row(int y);

    // Of the last frame prepared: its white and the ceiling (grey levels),
    // and the offset (blue + green + red), for tests.
    int white() const { return white_; }
    int ceiling() const { return ceiling_; }
    int offset() const { return offset_; }

private:
    int width_ = 0, height_ = 0;
    int columns_ = 0, rows_ = 0;            // blocks across and down
    int white_ = 0, ceiling_ = 0, offset_ = 0;
    std::vector<int> histogram_;            // of the blocks' grey levels
    std::vector<std::int64_t> sums_;        // block sums, then their running sums (rows_ + 1) x (columns_ + 1)
    std::vector<std::int16_t> blockLimits_; // per block: twice the limit at its centre
    std::vector<std::int16_t> rowBlocks_;   // the same between two block rows, for the row at hand
    std::vector<std::uint16_t> row_;        // the row's limits per pixel (with room for whole vectors)
};

// The frame's white for the local threshold: the median grey level of the
// lighter of Otsu's two classes of the grey levels in `histogram` (256
// bins); 0 for an empty histogram.
int whiteOfHistogram(const std::vector<int>& histogram);

} // namespace kwo::ar
