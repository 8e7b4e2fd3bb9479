#include "tests/calibrate/calibration_clip.h"

#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"
#include "video/clip_writer.h"
#include "tests/support/still_clip.h"

#include <cstring>
#include <stdexcept>

namespace kwo::test {

namespace {

constexpr int pixelsPerSquare = 40;

// The board picture padded to a square sheet (the renderer's printed square),
// so its squares keep their shape.
cv::Mat squareSheet(const kwo::calibrate::Chessboard& board, int& side) {
    const cv::Mat picture = kwo::calibrate::boardPicture(board, pixelsPerSquare);
    side = std::max(picture.cols, picture.rows);
    cv::Mat sheet(side, side, CV_8U, cv::Scalar(255));
    picture.copyTo(sheet(cv::Rect((side - picture.cols) / 2, (side - picture.rows) / 2, picture.cols, picture.rows)));
    return sheet;
}

// Pose i of the set (20 of them, then round again): the board in a 3 x 3
// grid reaching the frame's edges and corners, tilted towards its middle,
// then tilted the other way and turned a little, then two near views tilted
// hard.
void poseOf(int i, double pose[3][4]) {
    i %= 20;
    if (i < 18) {
        const int xi = i % 3 - 1, yi = (i / 3) % 3 - 1;
        const bool second = i >= 9;
        const double tiltX = second ? (yi == 0 ? 22 : 18 * yi) : -24 * yi;
        const double tiltY = second ? (xi == 0 ? -22 : -18 * xi) : 24 * xi;
        const double spin = second ? 8 * (xi + yi) : 0;
        kwo::synthetic::makePose(tiltX, tiltY, spin, (second ? 262 : 230) * xi, (second ? 196 : 172) * yi,
                                 second ? 820 : 720, pose);
    } else if (i == 18) {
        kwo::synthetic::makePose(28, 0, 0, 0, 0, 540, pose);
    } else {
        kwo::synthetic::makePose(0, -30, 15, 0, 0, 540, pose);
    }
}

} // namespace

ARParam trueCalibrationCamera() {
    ARParam camera{};
    camera.xsize = 640;
    camera.ysize = 480;
    const double mat[3][4] = {{615, 0, 326, 0}, {0, 611, 236, 0}, {0, 0, 1, 0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) camera.mat[r][c] = mat[r][c];
    camera.dist_factor[0] = 331;
    camera.dist_factor[1] = 247;
    camera.dist_factor[2] = 60;
    camera.dist_factor[3] = 1.0;
    return camera;
}

CalibrationClip writeCalibrationClip(const std::string& path, int poses, int framesPerPose, int width,
                                     kwo::ClipEncoding encoding) {
    CalibrationClip clip;
    const ARParam full = trueCalibrationCamera();
    if (width == full.xsize)
        clip.camera = full;
    else if (arParamChangeSize(&full, width, full.ysize * width / full.xsize, &clip.camera) < 0)
        throw std::runtime_error("calibration clip: no camera of width " + std::to_string(width));
    // Larger squares than the printed default: the poses were laid out for
    // this size (the square's size does not change the intrinsics).
    clip.board.squareMm = 25;
    int side = 0;
    kwo::synthetic::PrintedMarker sheet;
    sheet.picture = squareSheet(clip.board, side);
    const double mmPerPixel = clip.board.squareMm / pixelsPerSquare;
    sheet.width = side * mmPerPixel;
    sheet.margin = 0;
    const cv::Size boardPixels = kwo::calibrate::boardPicture(clip.board, pixelsPerSquare).size();
    const double left = (side - boardPixels.width) / 2.0, top = (side - boardPixels.height) / 2.0;

    kwo::synthetic::FrameRenderer renderer(clip.camera, 3);
    kwo::synthetic::FrameOptions options;
    options.noise = 1.5;
    options.blur = 0.5;
    std::vector<kwo::synthetic::SyntheticFrame> frames;
    for (int i = 0; i < poses; ++i) {
        poseOf(i, sheet.pose);
        std::vector<cv::Point2d> corners;
        for (const cv::Point3f& p : clip.board.cornerPositions()) {
            // Board millimetres (from the board's upper left, without its
            // white margin) to the sheet's centred, y-up coordinates.
            const double px = left + pixelsPerSquare + p.x / mmPerPixel, py = top + pixelsPerSquare + p.y / mmPerPixel;
            const double mx = px * mmPerPixel - sheet.width / 2, my = sheet.width / 2 - py * mmPerPixel;
            double ideal[2], observed[2];
            if (!kwo::synthetic::projectPoint(clip.camera, sheet.pose, mx, my, ideal, observed) || observed[0] < 8 ||
                observed[1] < 8 || observed[0] > clip.camera.xsize - 8 || observed[1] > clip.camera.ysize - 8)
                throw std::runtime_error("calibration clip: pose " + std::to_string(i) + " leaves the frame");
            corners.emplace_back(observed[0], observed[1]);
        }
        clip.corners.push_back(std::move(corners));
        options.seed = static_cast<std::uint32_t>(i + 1);
        frames.push_back(renderer.render({sheet}, options));
    }

    kwo::ClipFormat format;
    format.width = clip.camera.xsize;
    format.height = clip.camera.ysize;
    format.framesPerSecond = 10;
    format.frameCount = poses * framesPerPose;
    format.encoding = encoding;
    kwo::writeClip(path, format, [&](int index, std::uint8_t* bgrx) {
        const auto& frame = frames[static_cast<std::size_t>(index / framesPerPose)];
        std::memcpy(bgrx, frame.data(), frame.pixels.size());
    });
    return clip;
}

void writeEmptyClip(const std::string& path, int frames) {
    const ARParam camera = trueCalibrationCamera();
    writeStillClip(path, kwo::synthetic::renderFrame(camera, {}), frames);
}

} // namespace kwo::test
