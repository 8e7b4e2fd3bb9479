#include "tools/synthetic/board_video.h"

#include "video/clip_writer.h"

#include <cairo.h>
#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace kwo::synthetic {

namespace {

constexpr double mmPerInch = 25.4;
// How far printed ink spreads, standard deviation in dots.
constexpr double inkSpreadDots = 1.5;

// The printed page as a raster of one grey value per dot. Snapped, every
// edge falls on a whole dot, as a printer puts ink (the board's own drawing
// asks for crisp edges); else the page is drawn at many sub-dot offsets and
// averaged, which places each edge where the page puts it, to 1/16 dot.
cv::Mat printPage(const kwo::calibrate::Chessboard& board, double dotsPerMm, bool snapToDots) {
    const int width = static_cast<int>(std::lround(kwo::calibrate::pageWidthMm * dotsPerMm));
    const int height = static_cast<int>(std::lround(kwo::calibrate::pageHeightMm * dotsPerMm));
    cv::Mat rgb(height, width, CV_8UC4), grey, sum = cv::Mat::zeros(height, width, CV_32F);
    const int offsets = snapToDots ? 1 : 8;
    for (int i = 0; i < offsets * offsets; ++i) {
        cairo_surface_t* surface = cairo_image_surface_create_for_data(rgb.data, CAIRO_FORMAT_RGB24, width, height,
                                                                       static_cast<int>(rgb.step));
        cairo_t* cairo = cairo_create(surface);
        cairo_translate(cairo, (i % offsets + 0.5) / offsets - 0.5, (i / offsets + 0.5) / offsets - 0.5);
        cairo_scale(cairo, dotsPerMm, dotsPerMm);
        kwo::calibrate::drawBoardPage(cairo, board);
        cairo_destroy(cairo);
        cairo_surface_flush(surface);
        cairo_surface_destroy(surface);
        cv::extractChannel(rgb, grey, 1);
        cv::accumulate(grey, sum);
    }
    cv::Mat page;
    sum.convertTo(page, CV_8U, 1.0 / (offsets * offsets));
    return page;
}

// The dot boundary nearest `nominal` (dots) where the raster changes from
// one value to another along a row (`alongRow`) or a column through `across`.
double printedEdge(const cv::Mat& page, double nominal, int across, bool alongRow) {
    const int from = static_cast<int>(std::floor(nominal)) - 3, to = from + 6;
    for (int p = from; p < to; ++p) {
        const unsigned char a = alongRow ? page.at<unsigned char>(across, p) : page.at<unsigned char>(p, across);
        const unsigned char b = alongRow ? page.at<unsigned char>(across, p + 1) : page.at<unsigned char>(p + 1, across);
        if ((a < 128) != (b < 128)) return p + 1;
    }
    throw std::logic_error("board video: no printed edge near dot " + std::to_string(nominal));
}

// OpenCV's radial model undone: the ray through an observed pixel, as (x, y)
// at z = 1. Newton's method on the radius; the distortion is monotonic out
// to the frame's corners for any lens a calibration is meant for.
cv::Point2d rayThrough(const BoardCamera& camera, double u, double v) {
    const double xd = (u - camera.cx) / camera.fx, yd = (v - camera.cy) / camera.fy;
    const double rd = std::hypot(xd, yd);
    if (rd == 0) return {0, 0};
    double r = rd;
    for (int i = 0; i < 30; ++i) {
        const double r2 = r * r;
        const double f = r * (1 + camera.k1 * r2 + camera.k2 * r2 * r2) - rd;
        const double df = 1 + 3 * camera.k1 * r2 + 5 * camera.k2 * r2 * r2;
        const double step = f / df;
        r -= step;
        if (std::abs(step) < 1e-15) break;
    }
    return {xd * r / rd, yd * r / rd};
}

cv::Matx33d rotationOf(double tiltX, double tiltY, double spin) {
    const auto rad = [](double degrees) { return degrees * CV_PI / 180; };
    const double a = rad(tiltX), b = rad(tiltY), c = rad(spin);
    const cv::Matx33d rx(1, 0, 0, 0, std::cos(a), -std::sin(a), 0, std::sin(a), std::cos(a));
    const cv::Matx33d ry(std::cos(b), 0, std::sin(b), 0, 1, 0, -std::sin(b), 0, std::cos(b));
    const cv::Matx33d rz(std::cos(c), -std::sin(c), 0, std::sin(c), std::cos(c), 0, 0, 0, 1);
    return rx * ry * rz;
}

} // namespace

