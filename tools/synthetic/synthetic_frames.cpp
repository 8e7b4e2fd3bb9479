#include "tools/synthetic/synthetic_frames.h"

#include "tools/markers/designs.h"
#include "tracking/ar/calibration.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kwo::synthetic {
namespace {

// The printed picture as float BGR in grey levels between ink and paper, with
// smaller copies for markers seen from afar (no aliasing).
std::vector<cv::Mat> picturePyramid(const cv::Mat& picture, double ink, double paper) {
    cv::Mat bgr;
    if (picture.channels() == 1) cv::cvtColor(picture, bgr, cv::COLOR_GRAY2BGR);
    else if (picture.channels() == 4) cv::cvtColor(picture, bgr, cv::COLOR_BGRA2BGR);
    else bgr = picture;
    cv::Mat level;
    bgr.convertTo(level, CV_32FC3, (paper - ink) / 255.0, ink);
    std::vector<cv::Mat> pyramid{level};
    while (pyramid.back().cols > 8 && pyramid.back().rows > 8) {
        cv::Mat smaller;
        cv::resize(pyramid.back(), smaller, cv::Size(pyramid.back().cols / 2, pyramid.back().rows / 2), 0, 0,
                   cv::INTER_AREA);
        pyramid.push_back(smaller);
    }
    return pyramid;
}

cv::Vec3f sampleBilinear(const cv::Mat& image, double u, double v) {
    u = std::clamp(u - 0.5, 0.0, image.cols - 1.0);
    v = std::clamp(v - 0.5, 0.0, image.rows - 1.0);
    const int x0 = static_cast<int>(u), y0 = static_cast<int>(v);
    const int x1 = std::min(x0 + 1, image.cols - 1), y1 = std::min(y0 + 1, image.rows - 1);
    const float fx = static_cast<float>(u - x0), fy = static_cast<float>(v - y0);
    const cv::Vec3f a = image.at<cv::Vec3f>(y0, x0), b = image.at<cv::Vec3f>(y0, x1);
    const cv::Vec3f c = image.at<cv::Vec3f>(y1, x0), d = image.at<cv::Vec3f>(y1, x1);
    return (a * (1 - fx) + b * fx) * (1 - fy) + (c * (1 - fx) + d * fx) * fy;
}

// A table top: light, low-contrast wood-like stripes with scattered objects,
// a few of them dark (clutter the detector has to reject).
cv::Mat generatedBackground(int width, int height, std::uint32_t seed) {
    cv::RNG rng(seed);
    cv::Mat background(height, width, CV_8UC3, cv::Scalar(150, 165, 175));
    for (int i = 0; i < height; i += 3) {
        const int shade = rng.uniform(-12, 12);
        cv::line(background, {0, i}, {width, i + rng.uniform(-20, 20)},
                 cv::Scalar(150 + shade, 165 + shade, 175 + shade), 2);
    }
    const int objects = (width * height) / 6000;
    for (int i = 0; i < objects; ++i) {
        const cv::Point centre(rng.uniform(0, width), rng.uniform(0, height));
        const int grey = rng.uniform(0, 10) < 2 ? rng.uniform(10, 70) : rng.uniform(90, 240);
        const cv::Scalar colour(grey + rng.uniform(-15, 15), grey, grey + rng.uniform(-15, 15));
        const int size = rng.uniform(2, std::max(3, width / 25));
        switch (rng.uniform(0, 3)) {
        case 0: cv::circle(background, centre, size, colour, cv::FILLED, cv::LINE_AA); break;
        case 1:
            cv::rectangle(background, centre, centre + cv::Point(size, rng.uniform(2, std::max(3, width / 25))), colour,
                          cv::FILLED);
            break;
        default:
            cv::line(background, centre, centre + cv::Point(rng.uniform(-60, 60), rng.uniform(-60, 60)), colour,
                     rng.uniform(1, 4), cv::LINE_AA);
        }
    }
    cv::GaussianBlur(background, background, cv::Size(0, 0), 1.0);
    return background;
}

struct Placed {
    const PrintedMarker* marker;
    std::vector<cv::Mat> pyramid;
    double hinv[3][3];
    int level;
    double depth;
    cv::Rect box; // observed pixels that may show the paper
};

bool invert3(const double m[3][3], double out[3][3]) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (std::abs(det) < 1e-300) return false;
    cv::Matx33d a(m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2], m[2][0], m[2][1], m[2][2]);
    const cv::Matx33d inv = a.inv();
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out[r][c] = inv(r, c);
    return true;
}

} // namespace

