#pragma once

// Printable sheets of markers at true size, and pictures of single markers:
// shared by the project's marker set and by markers made from artwork, so
// every sheet a station prints has the same layout, cut marks and advice.

#include <functional>
#include <string>
#include <vector>

typedef struct _cairo cairo_t;

namespace kwo::markers {

// Draws the printed square (black border and pattern) with its upper-left
// corner at (x, y) and the given side, in the cairo context's units.
using DrawMarker = std::function<void(cairo_t* cairo, double x, double y, double side)>;

struct SheetMarker {
    std::string name; // printed under the square
    DrawMarker draw;
};

// Sheet layout: A4 pages, each marker in a cell with `quietZone` mm of white
// around the black square and room for its name, as many cells per row and
// rows per page as fit; a marker too large for A4 gets a page of its own
// size. Every page says at what size the squares must print.
struct SheetLayout {
    double markerMillimetres = 83;
    double quietZone = 8;
};

// Writes the sheet as a PDF (true size); false with the reason in `error`
// when it cannot be written (kwo::writeFailureReason's words).
bool writeSheetPdf(const std::string& path, const std::vector<SheetMarker>& markers, const SheetLayout& layout,
                   std::string* error = nullptr);
// A picture of the sheet's first page at `pixelsPerMillimetre`.
bool writeSheetPng(const std::string& path, const std::vector<SheetMarker>& markers, const SheetLayout& layout,
                   double pixelsPerMillimetre, std::string* error = nullptr);

// A picture of one marker: the square at `side` pixels with a white quiet zone
// of `margin` pixels around it, drawn without anti-aliasing when `crisp`;
// false with the reason in `error`.
bool writeMarkerPng(const std::string& path, const DrawMarker& draw, int side, int margin, bool crisp,
                    std::string* error = nullptr);

} // namespace kwo::markers
