#pragma once

// The detector's stages, each a free function over a frame view; the Tracker
// strings them together. Internal to the library.

#include "tracking/ar/ar_types.h"
#include "tracking/ar/calibration.h"
#include "tracking/ar/image.h"
#include "tracking/ar/local_threshold.h"
#include "tracking/ar/patterns.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

namespace kwo::ar {

struct TrackerParameters;

// A dark 8-connected region that may be a marker's border.
struct Region {
    int startX, startY; // its first pixel in raster order (top row, leftmost)
    int area;
    int left, top, width, height;
    double cx, cy;
};

// Horizontal runs of dark pixels, the labelling's working storage (kept
// between frames to avoid reallocating).
struct DarkRuns {
    struct Run {
        int y, x0, x1; // inclusive
    };
    std::vector<Run> runs;
    std::vector<std::uint64_t> rowBits; // the dark pixels of the row at hand, one bit each
    std::vector<int> parent;
    // Size, pixel sums and bounding box of the region a run starts.
    struct Extent {
        long area, sumX, sumY;
        int left, top, right, bottom;
    };
    std::vector<Extent> extents;
};

// threshold_label.cpp: marks the dark pixels (blue + green + red <= 3 *
// threshold; never the outermost pixel ring) in `darkMask` (255 dark, 0
// light), joins their runs into 8-connected regions and lists the regions
// whose size fits and whose bounding box keeps off the image border.
void findDarkRegions(const FrameView& frame, int threshold, const TrackerParameters& parameters,
                     cv::Mat& darkMask, DarkRuns& work, std::vector<Region>& regions);
// The same with the local threshold (threshold.h); `limits` is its working
// storage.
void findDarkRegions(const FrameView& frame, const LocalThreshold& threshold, const TrackerParameters& parameters,
                     LocalLimits& limits, cv::Mat& darkMask, DarkRuns& work, std::vector<Region>& regions);

// threshold_label.cpp: the outer boundary of a region in the dark mask,
// pixel centres in order.
void traceOutline(const cv::Mat& darkMask, const Region& region, std::vector<cv::Point>& outline);

// square_fit.cpp: fits four straight sides to an outline and fills `area`,
// `pos`, `line` and `vertex` of `marker`; false when the outline is not four
// dominant straight runs meeting in a convex shape, or when a fitted corner
// strays from the outline's bend. With `subPixel`, each side is moved onto
// the steepest brightness step across it.
bool fitSquare(const std::vector<cv::Point>& outline, const Region& region, const FrameView& frame,
               const double distFactor[4], bool subPixel, ARMarkerInfo& marker);

// square_fit.cpp: finds the square `last` (a marker of the previous frame)
// again in this frame without its outline: searches each side near where it
// was; a side found along nearly all its length on one line is whole. With
// at least two neighbouring sides whole, the sides not seen whole are moved
// with the corner between them, and `marker` is `last` on the new corners.
// False when too little of the square is seen or it moved too far.
bool followSquare(const FrameView& frame, const double distFactor[4], const ARMarkerInfo& last, ARMarkerInfo& marker);

// pattern_match.cpp: the 16x16 colour sample of the square's inner half, in
// the order of a pattern block, with vertex[0] as its upper-left corner;
// false when part of that area lies outside the frame. `blur`, when given,
// receives how the camera's blur spreads over the sample's cells.
bool samplePattern(const FrameView& frame, const double distFactor[4], const double vertex[4][2],
                   double sample[patternValues], CellBlur* blur = nullptr);

// pattern_match.cpp: the sample of a square as it is matched: taken by
// samplePattern and put on the scale of the print round it
// (normaliseShading, square_light.h). `light`, when given, receives what
// was measured.
struct SquareLight;
bool takeSample(const FrameView& frame, const double distFactor[4], const double vertex[4][2],
                double sample[patternValues], CellBlur* blur = nullptr, SquareLight* light = nullptr);

// pattern_match.cpp: identifies a square: fills `id` (-1 when no pattern
// is named), `dir` and `cf` of `marker` from its sample. A pattern is named
// when the match is confident, no part of it contradicts the pattern
// (namesPattern) and the sample shows it as printed with the ink and paper
// round it (showsPrint). A named square large enough to tell is matched
// again from a grid moved onto the pattern's own (GridOffset), and the
// better confidence kept. False when the pattern area leaves the frame.
bool identifySquare(const FrameView& frame, const double distFactor[4], const PatternTemplate* templates,
                    int count, const TrackerParameters& parameters, ARMarkerInfo& marker);

// pose.cpp: see Tracker::pose. `previous` may be null (fresh estimate).
double estimatePose(const Calibration& calibration, const ARMarkerInfo& marker, const double center[2],
                    double width, const double (*previous)[4], double continueErrorLimit, double conv[3][4]);

} // namespace kwo::ar
