#pragma once

// The detection threshold of one run: the configured number, which the
// technician may step up and down while the viewer runs; "auto", a number
// chosen for every frame from the picture (tracking/auto_threshold.h); or
// "adaptive", the detector's local threshold (tracking/ar/threshold.h),
// whose offset the technician may step.

#include "tracking/ar/threshold.h"
#include "tracking/auto_threshold.h"

#include <optional>
#include <string>

namespace kwo {

class DetectionThreshold {
public:
    enum class Mode { fixed, automatic, adaptive };

    // The offsets "adaptive N" may give, per cent of the picture's white
    // (the configuration's range, config/threshold_setting.h).
    static constexpr int minimumOffset = 1;
    static constexpr int maximumOffset = 60;

    // `fixed`: the configured threshold, or none for "auto". `distFactor`:
    // the calibration's distortion (see AutoThreshold).
    explicit DetectionThreshold(std::optional<int> fixed = 100, const double distFactor[4] = nullptr);
    // "adaptive", with the local threshold's parameters.
    explicit DetectionThreshold(const ar::LocalThreshold& local);

    Mode mode() const { return mode_; }
    bool automatic() const { return mode_ == Mode::automatic; }

    // The threshold to detect `frame` with; only "auto" looks at the frame.
    ar::Threshold forFrame(const ar::FrameView& frame)
    {
        switch (mode_) {
        case Mode::fixed:
            return ar::Threshold::global(fixed);
        case Mode::automatic:
            return ar::Threshold::global(chooser.choose(frame));
        case Mode::adaptive:
            break;
        }
        return ar::Threshold::adaptive(local);
    }
    // What the detection with it found (markers owned by the caller).
    void detected(const ARMarkerInfo* markers, int count)
    {
        if (mode_ == Mode::automatic)
            chooser.learn(markers, count);
    }

    // The technician's keys: the threshold moves by `delta`, kept within
    // 0..255. Under "auto" the first step starts from the threshold last
    // chosen, which then stays fixed: the keys override the choice. Under
    // "adaptive" the offset moves by `delta` instead, kept within the
    // configuration's 1..60, and the mode stays.
    void step(int delta);

    // The fixed threshold, or the one the last frame was detected with
    // ("auto"), or the offset ("adaptive").
    int current() const;

    // The value as tracking/threshold would hold it: "105", "auto" or
    // "adaptive 12".
    std::string setting() const;

    // For the engine log at the end of a run: the value to put into the
    // configuration, e.g. "tracking/threshold in use: 105",
    // "tracking/threshold in use: auto (last frame 87, from the markers)" or
    // "tracking/threshold in use: adaptive 12".
    std::string describe() const;

private:
    Mode mode_ = Mode::fixed;
    int fixed = 100;
    ar::LocalThreshold local;
    AutoThreshold chooser;
};

// A detection threshold as the tuning view and the log name it: "105" for a
// level, "adaptive 12" for the local threshold with its offset.
std::string thresholdText(const ar::Threshold& threshold);

} // namespace kwo
