#pragma once

// The project's own marker designs: a black square whose inner half holds a
// bold white silhouette on a 4x4 grid. The silhouettes were chosen by an
// exhaustive search over connected 4x4 shapes so that each differs from its
// own turns (the direction stays clear) and from the other three at every turn
// (the best cross-correlation is 0.24, the matcher's cut is 0.5).

#include "tracking/ar/patterns.h"

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

typedef struct _cairo cairo_t;

namespace kwo::markers {

struct MarkerDesign {
    std::string name;
    // Grid cells, bit (row * 4 + column) set for ink; row 0 at the top.
    std::uint16_t cells;
};

// Quillmoth, Brackenjaw, Sliverfin, Mossglider, in that order.
const std::vector<MarkerDesign>& markerDesigns();
// The design of that name, or null.
const MarkerDesign* findDesign(const std::string& name);

// The printed square, edge to edge, as a grey picture of side x side pixels
// (0 ink, 255 paper).
cv::Mat renderDesign(const MarkerDesign& design, int side);

// Draws the printed square with its upper-left corner at (x, y), in the
// cairo context's units.
void drawDesign(cairo_t* cairo, const MarkerDesign& design, double x, double y, double side);

// The pattern file of a printed square (a grey or BGR picture of the whole
// square): the inner half averaged into 16x16 cells, as the detector samples a
// head-on view, with paper at 240 and ink at 16 as a camera sees them.
kwo::ar::PatternFile patternFromPicture(const cv::Mat& picture);

} // namespace kwo::markers