BoardVideoRenderer::BoardVideoRenderer(const BoardVideoSettings& settings)
    : config(settings), dotsPerMm(settings.dotsPerInch / mmPerInch) {
    const kwo::calibrate::Chessboard& board = config.board;
    const cv::Mat printed = printPage(board, dotsPerMm, config.snapToDots);

    // Where the inner corners are on the page: as drawn, or where the
    // snapped raster really has its edges.
    const cv::Point2d origin = kwo::calibrate::boardOriginOnPage(board);
    std::vector<double> columns, rows;
    for (int c = 1; c <= board.columns; ++c) columns.push_back(origin.x + c * board.squareMm);
    for (int r = 1; r <= board.rows; ++r) rows.push_back(origin.y + r * board.squareMm);
    if (config.snapToDots) {
        const int middleOfFirstRow = static_cast<int>((origin.y + 0.5 * board.squareMm) * dotsPerMm);
        const int middleOfFirstColumn = static_cast<int>((origin.x + 0.5 * board.squareMm) * dotsPerMm);
        for (double& x : columns) x = printedEdge(printed, x * dotsPerMm, middleOfFirstRow, true) / dotsPerMm;
        for (double& y : rows) y = printedEdge(printed, y * dotsPerMm, middleOfFirstColumn, false) / dotsPerMm;
    }
    for (double y : rows)
        for (double x : columns) corners.emplace_back(x, y, 0);

    // The grey levels the camera sees; the raster's dot p covers [p, p + 1)
    // of the page's dot coordinates. The ink spreads a little on paper
    // (about a dot): without that the samples, a few dots apart, would meet
    // each square's edge at a phase of their own and move it by a tenth of a
    // pixel where an edge runs along them. The spread is symmetric, so it
    // leaves the edges and corners where they are.
    printed.convertTo(page, CV_32F, (config.paper - config.ink) / 255.0, config.ink);
    cv::GaussianBlur(page, page, cv::Size(0, 0), inkSpreadDots);

    // Every sample's ray, once: the lens does not change between frames.
    const int s = config.supersample;
    const cv::Size size = config.camera.size;
    normalized.create(size.height * s, size.width * s, CV_32FC2);
    for (int y = 0; y < normalized.rows; ++y) {
        cv::Vec2f* row = normalized.ptr<cv::Vec2f>(y);
        const double v = (y + 0.5) / s - 0.5;
        for (int x = 0; x < normalized.cols; ++x) {
            const cv::Point2d ray = rayThrough(config.camera, (x + 0.5) / s - 0.5, v);
            row[x] = cv::Vec2f(static_cast<float>(ray.x), static_cast<float>(ray.y));
        }
    }
}

