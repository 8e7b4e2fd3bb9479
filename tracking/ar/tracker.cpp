#include "tracking/ar/tracker.h"

#include "tracking/ar/square_map.h"
#include "tracking/ar/stages.h"

#include <algorithm>

namespace kwo::ar {
namespace {

// The share of a square's black border (the ring an eighth of its side in
// from the outline) that the threshold in use takes as dark. A followed
// card must still be ink by the technician's threshold: with a threshold
// that finds no border, nothing is followed either.
double darkBorderShare(const cv::Mat& darkMask, const double distFactor[4], const double vertex[4][2]) {
    const SquareToQuad map(vertex);
    constexpr int perSide = 16;
    int dark = 0, seen = 0;
    for (int side = 0; side < 4; ++side)
        for (int k = 0; k < perSide; ++k) {
            const double t = 0.125 + 0.75 * (k + 0.5) / perSide;
            const double u[4] = {t, 0.875, 1 - t, 0.125}, v[4] = {0.125, t, 0.875, 1 - t};
            double x, y;
            map.observed(distFactor, u[side], v[side], x, y);
            const int px = cvRound(x), py = cvRound(y);
            if (px < 0 || py < 0 || px >= darkMask.cols || py >= darkMask.rows) continue;
            ++seen;
            dark += darkMask.at<std::uint8_t>(py, px) != 0;
        }
    return seen ? static_cast<double>(dark) / seen : 0;
}

} // namespace

Tracker::Tracker(TrackerParameters parameters) : parameters_(parameters) {
    // Until a calibration is installed, frames are taken as undistorted.
    calibration_.param.dist_factor[3] = 1.0;
}

bool Tracker::setCalibration(const ARParam& param) {
    Calibration prepared;
    if (!prepareCalibration(param, prepared)) return false;
    calibration_ = prepared;
    hasCalibration_ = true;
    return true;
}

int Tracker::loadPattern(const std::string& path, std::string* error) {
    if (patternCount() >= parameters_.maxPatterns) {
        if (error) *error = "Pattern file '" + path + "': all " + std::to_string(parameters_.maxPatterns) + " pattern slots are in use";
        return -1;
    }
    PatternFile pattern;
    if (!readPatternFile(path, pattern, error)) return -1;
    return addPattern(pattern);
}

int Tracker::addPattern(const PatternFile& pattern) {
    if (patternCount() >= parameters_.maxPatterns) return -1;
    patterns_.push_back(makeTemplate(pattern));
    return patternCount() - 1;
}

void Tracker::resetHistory() {
    history_.clear();
    named_.clear();
}

const std::vector<ARMarkerInfo>& Tracker::detect(const FrameView& frame, int threshold) {
    return detect(frame, Threshold::global(threshold));
}

const std::vector<ARMarkerInfo>& Tracker::detect(const FrameView& frame, const Threshold& threshold) {
    markers_.clear();
    ++frameNumber_;
    if (!frame.data || frame.width < 3 || frame.height < 3) return markers_;
    const double* dist = calibration_.param.dist_factor;

    // 1. Dark regions of a plausible size.
    std::vector<Region>& regions = regions_;
    if (threshold.mode == Threshold::Mode::adaptive)
        findDarkRegions(frame, threshold.local, parameters_, localLimits_, darkMask_, runs_, regions);
    else
        findDarkRegions(frame, threshold.level, parameters_, darkMask_, runs_, regions);

    // 2. Those whose outline is a square, largest first.
    std::vector<cv::Point>& outline = outline_;
    std::vector<ARMarkerInfo>& squares = squares_;
    squares.clear();
    for (const Region& region : regions) {
        // A square's dark border alone fills 3/8 of its bounding box at any
        // turn; thin or scattered clutter fills much less.
        if (region.area < 0.15 * region.width * region.height) continue;
        traceOutline(darkMask_, region, outline);
        ARMarkerInfo marker{};
        if (fitSquare(outline, region, frame, dist, parameters_.subPixelEdges, marker)) squares.push_back(marker);
    }
    std::stable_sort(squares.begin(), squares.end(),
                     [](const ARMarkerInfo& a, const ARMarkerInfo& b) { return a.area > b.area; });

    // 3. Of two squares with close centres (an outline and the pattern inside
    //    it), the smaller goes; at most maxSquares remain.
    for (const ARMarkerInfo& square : squares) {
        if (static_cast<int>(markers_.size()) >= parameters_.maxSquares) break;
        const bool nested = std::any_of(markers_.begin(), markers_.end(), [&](const ARMarkerInfo& kept) {
            const double dx = kept.pos[0] - square.pos[0], dy = kept.pos[1] - square.pos[1];
            return dx * dx + dy * dy < kept.area / 4.0;
        });
        if (!nested) markers_.push_back(square);
    }

    // 4. Identification; a square whose pattern area leaves the frame is
    //    dropped.
    std::erase_if(markers_, [&](ARMarkerInfo& marker) {
        return !identifySquare(frame, dist, patterns_.data(), patternCount(), parameters_, marker);
    });

    // 5. A marker named in the last frame that has no square now may be
    //    held by a thumb over its border: followed from where it was, kept
    //    when its pattern still names it.
    if (parameters_.followBrokenOutlines && parameters_.historyFrames > 0) {
        for (const ARMarkerInfo& last : named_) {
            const bool present = std::any_of(markers_.begin(), markers_.end(), [&](const ARMarkerInfo& m) {
                return m.id == last.id || isSameSquare(m, last);
            });
            ARMarkerInfo followed;
            if (present || !followSquare(frame, dist, last, followed) ||
                darkBorderShare(darkMask_, dist, followed.vertex) < 0.6)
                continue;
            if (identifySquare(frame, dist, patterns_.data(), patternCount(), parameters_, followed) &&
                followed.id == last.id)
                markers_.push_back(followed);
        }
    }
    named_.clear();
    for (const ARMarkerInfo& m : markers_)
        if (m.id >= 0) named_.push_back(m);

    // 6. History, then the most confident first.
    history_.apply(markers_, frameNumber_, parameters_.historyFrames, parameters_.confidenceCut);
    std::stable_sort(markers_.begin(), markers_.end(),
                     [](const ARMarkerInfo& a, const ARMarkerInfo& b) { return a.cf > b.cf; });
    return markers_;
}

double Tracker::pose(const ARMarkerInfo& marker, const double center[2], double width, double conv[3][4]) const {
    if (!hasCalibration_) return -1;
    return estimatePose(calibration_, marker, center, width, nullptr, 0, conv);
}

double Tracker::poseContinued(const ARMarkerInfo& marker, const double prev[3][4], const double center[2],
                              double width, double conv[3][4]) const {
    if (!hasCalibration_) return -1;
    return estimatePose(calibration_, marker, center, width, prev, parameters_.continueErrorLimit, conv);
}

} // namespace kwo::ar