bool projectPoint(const ARParam& camera, const double pose[3][4], double mx, double my, double ideal[2],
                  double observed[2]) {
    double p[3];
    for (int r = 0; r < 3; ++r) p[r] = pose[r][0] * mx + pose[r][1] * my + pose[r][3];
    double q[3];
    for (int r = 0; r < 3; ++r)
        q[r] = camera.mat[r][0] * p[0] + camera.mat[r][1] * p[1] + camera.mat[r][2] * p[2] + camera.mat[r][3];
    if (!(p[2] > 0) || !(q[2] > 0)) return false;
    ideal[0] = q[0] / q[2];
    ideal[1] = q[1] / q[2];
    kwo::ar::idealToObserved(camera.dist_factor, ideal[0], ideal[1], observed[0], observed[1]);
    return true;
}

void makePose(double tiltX, double tiltY, double spin, double x, double y, double z, double pose[3][4]) {
    const double d = std::numbers::pi / 180.0;
    const cv::Matx33d rx(1, 0, 0, 0, std::cos(tiltX * d), -std::sin(tiltX * d), 0, std::sin(tiltX * d), std::cos(tiltX * d));
    const cv::Matx33d ry(std::cos(tiltY * d), 0, std::sin(tiltY * d), 0, 1, 0, -std::sin(tiltY * d), 0, std::cos(tiltY * d));
    const cv::Matx33d facing(1, 0, 0, 0, -1, 0, 0, 0, -1);
    const cv::Matx33d rz(std::cos(spin * d), -std::sin(spin * d), 0, std::sin(spin * d), std::cos(spin * d), 0, 0, 0, 1);
    const cv::Matx33d r = rx * ry * facing * rz;
    const double t[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) pose[i][j] = r(i, j);
        pose[i][3] = t[i];
    }
}

FrameRenderer::FrameRenderer(const ARParam& camera, int supersample)
    : camera_(camera), supersample_(std::max(1, supersample)) {
    // Per pixel: the ideal position of its centre and the derivatives along
    // x and y; lens distortion is smooth enough for sub-pixel steps to be
    // taken linearly.
    ideal_.resize(static_cast<std::size_t>(camera.xsize) * camera.ysize * 3);
    std::size_t k = 0;
    for (int y = 0; y < camera.ysize; ++y)
        for (int x = 0; x < camera.xsize; ++x) {
            double cx, cy, lx, ly, rx, ry, ux, uy, dx, dy;
            kwo::ar::observedToIdeal(camera.dist_factor, x, y, cx, cy);
            kwo::ar::observedToIdeal(camera.dist_factor, x - 0.5, y, lx, ly);
            kwo::ar::observedToIdeal(camera.dist_factor, x + 0.5, y, rx, ry);
            kwo::ar::observedToIdeal(camera.dist_factor, x, y - 0.5, ux, uy);
            kwo::ar::observedToIdeal(camera.dist_factor, x, y + 0.5, dx, dy);
            ideal_[k++] = cv::Point2f(static_cast<float>(cx), static_cast<float>(cy));
            ideal_[k++] = cv::Point2f(static_cast<float>(rx - lx), static_cast<float>(ry - ly));
            ideal_[k++] = cv::Point2f(static_cast<float>(dx - ux), static_cast<float>(dy - uy));
        }
}