cv::Mat BoardVideoRenderer::render(const BoardPose& pose, std::uint32_t seed) const {
    // The page plane seen from the camera: [x y 1] ~ [r1 r2 t] [X Y 1] for
    // page millimetres (X, Y); inverted, and scaled to the raster's dots
    // with remap's convention that a dot's value sits at its centre.
    cv::Matx33d rotation;
    cv::Rodrigues(pose.rotation, rotation);
    const cv::Matx33d plane(rotation(0, 0), rotation(0, 1), pose.translation[0], rotation(1, 0), rotation(1, 1),
                            pose.translation[1], rotation(2, 0), rotation(2, 1), pose.translation[2]);
    const cv::Matx33d toDots(dotsPerMm, 0, -0.5, 0, dotsPerMm, -0.5, 0, 0, 1);
    const cv::Matx33d rayToDot = toDots * plane.inv();

    const int s = config.supersample;
    const cv::Size size = config.camera.size;
    // The optics' blur acts on the light before the pixels integrate it:
    // applied to the samples, it also smooths the samples' own staircase
    // along the squares' edges, which would otherwise shift them by
    // hundredths of a pixel. Each strip takes the rows its blur reaches.
    const double sigma = config.blur * s;
    const int reach = config.blur > 0 ? static_cast<int>(std::ceil(4 * sigma)) : 0;
    cv::Mat frame(size, CV_32F);
    constexpr int stripRows = 32; // bounds the memory of the samples
    cv::Mat map, samples;
    for (int top = 0; top < size.height; top += stripRows) {
        const int rows = std::min(stripRows, size.height - top);
        const int first = std::max(0, top * s - reach), last = std::min(normalized.rows, (top + rows) * s + reach);
        cv::perspectiveTransform(normalized.rowRange(first, last), map, rayToDot);
        cv::remap(page, samples, map, cv::noArray(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(config.table));
        if (config.blur > 0) cv::GaussianBlur(samples, samples, cv::Size(0, 0), sigma);
        // Each pixel integrates the light over its area.
        cv::resize(samples.rowRange(top * s - first, (top + rows) * s - first), frame.rowRange(top, top + rows),
                   cv::Size(size.width, rows), 0, 0, cv::INTER_AREA);
    }
    if (config.noise > 0) {
        cv::Mat noise(size, CV_32F);
        cv::RNG random(seed);
        random.fill(noise, cv::RNG::NORMAL, 0, config.noise);
        frame += noise;
    }
    cv::Mat grey, bgrx;
    frame.convertTo(grey, CV_8U);
    cv::cvtColor(grey, bgrx, cv::COLOR_GRAY2BGRA);
    return bgrx;
}

std::vector<cv::Point2d> BoardVideoRenderer::trueCorners(const BoardPose& pose) const {
    std::vector<cv::Point2d> observed;
    cv::projectPoints(corners, pose.rotation, pose.translation, config.camera.matrix(), config.camera.distortion(),
                      observed);
    return observed;
}

std::vector<cv::Point2d> BoardVideoRenderer::outlineInFrame(const BoardPose& pose) const {
    const kwo::calibrate::Chessboard& board = config.board;
    const cv::Point2d origin = kwo::calibrate::boardOriginOnPage(board);
    const double left = origin.x - board.squareMm, top = origin.y - board.squareMm;
    const double width = board.widthMm() + 2 * board.squareMm, height = board.heightMm() + 2 * board.squareMm;
    // Along the outline of the white margin: the lens bends its sides.
    std::vector<cv::Point3d> outline;
    for (int i = 0; i <= 20; ++i) {
        const double t = i / 20.0;
        outline.emplace_back(left + t * width, top, 0);
        outline.emplace_back(left + t * width, top + height, 0);
        outline.emplace_back(left, top + t * height, 0);
        outline.emplace_back(left + width, top + t * height, 0);
    }
    cv::Matx33d rotation;
    cv::Rodrigues(pose.rotation, rotation);
    for (const cv::Point3d& p : outline)
        if ((rotation * cv::Vec3d(p.x, p.y, p.z) + pose.translation)[2] <= 0) return {};
    std::vector<cv::Point2d> projected;
    cv::projectPoints(outline, pose.rotation, pose.translation, config.camera.matrix(), config.camera.distortion(),
                      projected);
    return projected;
}

bool BoardVideoRenderer::boardInFrame(const BoardPose& pose, double margin) const {
    const std::vector<cv::Point2d> outline = outlineInFrame(pose);
    if (outline.empty()) return false;
    const cv::Size size = config.camera.size;
    for (const cv::Point2d& p : outline)
        if (p.x < margin || p.y < margin || p.x > size.width - 1 - margin || p.y > size.height - 1 - margin)
            return false;
    return true;
}

BoardPose boardPose(const BoardVideoRenderer& renderer, double tiltX, double tiltY, double spin, double u, double v,
                    double depth) {
    const kwo::calibrate::Chessboard& board = renderer.settings().board;
    const cv::Point2d origin = kwo::calibrate::boardOriginOnPage(board);
    const cv::Vec3d centre(origin.x + board.widthMm() / 2, origin.y + board.heightMm() / 2, 0);
    const cv::Point2d ray = rayThrough(renderer.settings().camera, u, v);
    const cv::Matx33d rotation = rotationOf(tiltX, tiltY, spin);
    BoardPose pose;
    cv::Rodrigues(rotation, pose.rotation);
    pose.translation = cv::Vec3d(ray.x * depth, ray.y * depth, depth) - rotation * centre;
    return pose;
}

BoardPose keepInFrame(const BoardVideoRenderer& renderer, double tiltX, double tiltY, double spin, double u, double v,
                      double depth, double margin) {
    const cv::Size size = renderer.settings().camera.size;
    const double low = margin, highX = size.width - 1 - margin, highY = size.height - 1 - margin;
    for (int attempt = 0; attempt < 200; ++attempt) {
        const BoardPose pose = boardPose(renderer, tiltX, tiltY, spin, u, v, depth);
        const std::vector<cv::Point2d> outline = renderer.outlineInFrame(pose);
        double minX = INFINITY, maxX = -INFINITY, minY = INFINITY, maxY = -INFINITY;
        for (const cv::Point2d& p : outline) {
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
        if (outline.empty() || maxX - minX > highX - low || maxY - minY > highY - low) {
            depth *= 1.05; // larger than the frame: farther away
            continue;
        }
        // Moved by what sticks out on each side (a little more: the
        // perspective makes a shift of the centre move the edge a little
        // less), so a board sent to a corner ends up touching both edges.
        const double dx = minX < low ? low - minX + 0.25 : maxX > highX ? highX - maxX - 0.25 : 0;
        const double dy = minY < low ? low - minY + 0.25 : maxY > highY ? highY - maxY - 0.25 : 0;
        if (dx == 0 && dy == 0) return pose;
        u += dx;
        v += dy;
    }
    throw std::logic_error("board video: the board does not fit the frame");
}

namespace {

struct PlacedPose {
    double tiltX, tiltY, spin;
    double across, down; // -1 .. 1: where in the picture, before it is kept inside
    double size;         // the board with its margin, facing the camera: this share of the frame's width
};

std::vector<BoardPose> place(const BoardVideoRenderer& renderer, const std::vector<PlacedPose>& placed) {
    const BoardCamera& camera = renderer.settings().camera;
    const kwo::calibrate::Chessboard& board = renderer.settings().board;
    const double boardWidth = board.widthMm() + 2 * board.squareMm;
    std::vector<BoardPose> poses;
    for (const PlacedPose& p : placed)
        poses.push_back(keepInFrame(renderer, p.tiltX, p.tiltY, p.spin, camera.cx + p.across * camera.size.width / 2,
                                    camera.cy + p.down * camera.size.height / 2,
                                    camera.fx * boardWidth / (p.size * camera.size.width), 3));
    return poses;
}

} // namespace

std::vector<BoardPose> thoroughPoses(const BoardVideoRenderer& renderer) {
    std::vector<PlacedPose> placed;
    // Twice round a 3 x 3 grid reaching the edges and corners: first square
    // to the camera (so the board's outer corners reach into the picture's),
    // then smaller, tilted and turned.
    for (int down = -1; down <= 1; ++down)
        for (int across = -1; across <= 1; ++across) {
            const bool middle = across == 0 && down == 0;
            placed.push_back({middle ? 20.0 : 0.0, 0, 0, double(across), double(down), 0.52});
            placed.push_back({middle ? 25.0 : -30.0 * down, middle ? -25.0 : 30.0 * across,
                              10.0 * (across - down), double(across), double(down), 0.45});
        }
    // Then in the middle: tilted hard every way, near and far.
    placed.push_back({45, 0, 0, 0, 0, 0.44});
    placed.push_back({-45, 0, 5, 0, 0, 0.44});
    placed.push_back({0, 45, -5, 0, 0, 0.44});
    placed.push_back({0, -45, 0, 0, 0, 0.44});
    placed.push_back({-30, 30, 15, 0, 0, 0.45});
    placed.push_back({0, 0, 0, 0, 0, 0.64});
    placed.push_back({20, 20, -20, 0, 0, 0.34});
    return place(renderer, placed);
}

std::vector<BoardPose> oneSidedPoses(const BoardVideoRenderer& renderer) {
    // Three rows in the left half, each square to the camera and tilted
    // both ways, and two more.
    std::vector<PlacedPose> placed;
    for (int down = -1; down <= 1; ++down) {
        placed.push_back({0, 0, 0, -0.55, 0.8 * down, 0.38});
        placed.push_back({35, -35, 5, -0.55, 0.8 * down, 0.38});
        placed.push_back({-35, 35, -8, -0.55, 0.8 * down, 0.38});
    }
    placed.push_back({0, 45, 0, -0.55, 0, 0.40});
    placed.push_back({20, 20, 10, -0.55, -0.4, 0.40});
    return place(renderer, placed);
}

void writeBoardVideo(const std::string& path, const BoardVideoRenderer& renderer, const std::vector<BoardPose>& poses,
                     int framesPerPose, std::uint32_t seed) {
    kwo::ClipFormat format;
    format.width = renderer.settings().camera.size.width;
    format.height = renderer.settings().camera.size.height;
    format.framesPerSecond = 10;
    format.frameCount = static_cast<int>(poses.size()) * framesPerPose;
    format.encoding = kwo::ClipEncoding::Raw;
    kwo::writeClip(path, format, [&](int index, std::uint8_t* bgrx) {
        const cv::Mat frame = renderer.render(poses[static_cast<std::size_t>(index / framesPerPose)],
                                              seed + static_cast<std::uint32_t>(index));
        std::memcpy(bgrx, frame.data, frame.total() * frame.elemSize());
    });
}

} // namespace kwo::synthetic
