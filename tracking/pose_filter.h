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
// each other, and a blurred frame can swap them: the estimate then jumps by
// tens of degrees from one frame to the next, for one frame or for good. A
// hand cannot change a card's turning that abruptly, so such a jump is not
// shown as it comes: the creature glides over to the new orientation at
// `glideRate`, and a jump that is undone in the next frame never shows.
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
    // A change of the estimate's turning from one frame to the next larger
    // than this, in degrees, is taken for the estimate jumping, not the card
    // turning: the creature glides over instead. 0: every jump shown as it
    // comes. Default 10 (at 30 frames per second, from still to turning at
    // 300 degrees per second within one frame; the blurred estimate's own
    // wobble stays below about 6).
    double turnBreak = 10;
    // How fast a creature turns to make up for a jump, in degrees per second,
    // on top of the card's own turning. Default 60: 2 degrees per frame at
    // 30 frames per second, which moves a creature's head 50 mm above a card
    // 40 cm from a 640x480 camera by 3 pixels.
    double glideRate = 60;
    // A creature stays exactly as it is shown while the steadied pose keeps
    // within this much of it as seen from the camera, in milliradians (the
    // movement of the marker's centre plus its turning measured at `lever`,
    // in millimetres per metre of the marker's distance). What the low-pass
    // leaves of the camera's noise still moves a creature by hundredths of a
    // pixel from frame to frame, and that alone makes pixels along its
    // outline flicker, its edges being drawn without smoothing. 0: every
    // steadied pose shown. Default 0.4: a fifth of a pixel of a 640x480
    // picture with a field of view of 60 degrees, where the benchmark's
    // still cards then move their creatures in at most 3 frames of 80; a
    // card that starts to move leaves it behind within a frame or two.
    double stillness = 0.4;
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

    // The pose to show for the pose `measured` at `time` (seconds, any
    // origin, increasing from call to call). The first call after
    // construction or reset() returns `measured` as it is.
    const MarkerPose& update(double time, const MarkerPose& measured);

    // Forgets the past: the next update starts afresh (a marker found anew).
    void reset() { started_ = false; }

    bool started() const { return started_; }
    // The pose shown: the last steadied pose, or the one shown before while
    // the steadied pose stays within `stillness` of it.
    const MarkerPose& pose() const { return shown_; }
    // The speed the cutoff follows, millimetres per second.
    double speed() const { return speed_; }

    const PoseFilterParameters& parameters() const { return parameters_; }

private:
    void restart(double time, const MarkerPose& measured);

    PoseFilterParameters parameters_;
    bool started_ = false;
    double lastTime_ = 0;
    MarkerPose filtered_;
    MarkerPose shown_;
    Orientation lastMeasured_;                // the last orientation measured
    std::array<double, 3> lastStep_{0, 0, 0}; // its turn from the one before, as a rotation vector
    // What the filter takes in: the measurement with the part of jumps not
    // yet glided over taken out (offset_ turns one into the other).
    MarkerPose lastInput_;
    Orientation offset_;
    std::array<double, 3> velocity_{0, 0, 0}; // low-passed, millimetres per second
    std::array<double, 3> turning_{0, 0, 0};  // low-passed angular velocity, radians per second
    double speed_ = 0;
};

} // namespace kwo
