#pragma once

// The calibration board: a printed chessboard. OpenCV's chessboard finder
// locates its inner corners to a small fraction of a pixel, and the board
// needs nothing beyond a printer and a flat card.

#include <opencv2/core.hpp>

#include <optional>
#include <string>
#include <vector>

typedef struct _cairo cairo_t;

namespace kwo::calibrate {

struct Chessboard {
    // Inner corners (where four squares meet) along the long and the short
    // side; the board has one square more than that along each side.
    int columns = 9;
    int rows = 6;
    // Side of one printed square, millimetres: the default board with its
    // margin fits an A4 page.
    double squareMm = 20;

    cv::Size innerCorners() const { return {columns, rows}; }
    double widthMm() const { return (columns + 1) * squareMm; }
    double heightMm() const { return (rows + 1) * squareMm; }
    // The inner corners on the board in millimetres, row by row from the
    // upper left, as the finder reports them; z = 0.
    std::vector<cv::Point3f> cornerPositions() const;
};

// Moves the finder's corners (`innerCorners` across and down, in its order)
// onto the crossing of the squares' edges in the grey picture, to a small
// fraction of a pixel: the finder alone leaves about a third of a pixel of
// error on a blurred, noisy view, which biases the focal lengths. The window
// looked through is a third of the shortest distance between neighbouring
// corners, so it stays within the squares next to each corner however the
// board is tilted.
void refineCorners(const cv::Mat& grey, cv::Size innerCorners, std::vector<cv::Point2f>& corners);

// "9x6" as inner corners; nothing for text that is not two whole numbers of
// at least 3 and at most 30 with "x" between them.
std::optional<cv::Size> parseCornerCount(const std::string& text);

// The page a board is printed on: A4 landscape, millimetres.
constexpr double pageWidthMm = 297;
constexpr double pageHeightMm = 210;

// Whether the board with its white margin of one square and the caption fits
// on the page; else `why` says by how much it does not.
bool fitsOnPage(const Chessboard& board, std::string* why);

// Where the board's first square has its upper-left corner on the printed
// page, millimetres from the page's upper-left corner.
cv::Point2d boardOriginOnPage(const Chessboard& board);

// The printed page: the board centred with a white margin of one square
// (the finder needs the light border), a caption with the sizes to check
// after printing, and cut marks. Millimetres.
void drawBoardPage(cairo_t* cairo, const Chessboard& board);

// The board alone as a grey picture for rendering tests: `pixelsPerSquare`
// per square, with a white margin of one square around it.
cv::Mat boardPicture(const Chessboard& board, int pixelsPerSquare);

} // namespace kwo::calibrate
