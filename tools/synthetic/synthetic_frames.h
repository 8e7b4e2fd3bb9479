#pragma once

// Synthetic camera frames of printed markers, with the ground truth: a test,
// benchmark and demo-clip fixture. Markers (from the project's designs, a
// pattern file, or any picture of a printed square) lie at given poses in
// front of a calibrated camera, on a textured background; the frame is
// rendered through the calibration's projection and lens distortion with
// optional blur, noise and a lighting gradient.

#include "tracking/ar/ar_types.h"
#include "tracking/ar/patterns.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace kwo::synthetic {

// One printed marker on its sheet of paper.
struct PrintedMarker {
    // The printed black square edge to edge, row 0 at the top as printed:
    // 8-bit grey, BGR or BGRA (alpha ignored), any size.
    cv::Mat picture;
    // Side of the printed square, in the pose's unit (millimetres).
    double width = 80;
    // White paper around the square on each side, as a fraction of `width`.
    double margin = 0.25;
    // Marker to camera: marker x right, y up as printed, z toward the viewer,
    // origin at the square's centre; camera x right, y down, z forward.
    double pose[3][4] = {{1, 0, 0, 0}, {0, -1, 0, 0}, {0, 0, -1, 500}};
};

struct FrameOptions {
    std::uint32_t seed = 1;   // background texture and noise
    cv::Mat background;       // BGR picture, scaled to the frame; empty: a generated texture
    double paper = 235;       // grey level of paper white
    double ink = 25;          // grey level of printed black
    double noise = 0;         // Gaussian noise, standard deviation in grey levels
    double blur = 0;          // Gaussian blur, standard deviation in pixels; 0 none
    double gradient = 0;      // lighting falls from 1 to 1 - gradient across the frame
    double gradientAngle = 0; // direction of the fall, degrees (0: left to right, 90: top to bottom)
    int supersample = 4;      // samples per pixel and axis on the markers (anti-aliasing)
};

// Ground truth of one marker: corners upper-left, upper-right, lower-right,
// lower-left as printed.
struct MarkerTruth {
    double observed[4][2]; // in the frame's pixels (distorted)
    double ideal[4][2];    // undistorted pixels, what the tracker reports as vertices
    double pose[3][4];     // as given
    bool inFront;          // every corner in front of the camera
};

struct SyntheticFrame {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels; // width * height * 4 bytes: blue, green, red, 255; rows packed
    std::vector<MarkerTruth> markers; // in the order of the markers given
    const std::uint8_t* data() const { return pixels.data(); }
};

// Renders frames for one calibration; keeps the per-pixel undistortion, so
// reuse one renderer for many frames (a clip).
class FrameRenderer {
public:
    explicit FrameRenderer(const ARParam& camera, int supersample = 4);
    SyntheticFrame render(const std::vector<PrintedMarker>& markers, const FrameOptions& options = {}) const;
    const ARParam& camera() const { return camera_; }

private:
    ARParam camera_;
    int supersample_;
    std::vector<cv::Point2f> ideal_; // per pixel: ideal centre, d/dx, d/dy
};

// One-off convenience over FrameRenderer (options.supersample is used).
SyntheticFrame renderFrame(const ARParam& camera, const std::vector<PrintedMarker>& markers,
                           const FrameOptions& options = {});

// The frame as a webcam's JPEG stream delivers it, at `quality` (0-100).
void compressAsJpeg(SyntheticFrame& frame, int quality);

// The picture of one of the project's designs by name ("Quillmoth", ...);
// empty when there is no such design.
cv::Mat designPicture(const std::string& name, int side = 256);
// A printed square made from a pattern's block 0: black border of a quarter
// of the side, 16x16 cells inside.
cv::Mat patternPicture(const kwo::ar::PatternFile& pattern, int side = 256);

// A pose: the marker faces the camera upright, is turned by `spin` degrees
// about its own normal (counter-clockwise as seen), tilted by `tiltX` and
// `tiltY` degrees about the camera's x and y axes, and its centre put at (x,
// y, z) in camera coordinates.
void makePose(double tiltX, double tiltY, double spin, double x, double y, double z, double pose[3][4]);

// Where marker point (mx, my, 0) appears: ideal and observed pixels; false
// when the point is not in front of the camera.
bool projectPoint(const ARParam& camera, const double pose[3][4], double mx, double my, double ideal[2],
                  double observed[2]);

} // namespace kwo::synthetic
