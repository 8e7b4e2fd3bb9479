#pragma once

// kwo::ar::Tracker: square template-marker detection, identification and pose
// estimation. One object holds everything that lives between calls (the
// calibration, the pattern table, the marker history and the detection
// buffers), so trackers are independent of each other; no process-wide state.
//
// A frame goes through these stages, one file each:
//   threshold_label.cpp  dark pixels and their 8-connected regions
//   local_threshold.cpp  the local threshold's limit for every pixel
//   square_fit.cpp       region outline -> four corners -> sub-pixel edges
//   pattern_match.cpp    16x16 colour sample -> slot, direction, confidence
//   history.cpp          short memory of identified markers between frames
//   pose.cpp             corners -> marker-to-camera transform

#include "tracking/ar/ar_types.h"
#include "tracking/ar/calibration.h"
#include "tracking/ar/image.h"
#include "tracking/ar/history.h"
#include "tracking/ar/patterns.h"
#include "tracking/ar/stages.h" // the detection buffers' types
#include "tracking/ar/threshold.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace kwo::ar {

struct TrackerParameters {
    // Dark regions smaller than this many pixels are ignored. Default 70.
    int minArea = 70;
    // Dark regions larger than this many pixels are ignored. Default 100000.
    int maxArea = 100000;
    // At most this many squares per frame (the largest are kept). Default 30.
    int maxSquares = 30;
    // Most pattern slots. Default 50.
    int maxPatterns = 50;
    // A match below this confidence reports id -1. Default 0.5.
    double confidenceCut = 0.5;
    // A square whose light round it is measured (a printed marker's quiet
    // zone) must show its pattern at least this strongly on the print's
    // own scale (Match::gain, about 1 for a marker): the flat inside of a
    // dark window, a chessboard square or a blank card matches a pattern
    // only by faint shades, far below. Default 0.4.
    double minimumGain = 0.4;
    // ... and at the level of its pattern's mix of ink and paper, within
    // this share of the step from ink to paper (see showsPrint). Default 0.45.
    double levelTolerance = 0.45;
    // Identified markers are remembered, and still reported, until they were
    // last seen this many frames ago. 0 disables the history. Default 3.
    int historyFrames = 3;
    // Refine each edge on the grey-level gradient (sub-pixel corners); off
    // uses the region outline alone, as the classic detector does. Default on.
    bool subPixelEdges = true;
    // Follow a marker named in the last frame into this one when its outline
    // no longer closes (a thumb over its border): its sides are searched
    // where they were, and it is reported when at least two neighbouring
    // sides are found whole and the pattern still matches. Needs the history
    // (historyFrames > 0). Default on.
    bool followBrokenOutlines = true;
    // A continued pose that fits worse than this (pixels squared) is also
    // estimated afresh, and the better result is kept. Default 1.0.
    double continueErrorLimit = 1.0;
};

class Tracker {
public:
    explicit Tracker(TrackerParameters parameters = {});

    const TrackerParameters& parameters() const { return parameters_; }

    // Installs the calibration used for undistortion and pose. Returns false
    // (keeping the previous one) when the record is unusable.
    bool setCalibration(const ARParam& param);
    bool hasCalibration() const { return hasCalibration_; }
    const ARParam& calibration() const { return calibration_.param; }

    // Pattern table: returns the slot, or -1 when the table is full (or the
    // file is unreadable; `error` then says why).
    int loadPattern(const std::string& path, std::string* error = nullptr);
    int addPattern(const PatternFile& pattern);
    int patternCount() const { return static_cast<int>(patterns_.size()); }

    // Detects, identifies and remembers the squares of one frame. A pixel is
    // dark when blue + green + red <= 3 * threshold. The list is ordered by
    // confidence, highest first, and stays valid until the next call. Without
    // a calibration the frame is taken as undistorted. Frames must show the
    // markers as printed: a frame turned upside down row by row shows mirror
    // images, which match no pattern.
    const std::vector<ARMarkerInfo>& detect(const FrameView& frame, int threshold);
    // The same with the threshold's mode chosen (threshold.h).
    const std::vector<ARMarkerInfo>& detect(const FrameView& frame, const Threshold& threshold);

    // Forgets the remembered markers (for frames that are not a sequence).
    void resetHistory();

    // Pose of a marker; see arGetTransMat / arGetTransMatCont in ar.h. The
    // result is the fit error, negative on failure (conv then unchanged).
    double pose(const ARMarkerInfo& marker, const double center[2], double width,
                double conv[3][4]) const;
    double poseContinued(const ARMarkerInfo& marker, const double prev[3][4],
                         const double center[2], double width, double conv[3][4]) const;

private:
    TrackerParameters parameters_;
    Calibration calibration_;
    bool hasCalibration_ = false;
    std::vector<PatternTemplate> patterns_;
    MarkerHistory history_;
    long frameNumber_ = 0;
    std::vector<ARMarkerInfo> markers_;
    // Detection buffers, kept to avoid reallocating per frame.
    cv::Mat darkMask_;
    LocalLimits localLimits_;
    DarkRuns runs_;
    std::vector<Region> regions_;
    std::vector<cv::Point> outline_;
    std::vector<ARMarkerInfo> squares_;
    // The markers the last frame's picture named (found or followed), where
    // the next frame looks for those whose outline it cannot close.
    std::vector<ARMarkerInfo> named_;
};

} // namespace kwo::ar
