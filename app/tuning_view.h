#pragma once

#include "app/window.h"
#include "tracking/ar/ar_types.h"
#include "tracking/detection_threshold.h"
#include "tracking/jitter_gauge.h"

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <vector>

namespace kwo {

// The technician's tuning view: F2 shows, in the camera picture's place, what
// the detector sees (tracking/tuning_picture.h); while it shows, + and -
// step the threshold by 5 (more and fewer pixels dark), or under "adaptive"
// the offset by 1 (+ lowers it: more pixels dark). Each change goes into the engine log, followed by
// what the detection finds with the new value once it settled, so a good
// value can be read there and put into the configuration. Its caption also
// tells how much a creature's head trembles as estimated and as shown
// (tracking/jitter_gauge.h), so the effect of tracking/smoothing can be seen.
// Off, it costs the frame cycle nothing but a look at a flag.
class TuningView {
public:
    // The calibration (its distortion places the outlines on the picture) and
    // whether the picture is shown mirrored (to keep the text readable).
    void setUp(const ARParam& camera, bool mirrored);

    bool shown() const { return on; }

    // One of the technician's keys (WindowEvent::tuningView, thresholdUp or
    // thresholdDown).
    void handleKey(WindowEvent key, DetectionThreshold& threshold);

    // What the frame's detection found with threshold `used`; the list stays
    // the detector's and is read only until the next detection.
    void detected(const ARMarkerInfo* markers, int count, const ar::Threshold& used)
    {
        lastMarkers = markers;
        lastCount = count;
        lastUsed = used;
        if (framesToReport > 0 && --framesToReport == 0)
            report();
    }

    // After the frame's placement at `time`; only while the view shows.
    void placed(const std::vector<TrackedObject>& objects, const Steadying& steadying, double time)
    {
        smoothing = steadying.smoothing.has_value();
        jitter.placed(objects, steadying, time);
    }

    // The tuning picture of the frame just detected (`width` x `height`
    // pixels of blue, green, red, pad), valid until the next call.
    const std::uint8_t* draw(const std::uint8_t* frame, int width, int height, const DetectionThreshold& threshold);

private:
    void report();

    bool on = false;
    // Detections until what the new threshold finds is written in the log:
    // a few, because the tracker still reports a vanished marker for some
    // frames.
    int framesToReport = 0;
    bool mirrored = false;
    std::array<double, 4> distortion{0, 0, 0, 1};
    const ARMarkerInfo* lastMarkers = nullptr;
    int lastCount = 0;
    ar::Threshold lastUsed;
    JitterGauge jitter{ARParam{}};
    bool smoothing = false;
    cv::Mat picture; // kept to avoid reallocating while the view is on
};

} // namespace kwo