SyntheticFrame FrameRenderer::render(const std::vector<PrintedMarker>& markers, const FrameOptions& options) const {
    const int w = camera_.xsize, h = camera_.ysize, s = supersample_;
    SyntheticFrame frame;
    frame.width = w;
    frame.height = h;

    cv::Mat background;
    if (options.background.empty()) background = generatedBackground(w, h, options.seed);
    else cv::resize(options.background, background, cv::Size(w, h), 0, 0, cv::INTER_AREA);
    if (background.channels() == 1) cv::cvtColor(background, background, cv::COLOR_GRAY2BGR);
    background.convertTo(background, CV_32FC3);

    // Markers far to near, so nearer sheets cover farther ones.
    std::vector<Placed> placed;
    for (const PrintedMarker& m : markers) {
        MarkerTruth truth{};
        truth.inFront = true;
        const double half = m.width / 2;
        const double corners[4][2] = {{-half, half}, {half, half}, {half, -half}, {-half, -half}};
        for (int i = 0; i < 4; ++i)
            for (int c = 0; c < 3; ++c) truth.pose[c][i] = m.pose[c][i];
        for (int i = 0; i < 4; ++i)
            truth.inFront &= projectPoint(camera_, m.pose, corners[i][0], corners[i][1], truth.ideal[i], truth.observed[i]);
        frame.markers.push_back(truth);
        if (m.picture.empty()) continue;

        Placed p{&m, {}, {}, 0, m.pose[2][3], cv::Rect(0, 0, w, h)};
        // Plane (x, y, 1) to ideal pixels: the projection of the pose's x, y
        // and translation columns.
        double hom[3][3];
        for (int r = 0; r < 3; ++r) {
            const int columns[3] = {0, 1, 3};
            for (int c = 0; c < 3; ++c) {
                double sum = camera_.mat[r][3] * (columns[c] == 3 ? 1 : 0);
                for (int k = 0; k < 3; ++k) sum += camera_.mat[r][k] * m.pose[k][columns[c]];
                hom[r][c] = sum;
            }
        }
        if (!invert3(hom, p.hinv)) continue;

        // The sheet's extent in the frame (corners and edge midpoints, which
        // lens distortion may push outwards).
        const double sheet = half + m.margin * m.width;
        bool allInFront = true;
        double minX = 1e18, minY = 1e18, maxX = -1e18, maxY = -1e18;
        for (int i = 0; i < 8; ++i) {
            const double fx[8] = {-1, 0, 1, 1, 1, 0, -1, -1}, fy[8] = {1, 1, 1, 0, -1, -1, -1, 0};
            double ideal[2], observed[2];
            if (!projectPoint(camera_, m.pose, fx[i] * sheet, fy[i] * sheet, ideal, observed)) {
                allInFront = false;
                break;
            }
            minX = std::min(minX, observed[0]);
            maxX = std::max(maxX, observed[0]);
            minY = std::min(minY, observed[1]);
            maxY = std::max(maxY, observed[1]);
        }
        if (allInFront) {
            const int x0 = std::max(0, static_cast<int>(std::floor(minX)) - 4), y0 = std::max(0, static_cast<int>(std::floor(minY)) - 4);
            const int x1 = std::min(w, static_cast<int>(std::ceil(maxX)) + 5), y1 = std::min(h, static_cast<int>(std::ceil(maxY)) + 5);
            p.box = x1 > x0 && y1 > y0 ? cv::Rect(x0, y0, x1 - x0, y1 - y0) : cv::Rect();
            // Picture pixels per sub-sample decide the copy to sample.
            double side = 0;
            for (int i = 0; i < 4; ++i)
                side += std::hypot(truth.ideal[(i + 1) % 4][0] - truth.ideal[i][0], truth.ideal[(i + 1) % 4][1] - truth.ideal[i][1]);
            side /= 4;
            const double ratio = m.picture.cols / std::max(1.0, side * s);
            p.level = ratio > 1 ? static_cast<int>(std::floor(std::log2(ratio))) : 0;
        }
        p.pyramid = picturePyramid(m.picture, options.ink, options.paper);
        p.level = std::min<int>(p.level, static_cast<int>(p.pyramid.size()) - 1);
        placed.push_back(std::move(p));
    }
    std::stable_sort(placed.begin(), placed.end(), [](const Placed& a, const Placed& b) { return a.depth > b.depth; });

    // Sub-sample offsets on an n-rooks pattern: every sample has its own
    // column and row, so an edge along x or y is resolved to 1/s^2 pixel.
    std::vector<cv::Point2d> offsets;
    for (int j = 0; j < s; ++j)
        for (int i = 0; i < s; ++i) offsets.emplace_back((i + (j + 0.5) / s) / s - 0.5, (j + (i + 0.5) / s) / s - 0.5);

    cv::Mat picture = background.clone();
    const cv::Vec3f paper(static_cast<float>(options.paper), static_cast<float>(options.paper), static_cast<float>(options.paper));
    const float weight = 1.0f / (s * s);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool covered = false;
            for (const Placed& p : placed) covered |= p.box.contains({x, y});
            if (!covered) continue;
            const cv::Vec3f back = background.at<cv::Vec3f>(y, x);
            const cv::Point2f* map = &ideal_[(static_cast<std::size_t>(y) * w + x) * 3];
            cv::Vec3f sum(0, 0, 0);
            for (const cv::Point2d& o : offsets) {
                const double ix = map[0].x + o.x * map[1].x + o.y * map[2].x;
                const double iy = map[0].y + o.x * map[1].y + o.y * map[2].y;
                cv::Vec3f colour = back;
                for (const Placed& p : placed) {
                    if (!p.box.contains({x, y})) continue;
                    const double hw = p.hinv[2][0] * ix + p.hinv[2][1] * iy + p.hinv[2][2];
                    const double px = (p.hinv[0][0] * ix + p.hinv[0][1] * iy + p.hinv[0][2]) / hw;
                    const double py = (p.hinv[1][0] * ix + p.hinv[1][1] * iy + p.hinv[1][2]) / hw;
                    const PrintedMarker& m = *p.marker;
                    // Only the side of the plane in front of the camera.
                    if (!(m.pose[2][0] * px + m.pose[2][1] * py + m.pose[2][3] > 0)) continue;
                    const double half = m.width / 2, sheet = half + m.margin * m.width;
                    if (std::abs(px) > sheet || std::abs(py) > sheet) continue;
                    if (std::abs(px) <= half && std::abs(py) <= half) {
                        const cv::Mat& level = p.pyramid[p.level];
                        colour = sampleBilinear(level, (px + half) / m.width * level.cols, (half - py) / m.width * level.rows);
                    } else {
                        colour = paper;
                    }
                }
                sum += colour;
            }
            picture.at<cv::Vec3f>(y, x) = sum * weight;
        }

    if (options.gradient != 0) {
        const double a = options.gradientAngle * std::numbers::pi / 180.0, ca = std::cos(a), sa = std::sin(a);
        const double ts[4] = {0, (w - 1) * ca, (h - 1) * sa, (w - 1) * ca + (h - 1) * sa};
        const double t0 = *std::min_element(ts, ts + 4), t1 = *std::max_element(ts, ts + 4);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const double t = t1 > t0 ? (x * ca + y * sa - t0) / (t1 - t0) : 0;
                picture.at<cv::Vec3f>(y, x) *= static_cast<float>(1.0 - options.gradient * t);
            }
    }
    if (options.blur > 0) cv::GaussianBlur(picture, picture, cv::Size(0, 0), options.blur);
    if (options.noise > 0) {
        cv::Mat noise(h, w, CV_32FC3);
        cv::RNG rng(options.seed * 7919u + 17u);
        rng.fill(noise, cv::RNG::NORMAL, 0, options.noise);
        picture += noise;
    }

    frame.pixels.resize(static_cast<std::size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const cv::Vec3f c = picture.at<cv::Vec3f>(y, x);
            std::uint8_t* out = &frame.pixels[(static_cast<std::size_t>(y) * w + x) * 4];
            for (int k = 0; k < 3; ++k) out[k] = cv::saturate_cast<std::uint8_t>(c[k]);
            out[3] = 255;
        }
    return frame;
}

