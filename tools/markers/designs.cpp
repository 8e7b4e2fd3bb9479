#include "tools/markers/designs.h"

#include <cairo.h>
#include <opencv2/imgproc.hpp>

namespace kwo::markers {

const std::vector<MarkerDesign>& markerDesigns() {
    // '#' ink, '.' paper, rows from the top.
    static const std::vector<MarkerDesign> designs{
        {"Quillmoth", 0x413b},   // ##.# / ##.. / #... / ..#.
        {"Brackenjaw", 0x8517},  // ###. / #... / #.#. / ...#
        {"Sliverfin", 0x38c9},   // #..# / ..## / ...# / ##..
        {"Mossglider", 0x149b},  // ##.# / #..# / ..#. / #...
    };
    return designs;
}

const MarkerDesign* findDesign(const std::string& name) {
    for (const MarkerDesign& d : markerDesigns())
        if (d.name == name) return &d;
    return nullptr;
}

namespace {
bool isInk(const MarkerDesign& design, int row, int column) { return (design.cells >> (row * 4 + column)) & 1; }
} // namespace

cv::Mat renderDesign(const MarkerDesign& design, int side) {
    cv::Mat picture(side, side, CV_8U, cv::Scalar(0));
    // Pixel p covers [p, p + 1) of the square's side; the inner half starts
    // at a quarter of the side; each grid cell is an eighth.
    auto edge = [side](double fraction) { return static_cast<int>(std::lround(fraction * side)); };
    cv::Rect inner(edge(0.25), edge(0.25), edge(0.75) - edge(0.25), edge(0.75) - edge(0.25));
    picture(inner).setTo(255);
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            if (isInk(design, row, column)) {
                const int x0 = edge(0.25 + column / 8.0), x1 = edge(0.25 + (column + 1) / 8.0);
                const int y0 = edge(0.25 + row / 8.0), y1 = edge(0.25 + (row + 1) / 8.0);
                picture(cv::Rect(x0, y0, x1 - x0, y1 - y0)).setTo(0);
            }
    return picture;
}

void drawDesign(cairo_t* cairo, const MarkerDesign& design, double x, double y, double side) {
    cairo_save(cairo);
    cairo_set_source_rgb(cairo, 0, 0, 0);
    // Outer square minus the inner half (even-odd), then the ink cells, so
    // neighbouring cells join without hairline seams.
    cairo_set_fill_rule(cairo, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_rectangle(cairo, x, y, side, side);
    cairo_rectangle(cairo, x + side / 4, y + side / 4, side / 2, side / 2);
    cairo_fill(cairo);
    cairo_set_fill_rule(cairo, CAIRO_FILL_RULE_WINDING);
    const double cell = side / 8;
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            if (isInk(design, row, column))
                cairo_rectangle(cairo, x + side / 4 + column * cell, y + side / 4 + row * cell, cell, cell);
    cairo_fill(cairo);
    cairo_restore(cairo);
}

kwo::ar::PatternFile patternFromPicture(const cv::Mat& picture) {
    cv::Mat bgr;
    if (picture.channels() == 1) cv::cvtColor(picture, bgr, cv::COLOR_GRAY2BGR);
    else if (picture.channels() == 4) cv::cvtColor(picture, bgr, cv::COLOR_BGRA2BGR);
    else bgr = picture;
    const int w = bgr.cols, h = bgr.rows;
    kwo::ar::PatternFile pattern;
    for (int row = 0; row < kwo::ar::patternSide; ++row)
        for (int column = 0; column < kwo::ar::patternSide; ++column) {
            // Average of the picture over the cell (whole pixels; the pictures
            // are large compared with a cell).
            const int x0 = static_cast<int>(w * (0.25 + column / 32.0)), x1 = static_cast<int>(w * (0.25 + (column + 1) / 32.0));
            const int y0 = static_cast<int>(h * (0.25 + row / 32.0)), y1 = static_cast<int>(h * (0.25 + (row + 1) / 32.0));
            const cv::Scalar mean = cv::mean(bgr(cv::Rect(x0, y0, std::max(1, x1 - x0), std::max(1, y1 - y0))));
            for (int plane = 0; plane < 3; ++plane)
                pattern.blocks[0][plane][row][column] =
                    static_cast<unsigned char>(std::lround(16 + mean[plane] * (240.0 - 16.0) / 255.0));
        }
    kwo::ar::fillRotations(pattern);
    return pattern;
}

} // namespace kwo::markers
