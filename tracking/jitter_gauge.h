#pragma once

// How much of the detector's tremble the steadying takes away, for the
// technician's tuning view: the RMS movement from frame to frame, on the
// picture, of the point 50 mm above each marker's centre (about where a
// creature's head is), as the frame's pose estimate puts it and as the
// creature shows it. Counted over consecutive sightings of the same marker
// only, weighted towards the last second or so. Both figures are the same
// while smoothing is off. No engine.

#include "tracking/ar/ar_types.h"
#include "tracking/placement.h"
#include "tracking/tracked_object.h"

#include <vector>

namespace kwo {

// Pixels, RMS from frame to frame.
struct Jitter {
    double estimated = 0;
    double shown = 0;
    bool measured = false; // false until some marker was seen in two frames running
};

class JitterGauge {
public:
    // `camera`: the calibration the poses are estimated with (the picture's
    // size).
    explicit JitterGauge(const ARParam& camera) : camera_(camera) {}

    // After a frame's placement at `time` (the same time the placement was
    // given): objects whose marker was seen in this frame count.
    void placed(const std::vector<TrackedObject>& objects, const Steadying& steadying, double time);

    Jitter jitter() const;

    // Forgets what was measured (the view was closed and opened again).
    void reset();

    // The weight of each new frame's movement.
    static constexpr double weight = 1.0 / 30;
    static constexpr double headHeight = 50; // millimetres above the marker

private:
    struct Point {
        double x = 0, y = 0;
    };
    struct Track {
        bool seen = false; // in the last frame placed
        Point estimated, shown;
    };

    Point onPicture(const MarkerPose& pose) const;

    ARParam camera_;
    std::vector<Track> tracks_;
    double estimatedSquares_ = 0, shownSquares_ = 0;
    bool measured_ = false;
};

} // namespace kwo
