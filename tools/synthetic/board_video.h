#pragma once

// A calibration recording with a known answer, made without any of the
// calibration tool's or the tracker's arithmetic: the tool's printed board
// page rasterised as a printer would (300 dpi), held at known poses in front
// of a camera of OpenCV's model (pinhole, radial distortion about the
// principal point), the light blurred by the optics and integrated over
// each pixel, then noisy. What a calibration is judged against.

#include "tools/calibrate/chessboard.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace kwo::synthetic {

// The camera in OpenCV's terms: x = X/Z, y = Y/Z, r2 = x^2 + y^2,
// u = fx * x * (1 + k1 r2 + k2 r2^2) + cx (v likewise with fy, cy); pixel
// centres at whole numbers.
struct BoardCamera {
    cv::Size size{640, 480};
    double fx = 700, fy = 702, cx = 322, cy = 236;
    double k1 = -0.2, k2 = 0;

    cv::Matx33d matrix() const { return {fx, 0, cx, 0, fy, cy, 0, 0, 1}; }
    cv::Vec<double, 5> distortion() const { return {k1, k2, 0, 0, 0}; }
};

struct BoardVideoSettings {
    BoardCamera camera;
    kwo::calibrate::Chessboard board;
    double dotsPerInch = 300;  // the printed page's raster
    // How the page is printed: false puts every edge where the page draws it
    // (the raster anti-aliased, as a page is shown on screen), true puts every
    // edge on a whole dot, as a printer without finer placement does (the
    // squares' edges then stray by up to half a dot: 0.04 mm at 300 dpi).
    bool snapToDots = false;
    int supersample = 4;       // samples per pixel and axis (the pixel's area)
    // The optics: Gaussian, standard deviation in pixels. Also what keeps
    // the samples' staircase out of the edges: keep it at 0.4 or more.
    double blur = 0.7;
    double noise = 2.0;        // the sensor: Gaussian, standard deviation in grey levels
    double paper = 215, ink = 30, table = 90; // grey levels as the camera sees them
};

// Where the page is: page millimetres (x right, y down as printed, z = 0 on
// the page) to camera millimetres (x right, y down, z forward), as OpenCV's
// rotation vector and translation.
struct BoardPose {
    cv::Vec3d rotation, translation;
};

class BoardVideoRenderer {
public:
    explicit BoardVideoRenderer(const BoardVideoSettings& settings);

    // One frame: width * height pixels of blue, green, red, pad (grey), top
    // row first; `seed` draws its noise.
    cv::Mat render(const BoardPose& pose, std::uint32_t seed) const;

    // The board's inner corners as printed (snapped to the dots or not), in
    // page millimetres, row by row from the upper left as the finder numbers
    // them.
    const std::vector<cv::Point3d>& printedCorners() const { return corners; }
    // Where those corners show in the frame: observed pixels.
    std::vector<cv::Point2d> trueCorners(const BoardPose& pose) const;
    // The outline of the board's white margin in the frame (observed pixels);
    // empty when part of it is not in front of the camera.
    std::vector<cv::Point2d> outlineInFrame(const BoardPose& pose) const;
    // Whether the board with its white margin lies inside the frame, `margin`
    // pixels from its edges.
    bool boardInFrame(const BoardPose& pose, double margin) const;

    const BoardVideoSettings& settings() const { return config; }

private:
    BoardVideoSettings config;
    double dotsPerMm;
    cv::Mat page;        // the printed page, 8-bit grey, one value per dot
    cv::Mat normalized;  // per sample of the supersampled frame: the ray's (x, y) at z = 1
    std::vector<cv::Point3d> corners;
};

// The board held upright facing the camera, turned by `spin` degrees about
// its normal, tilted by `tiltX` and `tiltY` degrees about the camera's x and
// y axes, with its centre at depth `depth` mm where pixel (u, v) looks.
BoardPose boardPose(const BoardVideoRenderer& renderer, double tiltX, double tiltY, double spin, double u, double v,
                    double depth);

// The same pose moved into the picture (and back, when the board is larger
// than the frame) until the board with its margin lies `margin` pixels
// inside the frame: a board sent off a corner ends up touching both edges.
BoardPose keepInFrame(const BoardVideoRenderer& renderer, double tiltX, double tiltY, double spin, double u, double v,
                      double depth, double margin);

// A recording a careful technician makes: 25 poses all over the picture,
// its edges and corners too, nearer and farther, tilted up to 45 degrees.
std::vector<BoardPose> thoroughPoses(const BoardVideoRenderer& renderer);

// A recording that ends early: 11 poses in the left half of the picture.
std::vector<BoardPose> oneSidedPoses(const BoardVideoRenderer& renderer);

// Writes the poses as a lossless clip at 10 frames per second, each pose
// held for `framesPerPose` frames with noise of its own. Throws
// std::runtime_error naming the file when it cannot be written.
void writeBoardVideo(const std::string& path, const BoardVideoRenderer& renderer, const std::vector<BoardPose>& poses,
                     int framesPerPose, std::uint32_t seed = 1);

} // namespace kwo::synthetic