SyntheticFrame renderFrame(const ARParam& camera, const std::vector<PrintedMarker>& markers, const FrameOptions& options) {
    return FrameRenderer(camera, options.supersample).render(markers, options);
}

void compressAsJpeg(SyntheticFrame& frame, int quality) {
    cv::Mat bgrx(frame.height, frame.width, CV_8UC4, frame.pixels.data()), bgr;
    cv::cvtColor(bgrx, bgr, cv::COLOR_BGRA2BGR);
    std::vector<std::uint8_t> jpeg;
    cv::imencode(".jpg", bgr, jpeg, {cv::IMWRITE_JPEG_QUALITY, quality});
    // Decoded into the frame's own pixels: same size and type, no new buffer.
    cv::cvtColor(cv::imdecode(jpeg, cv::IMREAD_COLOR), bgrx, cv::COLOR_BGR2BGRA);
}

cv::Mat designPicture(const std::string& name, int side) {
    const kwo::markers::MarkerDesign* design = kwo::markers::findDesign(name);
    return design ? kwo::markers::renderDesign(*design, side) : cv::Mat();
}

cv::Mat patternPicture(const kwo::ar::PatternFile& pattern, int side) {
    cv::Mat cells(kwo::ar::patternSide, kwo::ar::patternSide, CV_8UC3);
    for (int y = 0; y < kwo::ar::patternSide; ++y)
        for (int x = 0; x < kwo::ar::patternSide; ++x)
            for (int plane = 0; plane < 3; ++plane) cells.at<cv::Vec3b>(y, x)[plane] = pattern.blocks[0][plane][y][x];
    cv::Mat picture(side, side, CV_8UC3, cv::Scalar(0, 0, 0));
    const int inner0 = static_cast<int>(std::lround(side * 0.25)), inner1 = static_cast<int>(std::lround(side * 0.75));
    cv::Mat inner;
    cv::resize(cells, inner, cv::Size(inner1 - inner0, inner1 - inner0), 0, 0, cv::INTER_NEAREST);
    // Stretch the file's levels (a camera's view of paper and ink) back to
    // the full range of a print.
    double low, high;
    cv::minMaxLoc(inner.reshape(1), &low, &high);
    if (high > low) inner.convertTo(inner, CV_8UC3, 255.0 / (high - low), -low * 255.0 / (high - low));
    inner.copyTo(picture(cv::Rect(inner0, inner0, inner1 - inner0, inner1 - inner0)));
    return picture;
}

} // namespace kwo::synthetic
