#include "tools/synthetic/clutter.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <string>

namespace kwo::synthetic {
namespace {

cv::Scalar dark(cv::RNG& rng) {
    const int grey = rng.uniform(5, 70);
    return cv::Scalar(grey + rng.uniform(-5, 6), grey, grey + rng.uniform(-5, 6));
}

std::string randomWord(cv::RNG& rng) {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string word;
    const int length = rng.uniform(2, 9);
    for (int i = 0; i < length; ++i) word += letters[rng.uniform(0, static_cast<int>(sizeof letters) - 1)];
    return word;
}

// A decoy: black border of a quarter of the side around 4x4 random cells,
// drawn through a random perspective; returns its outer corners.
std::array<cv::Point2d, 4> drawDecoy(cv::Mat& picture, cv::RNG& rng, int side) {
    const int cells = 4;
    const int texture = 64; // pixels of the flat decoy
    cv::Mat flat(texture, texture, CV_8UC3, cv::Scalar(20, 20, 20));
    const int inner0 = texture / 4, cell = texture / 2 / cells;
    // Some decoys are nearly blank inside: one or two dark cells.
    const bool nearlyBlank = rng.uniform(0, 4) == 0;
    for (int y = 0; y < cells; ++y)
        for (int x = 0; x < cells; ++x) {
            const bool white = nearlyBlank ? rng.uniform(0, 8) != 0 : rng.uniform(0, 2) == 0;
            if (white)
                cv::rectangle(flat, cv::Rect(inner0 + x * cell, inner0 + y * cell, cell, cell), cv::Scalar(235, 235, 235),
                              cv::FILLED);
        }
    // Corners: a square of about `side`, turned, squashed and skewed.
    const cv::Point2d centre(rng.uniform(side, picture.cols - side), rng.uniform(side, picture.rows - side));
    const double angle = rng.uniform(0.0, 2 * CV_PI);
    const double squash = rng.uniform(0.55, 1.0);
    std::array<cv::Point2d, 4> corners;
    for (int i = 0; i < 4; ++i) {
        const double a = angle + i * CV_PI / 2;
        const double reach = side / std::sqrt(2.0) * rng.uniform(0.9, 1.1);
        cv::Point2d p(std::cos(a) * reach, std::sin(a) * reach * squash);
        corners[i] = centre + p;
    }
    const cv::Point2f from[4] = {{0, 0}, {texture, 0}, {texture, texture}, {0, texture}};
    cv::Point2f to[4];
    for (int i = 0; i < 4; ++i) to[i] = cv::Point2f(static_cast<float>(corners[i].x), static_cast<float>(corners[i].y));
    const cv::Mat h = cv::getPerspectiveTransform(from, to);
    cv::Mat warped, mask;
    cv::warpPerspective(flat, warped, h, picture.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0, 0, 0));
    cv::Mat white(texture, texture, CV_8U, cv::Scalar(255));
    cv::warpPerspective(white, mask, h, picture.size(), cv::INTER_NEAREST, cv::BORDER_CONSTANT, cv::Scalar(0));
    warped.copyTo(picture, mask);
    return corners;
}

} // namespace

Clutter clutteredBackground(int width, int height, std::uint32_t seed) {
    cv::RNG rng(seed * 2654435761u + 12345u);
    Clutter clutter;
    cv::Mat& picture = clutter.picture;
    picture.create(height, width, CV_8UC3);
    // Light table top with a soft grain.
    picture.setTo(cv::Scalar(170, 180, 190));
    for (int y = 0; y < height; y += 4) {
        const int shade = rng.uniform(-15, 15);
        cv::line(picture, {0, y}, {width, y + rng.uniform(-10, 10)}, cv::Scalar(170 + shade, 180 + shade, 190 + shade), 3);
    }
    const double scale = width / 640.0;
    // Printed text: lines of words, different sizes.
    const int lines = rng.uniform(3, 9);
    for (int i = 0; i < lines; ++i) {
        cv::Point at(rng.uniform(0, width - 40), rng.uniform(10, height));
        const double size = rng.uniform(0.35, 1.6) * scale + 0.2;
        const int thickness = std::max(1, static_cast<int>(size * rng.uniform(1.0, 2.5)));
        std::string text;
        for (int w = rng.uniform(1, 6); w > 0; --w) text += randomWord(rng) + " ";
        cv::putText(picture, text, at, rng.uniform(0, 2) ? cv::FONT_HERSHEY_SIMPLEX : cv::FONT_HERSHEY_DUPLEX, size,
                    dark(rng), thickness, cv::LINE_AA);
    }
    // Thin strokes: straight, bent, and closed outlines.
    const int strokes = rng.uniform(6, 20);
    for (int i = 0; i < strokes; ++i) {
        std::vector<cv::Point> points;
        const int bends = rng.uniform(1, 6);
        cv::Point p(rng.uniform(0, width), rng.uniform(0, height));
        points.push_back(p);
        for (int k = 0; k < bends; ++k) {
            p += cv::Point(static_cast<int>(rng.uniform(-120, 120) * scale), static_cast<int>(rng.uniform(-120, 120) * scale));
            points.push_back(p);
        }
        cv::polylines(picture, points, rng.uniform(0, 4) == 0, dark(rng), rng.uniform(1, 5), cv::LINE_AA);
    }
    // Dark blobs: discs, filled rectangles and triangles.
    const int blobs = rng.uniform(2, 8);
    for (int i = 0; i < blobs; ++i) {
        const cv::Point c(rng.uniform(0, width), rng.uniform(0, height));
        const int r = static_cast<int>(rng.uniform(4, 30) * scale) + 2;
        switch (rng.uniform(0, 3)) {
        case 0: cv::circle(picture, c, r, dark(rng), cv::FILLED, cv::LINE_AA); break;
        case 1: {
            const cv::RotatedRect box(c, cv::Size2f(static_cast<float>(r * 2), static_cast<float>(r * rng.uniform(0.3, 2.0))),
                                      static_cast<float>(rng.uniform(0, 180)));
            cv::Point2f v[4];
            box.points(v);
            std::vector<cv::Point> poly(v, v + 4);
            cv::fillConvexPoly(picture, poly, dark(rng), cv::LINE_AA);
            break;
        }
        default: {
            std::vector<cv::Point> poly{c, c + cv::Point(r, rng.uniform(-r, r)), c + cv::Point(rng.uniform(-r, r), r)};
            cv::fillConvexPoly(picture, poly, dark(rng), cv::LINE_AA);
        }
        }
    }
    // Decoy squares.
    const int decoys = rng.uniform(1, 4);
    for (int i = 0; i < decoys; ++i)
        clutter.decoys.push_back(drawDecoy(picture, rng, static_cast<int>(rng.uniform(24, 70) * scale) + 12));
    cv::GaussianBlur(picture, picture, cv::Size(0, 0), 0.7);
    return clutter;
}

bool isOnDecoy(const Clutter& clutter, const double corners[4][2], double tolerance) {
    for (const auto& decoy : clutter.decoys) {
        const std::vector<cv::Point2f> polygon(decoy.begin(), decoy.end());
        bool all = true;
        for (int i = 0; i < 4 && all; ++i)
            all = cv::pointPolygonTest(polygon, cv::Point2f(static_cast<float>(corners[i][0]), static_cast<float>(corners[i][1])),
                                       true) >= -tolerance;
        if (all) return true;
    }
    return false;
}

} // namespace kwo::synthetic
