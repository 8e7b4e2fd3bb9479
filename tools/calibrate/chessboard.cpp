#include "tools/calibrate/chessboard.h"

#include "tools/markers/printed_sheet.h"

#include <cairo.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kwo::calibrate {

namespace {
constexpr double captionRoomMm = 14; // above the board's white margin
} // namespace

std::vector<cv::Point3f> Chessboard::cornerPositions() const {
    std::vector<cv::Point3f> corners;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            corners.emplace_back(static_cast<float>((c + 1) * squareMm), static_cast<float>((r + 1) * squareMm), 0.0f);
    return corners;
}

void refineCorners(const cv::Mat& grey, cv::Size innerCorners, std::vector<cv::Point2f>& corners) {
    if (corners.size() != static_cast<std::size_t>(innerCorners.area())) return;
    double shortest = INFINITY;
    const auto at = [&](int c, int r) { return corners[static_cast<std::size_t>(r * innerCorners.width + c)]; };
    for (int r = 0; r < innerCorners.height; ++r)
        for (int c = 0; c < innerCorners.width; ++c) {
            if (c + 1 < innerCorners.width) shortest = std::min(shortest, cv::norm(at(c, r) - at(c + 1, r)));
            if (r + 1 < innerCorners.height) shortest = std::min(shortest, cv::norm(at(c, r) - at(c, r + 1)));
        }
    const int half = std::clamp(static_cast<int>(shortest / 3), 2, 10);
    cv::cornerSubPix(grey, corners, {half, half}, {-1, -1},
                     cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100, 1e-4));
}

std::optional<cv::Size> parseCornerCount(const std::string& text) {
    int columns = 0, rows = 0, consumed = 0;
    if (std::sscanf(text.c_str(), "%3d%*[x]%3d%n", &columns, &rows, &consumed) != 2 ||
        consumed != static_cast<int>(text.size()))
        return std::nullopt;
    if (columns < 3 || rows < 3 || columns > 30 || rows > 30) return std::nullopt;
    return cv::Size(columns, rows);
}

bool fitsOnPage(const Chessboard& board, std::string* why) {
    // Printers leave about 5 mm unprinted at each edge.
    const double usableW = pageWidthMm - 10, usableH = pageHeightMm - 10 - captionRoomMm;
    const double needW = board.widthMm() + 2 * board.squareMm, needH = board.heightMm() + 2 * board.squareMm;
    if (needW <= usableW && needH <= usableH) return true;
    if (why) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "the board with its white margin measures %.0f x %.0f mm; an A4 page has room for %.0f x %.0f mm",
                      needW, needH, usableW, usableH);
        *why = text;
    }
    return false;
}

cv::Point2d boardOriginOnPage(const Chessboard& board) {
    // Centred below the caption, inside a white margin of one square.
    const double outerW = board.widthMm() + 2 * board.squareMm, outerH = board.heightMm() + 2 * board.squareMm;
    const double left = (pageWidthMm - outerW) / 2;
    const double top = 5 + captionRoomMm + (pageHeightMm - 10 - captionRoomMm - outerH) / 2;
    return {left + board.squareMm, top + board.squareMm};
}

void drawBoardPage(cairo_t* cairo, const Chessboard& board) {
    cairo_set_source_rgb(cairo, 1, 1, 1);
    cairo_paint(cairo);
    cairo_set_source_rgb(cairo, 0, 0, 0);

    const double square = board.squareMm;
    const double outerW = board.widthMm() + 2 * square, outerH = board.heightMm() + 2 * square;
    const cv::Point2d origin = boardOriginOnPage(board);
    const double left = origin.x - square, top = origin.y - square;

    cairo_select_font_face(cairo, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cairo, 3.5);
    char line[200];
    std::snprintf(line, sizeof line, "Calibration board, %d x %d inner corners. Print at 100 %% (no fit to page):",
                  board.columns, board.rows);
    cairo_move_to(cairo, left, top - 8);
    cairo_show_text(cairo, line);
    std::snprintf(line, sizeof line, "each square must measure %g mm. Glue it flat on stiff card; keep the white border.",
                  square);
    cairo_move_to(cairo, left, top - 3);
    cairo_show_text(cairo, line);

    const double x0 = origin.x, y0 = origin.y;
    cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);
    for (int r = 0; r <= board.rows; ++r)
        for (int c = 0; c <= board.columns; ++c)
            if ((r + c) % 2 == 0) cairo_rectangle(cairo, x0 + c * square, y0 + r * square, square, square);
    cairo_fill(cairo);
    cairo_set_antialias(cairo, CAIRO_ANTIALIAS_DEFAULT);
    kwo::markers::drawCutMarks(cairo, left, top, outerW, outerH);
}

cv::Mat boardPicture(const Chessboard& board, int pixelsPerSquare) {
    const int squaresW = board.columns + 3, squaresH = board.rows + 3;
    cv::Mat picture(squaresH * pixelsPerSquare, squaresW * pixelsPerSquare, CV_8U, cv::Scalar(255));
    for (int r = 0; r <= board.rows; ++r)
        for (int c = 0; c <= board.columns; ++c)
            if ((r + c) % 2 == 0)
                picture(cv::Rect((c + 1) * pixelsPerSquare, (r + 1) * pixelsPerSquare, pixelsPerSquare, pixelsPerSquare))
                    .setTo(0);
    return picture;
}

} // namespace kwo::calibrate
