#pragma once

// Equal scenes for our tracker and for OpenCV's ArUco: the same camera, poses,
// sizes, background and noise, with our designs or ArUco markers printed.

#include "tools/synthetic/clutter.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/tracker.h"
#include "tools/markers/designs.h"

#include <opencv2/aruco.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace kwo::bench {

// How far a found marker's corners lie from the true ones, counted from the
// corner its reported direction calls the upper left, in pixels (RMS).
inline double cornerRms(const ARMarkerInfo& m, const synthetic::MarkerTruth& truth) {
    double sum = 0;
    for (int k = 0; k < 4; ++k) {
        const double* v = m.vertex[(4 - m.dir + k) % 4];
        sum += std::pow(v[0] - truth.ideal[k][0], 2) + std::pow(v[1] - truth.ideal[k][1], 2);
    }
    return std::sqrt(sum / 4);
}

// Frames that are independent scenes, not a video: no history, or the
// remembered markers of the previous scene would be reported (and posed) too.
inline ar::TrackerParameters frameParameters() {
    ar::TrackerParameters parameters;
    parameters.historyFrames = 0;
    return parameters;
}

inline ar::FrameView view(const synthetic::SyntheticFrame& frame) {
    return ar::FrameView::packed(frame.data(), frame.width, frame.height);
}

// The sample patterns of other tools and the pictures to print for them:
// the Hiro artwork where there is one, otherwise the picture the pattern's
// own cells describe. False when the folder lacks a pattern.
inline bool loadSamples(const std::string& folder, std::vector<ar::PatternFile>& patterns,
                        std::vector<cv::Mat>& pictures) {
    for (const char* name : {"patt.hiro", "patt.kanji", "patt.sample1", "patt.sample2"}) {
        ar::PatternFile pattern;
        if (!ar::readPatternFile(folder + "/" + name, pattern)) return false;
        cv::Mat picture;
        if (std::string(name) == "patt.hiro") picture = cv::imread(folder + "/hiro.png", cv::IMREAD_COLOR);
        pictures.push_back(picture.empty() ? synthetic::patternPicture(pattern, 256) : picture);
        patterns.push_back(pattern);
    }
    return true;
}

// A straight shadow edge through (cx, cy) across direction `angle`
// (radians), the side beyond `offset` pixels at `light` of its brightness
// (a hand or a head under a ceiling light), then the lens's sharpening
// (`sharpen` 0: none), as the camera-conditions tables render them.
inline void shadeAndSharpen(synthetic::SyntheticFrame& frame, double cx, double cy, double angle, double offset,
                            double light, double sharpen) {
    cv::Mat bgrx(frame.height, frame.width, CV_8UC4, frame.pixels.data());
    if (light > 0) {
        for (int py = 0; py < frame.height; ++py)
            for (int px = 0; px < frame.width; ++px)
                if ((px - cx) * std::cos(angle) + (py - cy) * std::sin(angle) > offset) {
                    cv::Vec4b& p = bgrx.at<cv::Vec4b>(py, px);
                    for (int k = 0; k < 3; ++k) p[k] = cv::saturate_cast<std::uint8_t>(p[k] * light);
                }
    }
    if (sharpen > 0) {
        cv::Mat soft;
        cv::GaussianBlur(bgrx, soft, cv::Size(0, 0), 1.0);
        cv::addWeighted(bgrx, 1 + sharpen, soft, -sharpen, 0, bgrx);
    }
}

// A printed card showing `picture`, `width` mm wide, at `pose`.
inline synthetic::PrintedMarker printedCard(const cv::Mat& picture, double width, const double pose[3][4]) {
    synthetic::PrintedMarker m;
    m.picture = picture;
    m.width = width;
    std::copy(&pose[0][0], &pose[0][0] + 12, &m.pose[0][0]);
    return m;
}

inline const std::vector<std::string>& designNames() {
    static const std::vector<std::string> names{"Quillmoth", "Brackenjaw", "Sliverfin", "Mossglider"};
    return names;
}

