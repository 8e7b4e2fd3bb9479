#pragma once

// A printed card held up to a camera, filmed the way a webcam films it: a
// hand moves it along a path, the camera adds motion blur along the motion
// (frames are exposed over a stretch of the path), lens blur, exposure
// flicker, sensor noise and JPEG compression, and now and then a finger or a
// glare covers part of the card, or the card is taken away. The frames go
// through the tracker as they are filmed; what is kept is what the viewer's
// placement works from: the markers reported per frame, when the frame cycle
// took the frame, and the card's true pose.

#include "tracking/ar/tracker.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace kwo::bench {

struct CameraFaults {
    double noise = 2;           // sensor noise, grey levels (standard deviation)
    int jpegQuality = 75;       // of the camera's stream
    double flicker = 0.03;      // the exposure changes by up to this fraction from frame to frame
    double lensBlur = 0.7;      // pixels (standard deviation)
    double exposure = 1.0 / 60; // seconds each frame is exposed for: motion blur
    double framesPerSecond = 30;
};

// The card's pose (marker to camera, millimetres) at a time in seconds.
using CardPath = std::function<void(double seconds, double pose[3][4])>;

// What happens to the card in a frame besides its pose.
enum class Mishap {
    none,
    finger, // a finger crosses the card's black border
    glare,  // a reflection washes out one of its corners
    away,   // taken out of the picture
};

struct FilmedFrame {
    double time;                       // when the frame cycle took the frame, seconds
    std::vector<ARMarkerInfo> markers; // what the tracker reported
    double truth[3][4];                // the card's pose in the middle of the exposure
    bool inView;                       // the whole card (with its white border) is in the picture
};

struct Film {
    ARParam camera;
    std::vector<FilmedFrame> frames;
};

// The card printed with the first of the project's designs, 83 mm, filmed
// for `frameCount` frames. The frame cycle takes each frame within one of its
// own periods (60 Hz) after it arrived.
Film filmCard(const ARParam& camera, const CardPath& path, int frameCount, const CameraFaults& faults,
              const std::function<Mishap(int frame)>& mishaps, std::uint32_t seed);

// The tracker that films use: the project's four designs, this calibration.
ar::Tracker filmTracker(const ARParam& camera);

constexpr double cardWidth = 83;

} // namespace kwo::bench
