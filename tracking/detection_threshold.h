#pragma once

// The detection threshold of one run: the configured number, which the
// technician may step up and down while the viewer runs, or "auto", chosen
// for every frame from the picture (tracking/auto_threshold.h).

#include "tracking/auto_threshold.h"

#include <optional>
#include <string>

namespace kwo {

class DetectionThreshold {
public:
    // `fixed`: the configured threshold, or none for "auto". `distFactor`:
    // the calibration's distortion (see AutoThreshold).
    explicit DetectionThreshold(std::optional<int> fixed = 100, const double distFactor[4] = nullptr);

    bool automatic() const { return !fixed; }

    // The threshold to detect `frame` with; for a fixed threshold the frame
    // is not looked at.
    int forFrame(const ar::FrameView& frame)
    {
        if (fixed)
            return *fixed;
        return chooser.choose(frame);
    }
    // What the detection with it found (markers owned by the caller).
    void detected(const ARMarkerInfo* markers, int count)
    {
        if (!fixed)
            chooser.learn(markers, count);
    }

    // The technician's keys: the threshold moves by `delta`, kept within
    // 0..255. Under "auto" the first step starts from the threshold last
    // chosen, which then stays fixed: the keys override the choice.
    void step(int delta);

    // The threshold the last frame was detected with (the fixed one before
    // any frame).
    int current() const { return fixed ? *fixed : chooser.last(); }

    // For the engine log at the end of a run: the value to put into the
    // configuration, e.g. "tracking/threshold in use: 105" or
    // "tracking/threshold in use: auto (last frame 87, from the markers)".
    std::string describe() const;

private:
    std::optional<int> fixed;
    AutoThreshold chooser;
};

} // namespace kwo