// The default calibration's camera (640x480, 60 degrees, no distortion),
// resized like the viewer does.
inline ARParam camera(int width, int height) {
    ARParam p{};
    p.xsize = 640;
    p.ysize = 480;
    const double f = 554.2562584220407;
    const double mat[3][4] = {{f, 0, 319.5, 0}, {0, f, 239.5, 0}, {0, 0, 1, 0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) p.mat[r][c] = mat[r][c];
    p.dist_factor[0] = 319.5;
    p.dist_factor[1] = 239.5;
    p.dist_factor[2] = 0;
    p.dist_factor[3] = 1;
    return ar::changeSize(p, width, height);
}

inline cv::Ptr<cv::aruco::Dictionary> arucoDictionary() {
    return cv::aruco::getPredefinedDictionary(cv::aruco::DICT_4X4_50);
}

inline cv::Mat arucoPicture(int id) {
    cv::Mat picture;
    cv::aruco::drawMarker(arucoDictionary(), id, 360, picture, 1);
    return picture;
}

struct Placement {
    double pose[3][4];
};

// `count` markers on a table top: a 2x2 arrangement whose sheets do not
// overlap, tilted up to 40 degrees, turned freely, 450 to 750 mm away.
inline std::vector<Placement> tableScene(int count, std::uint32_t seed) {
    std::minstd_rand random(seed);
    std::uniform_real_distribution<double> tilt(-40, 40), spin(0, 360), depth(450, 750), jitter(-10, 10);
    const double spots[4][2] = {{-130, -100}, {130, -100}, {-130, 100}, {130, 100}};
    std::vector<Placement> scene(count);
    for (int i = 0; i < count; ++i) {
        const double z = depth(random);
        const double scale = count == 1 ? 0 : z / 650;
        synthetic::makePose(tilt(random), tilt(random), spin(random), spots[i][0] * scale + jitter(random),
                            spots[i][1] * scale + jitter(random), z, scene[i].pose);
    }
    return scene;
}

inline std::vector<synthetic::PrintedMarker> printScene(const std::vector<Placement>& scene, bool aruco,
                                                        double width = 83) {
    std::vector<synthetic::PrintedMarker> markers;
    for (std::size_t i = 0; i < scene.size(); ++i) {
        synthetic::PrintedMarker m;
        m.picture = aruco ? arucoPicture(static_cast<int>(i)) : synthetic::designPicture(designNames()[i], 512);
        m.width = width;
        std::copy(&scene[i].pose[0][0], &scene[i].pose[0][0] + 12, &m.pose[0][0]);
        markers.push_back(m);
    }
    return markers;
}

inline ar::Tracker designTracker(const ARParam& param, ar::TrackerParameters parameters = {}) {
    ar::Tracker tracker(parameters);
    tracker.setCalibration(param);
    for (const auto& name : designNames())
        tracker.addPattern(markers::patternFromPicture(synthetic::designPicture(name, 512)));
    return tracker;
}

inline cv::Matx33d intrinsics(const ARParam& p) {
    return cv::Matx33d(p.mat[0][0], p.mat[0][1], p.mat[0][2], p.mat[1][0], p.mat[1][1], p.mat[1][2], 0, 0, 1);
}

// ArUco's view of a frame: grey picture from our 4-byte pixels.
inline cv::Mat arucoGrey(const synthetic::SyntheticFrame& frame) {
    const cv::Mat bgrx(frame.height, frame.width, CV_8UC4, const_cast<std::uint8_t*>(frame.data()));
    cv::Mat grey;
    cv::cvtColor(bgrx, grey, cv::COLOR_BGRA2GRAY);
    return grey;
}

// A frame as a webcam delivers it: uneven light, blur, sensor noise and
// JPEG compression on top of the rendering.
inline synthetic::SyntheticFrame realisticFrame(const synthetic::FrameRenderer& renderer,
                                                const std::vector<synthetic::PrintedMarker>& markers,
                                                std::uint32_t seed, const cv::Mat& background = cv::Mat()) {
    std::minstd_rand random(seed);
    std::uniform_real_distribution<double> unit(0, 1);
    synthetic::FrameOptions options;
    options.seed = seed;
    options.background = background;
    options.paper = 200 + 40 * unit(random);
    options.ink = 20 + 30 * unit(random);
    options.blur = 0.6 + 0.8 * unit(random);
    options.noise = 2 + 3 * unit(random);
    options.gradient = 0.4 * unit(random);
    options.gradientAngle = 360 * unit(random);
    synthetic::SyntheticFrame frame = renderer.render(markers, options);
    synthetic::compressAsJpeg(frame, 70 + static_cast<int>(20 * unit(random)));
    return frame;
}

} // namespace kwo::bench
