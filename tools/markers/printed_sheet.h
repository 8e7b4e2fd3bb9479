#pragma once

// Printable sheets drawn with cairo in millimetres: the same drawing goes to
// a PDF page at true size and to a picture of the page for a quick look.
// Files are made whole in memory and then written, so a failure (a full
// disk too) is noticed and says why.

#include <functional>
#include <string>

typedef struct _cairo cairo_t;
typedef struct _cairo_surface cairo_surface_t;

namespace kwo::markers {

// Draws a sheet on a cairo context whose unit is the millimetre.
using SheetPainter = std::function<void(cairo_t*)>;

// Writes a one-page PDF of widthMm x heightMm millimetres. False when the
// file cannot be written, with the reason (kwo::writeFailureReason) in
// `reason`.
bool writePdfSheet(const std::string& path, double widthMm, double heightMm, const SheetPainter& paint,
                   std::string* reason = nullptr);

// Draws page `page` (from 0) of a sheet of several pages.
using PagePainter = std::function<void(cairo_t*, int page)>;

// Writes a PDF of `pages` pages, each widthMm x heightMm millimetres.
bool writePdfPages(const std::string& path, double widthMm, double heightMm, int pages, const PagePainter& paint,
                   std::string* reason = nullptr);

// Writes a PNG picture of the page at `pixelsPerMm`.
bool writeSheetPicture(const std::string& path, double widthMm, double heightMm, double pixelsPerMm,
                       const SheetPainter& paint, std::string* reason = nullptr);

// Writes a PNG of an image surface, as writePdfSheet writes its PDF.
bool writePngFile(const std::string& path, cairo_surface_t* surface, std::string* reason = nullptr);

// Cut marks just outside the corners of the rectangle (x, y, w, h), in
// millimetres, in the current source colour.
void drawCutMarks(cairo_t* cairo, double x, double y, double w, double h);

} // namespace kwo::markers
