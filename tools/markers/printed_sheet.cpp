#include "tools/markers/printed_sheet.h"

#include "files/write_file.h"

#include <cairo-pdf.h>
#include <cairo.h>

namespace kwo::markers {

namespace {

constexpr double pointsPerMillimetre = 72.0 / 25.4;

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

bool drawingFailed(std::string* reason) {
    if (reason) *reason = "the drawing failed";
    return false;
}

} // namespace

bool writePdfSheet(const std::string& path, double widthMm, double heightMm, const SheetPainter& paint,
                   std::string* reason) {
    return writePdfPages(path, widthMm, heightMm, 1, [&paint](cairo_t* cairo, int) { paint(cairo); }, reason);
}

bool writePdfPages(const std::string& path, double widthMm, double heightMm, int pages, const PagePainter& paint,
                   std::string* reason) {
    std::string bytes;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(
        appendBytes, &bytes, widthMm * pointsPerMillimetre, heightMm * pointsPerMillimetre);
    cairo_t* cairo = cairo_create(surface);
    cairo_scale(cairo, pointsPerMillimetre, pointsPerMillimetre);
    for (int page = 0; page < pages; ++page) {
        paint(cairo, page);
        cairo_show_page(cairo);
    }
    const bool ok = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cairo);
    cairo_surface_finish(surface);
    const bool finished = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok || !finished) return drawingFailed(reason);
    return writeWholeFile(path, bytes, reason);
}

bool writeSheetPicture(const std::string& path, double widthMm, double heightMm, double pixelsPerMm,
                       const SheetPainter& paint, std::string* reason) {
    cairo_surface_t* surface = cairo_image_surface_create(
        CAIRO_FORMAT_RGB24, static_cast<int>(widthMm * pixelsPerMm), static_cast<int>(heightMm * pixelsPerMm));
    cairo_t* cairo = cairo_create(surface);
    cairo_scale(cairo, pixelsPerMm, pixelsPerMm);
    paint(cairo);
    cairo_destroy(cairo);
    const bool ok = writePngFile(path, surface, reason);
    cairo_surface_destroy(surface);
    return ok;
}

bool writePngFile(const std::string& path, cairo_surface_t* surface, std::string* reason) {
    std::string bytes;
    if (cairo_surface_write_to_png_stream(surface, appendBytes, &bytes) != CAIRO_STATUS_SUCCESS)
        return drawingFailed(reason);
    return writeWholeFile(path, bytes, reason);
}

void drawCutMarks(cairo_t* cairo, double x, double y, double w, double h) {
    const double gap = 1.5, length = 5; // millimetres
    const double xs[2] = {x, x + w}, ys[2] = {y, y + h};
    cairo_set_line_width(cairo, 0.2);
    for (int i = 0; i < 2; ++i)
        for (int j = 0; j < 2; ++j) {
            const double cx = xs[i], cy = ys[j];
            const double sx = i == 0 ? -1 : 1, sy = j == 0 ? -1 : 1;
            cairo_move_to(cairo, cx + sx * gap, cy);
            cairo_line_to(cairo, cx + sx * (gap + length), cy);
            cairo_move_to(cairo, cx, cy + sy * gap);
            cairo_line_to(cairo, cx, cy + sy * (gap + length));
        }
    cairo_stroke(cairo);
}

} // namespace kwo::markers
