#pragma once

// Steadies one marker's pose from frame to frame: a low-pass filter whose
// cutoff rises with the marker's speed (the "one euro" filter of Casiez,
// Roussel and Vogel, CHI 2012), on the position and, through spherical
// interpolation of quaternions, on the orientation. A card held still keeps
// its creature still, since the cutoff then sits low and averages the
// detector's noise away; a card that moves raises the cutoff, so the creature
// follows at once instead of trailing behind.
//
// A square seen nearly head-on allows two poses that are mirror images of
// each other, and a blurred frame can swap them: the creature would flip by
// tens of degrees for one frame. So an orientation that turns further than
// `maxTurn` in one frame is not shown until the next frame confirms it.
//
// No engine: a pure function of (time, pose), one object per marker.

#include <array>

namespace kwo {

struct PoseFilterParameters {
    // Cutoff frequency of the low-pass while the marker is still, in hertz.
    // Lower holds a still card's creature steadier and follows a card that
    // starts to move slowly a little later. Default 0.4.
    double minCutoff = 0.4;
    // How the cutoff rises with the marker's speed, in hertz per millimetre
    // per second (the speed is that of the marker's centre plus its turning
    // measured at `lever`). Higher follows a moving card more closely and
    // leaves more of the noise while it moves. Default 0.08: a creature's
    // head moving at 0.3 m/s is filtered at 24 Hz. (The defaults are the
    // values bench/tracking/steadiness.cpp recommends.)
    double beta = 0.08;
    // Cutoff frequency of the speed estimate, in hertz. Default 1.
    double derivativeCutoff = 1.0;
    // Turning counts as the movement of a point this far from the marker's
    // centre, in millimetres: about where a creature's head is. Default 50.
    double lever = 50;
    // The most a creature turns from one frame to the next, in degrees,
    // unless the new orientation holds in the next frame too. 0: no limit.
    // Default 20 (600 degrees per second at 30 frames per second, far beyond
    // a hand turning a card).
    double maxTurn = 20;
};

// A rotation as a unit quaternion.
struct Orientation {
    double w = 1, x = 0, y = 0, z = 0;
};

// A marker's pose: marker to camera coordinates (camera x right, y down, z
// forward), millimetres.
struct MarkerPose {
    Orientation orientation;
    std::array<double, 3> position{0, 0, 0};

    // From and to the tracker's 3x4 transform (rotation in columns 0-2,
    // translation in column 3).
    static MarkerPose fromTransform(const double transform[3][4]);
    void toTransform(double transform[3][4]) const;
};

// The angle between two orientations, in radians (0..pi).
double turnBetween(const Orientation& a, const Orientation& b);

class PoseFilter {
public:
    explicit PoseFilter(const PoseFilterParameters& parameters = {}) : parameters_(parameters) {}

    // The steadied pose for the pose `measured` at `time` (seconds, any
    // origin, increasing from call to call). The first call after
    // construction or reset() returns `measured` as it is.
    const MarkerPose& update(double time, const MarkerPose& measured);

    // Forgets the past: the next update starts afresh (a marker found anew).
    void reset() { started_ = false; }

    bool started() const { return started_; }
    // The last steadied pose.
    const MarkerPose& pose() const { return filtered_; }
    // The speed the cutoff follows, millimetres per second.
    double speed() const { return speed_; }

    const PoseFilterParameters& parameters() const { return parameters_; }

private:
    void restart(double time, const MarkerPose& measured);

    PoseFilterParameters parameters_;
    bool started_ = false;
    double lastTime_ = 0;
    MarkerPose filtered_;
    MarkerPose lastMeasured_;                 // the last measurement taken in
    std::array<double, 3> velocity_{0, 0, 0}; // low-passed, millimetres per second
    std::array<double, 3> turning_{0, 0, 0};  // low-passed angular velocity, radians per second
    double speed_ = 0;
    bool turnPending_ = false; // an orientation beyond maxTurn waits for confirmation
    Orientation pendingOrientation_;
};

} // namespace kwo
