#include "tools/markers/sheet.h"

#include "tools/markers/printed_sheet.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kwo::markers {

namespace {

constexpr double a4Width = 210, a4Height = 297;
constexpr double captionRoom = 22; // top of the first row of cells
constexpr double nameRoom = 8;     // below each square, for its name
constexpr double rowGap = 6;
constexpr double bottomRoom = 10;

struct Pages {
    double width, height;
    int columns, rows;
    double cellWidth, cellHeight;
    int count;
};

Pages planPages(const SheetLayout& layout, std::size_t markers) {
    Pages pages{};
    pages.cellWidth = layout.markerMillimetres + 2 * layout.quietZone;
    pages.cellHeight = layout.markerMillimetres + 2 * layout.quietZone + nameRoom;
    pages.width = a4Width;
    pages.height = a4Height;
    pages.columns = static_cast<int>(std::floor(a4Width / pages.cellWidth));
    pages.rows = static_cast<int>(std::floor((a4Height - captionRoom - bottomRoom + rowGap) / (pages.cellHeight + rowGap)));
    if (pages.columns < 1 || pages.rows < 1) {
        // Larger than A4 can hold: one marker to a page of its own size.
        pages.columns = pages.rows = 1;
        pages.width = std::max(a4Width, pages.cellWidth + 12);
        pages.height = captionRoom + pages.cellHeight + bottomRoom;
    }
    const std::size_t perPage = static_cast<std::size_t>(pages.columns) * pages.rows;
    pages.count = static_cast<int>(std::max<std::size_t>(1, (markers + perPage - 1) / perPage));
    return pages;
}

// One page, drawn in millimetres on any cairo context.
void drawPage(cairo_t* cairo, const std::vector<SheetMarker>& markers, const SheetLayout& layout, const Pages& pages,
              int page) {
    cairo_set_source_rgb(cairo, 1, 1, 1);
    cairo_paint(cairo);
    cairo_set_source_rgb(cairo, 0, 0, 0);
    cairo_select_font_face(cairo, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);

    char caption[160];
    std::snprintf(caption, sizeof caption,
                  "Markers: print at 100 %% (no fit to page); each black square must measure %g mm.",
                  layout.markerMillimetres);
    cairo_set_font_size(cairo, 3.5);
    cairo_move_to(cairo, 12, 12);
    cairo_show_text(cairo, caption);

    const double left = (pages.width - pages.columns * pages.cellWidth) / 2;
    const std::size_t perPage = static_cast<std::size_t>(pages.columns) * pages.rows;
    for (std::size_t slot = 0; slot < perPage; ++slot) {
        const std::size_t i = page * perPage + slot;
        if (i >= markers.size()) break;
        const double x = left + (slot % pages.columns) * pages.cellWidth;
        const double y = captionRoom + (slot / pages.columns) * (pages.cellHeight + rowGap);
        markers[i].draw(cairo, x + layout.quietZone, y + layout.quietZone, layout.markerMillimetres);
        cairo_set_source_rgb(cairo, 0, 0, 0);
        cairo_set_font_size(cairo, 5);
        cairo_text_extents_t extents;
        cairo_text_extents(cairo, markers[i].name.c_str(), &extents);
        cairo_move_to(cairo, x + pages.cellWidth / 2 - extents.width / 2 - extents.x_bearing,
                      y + layout.quietZone + layout.markerMillimetres + 9);
        cairo_show_text(cairo, markers[i].name.c_str());
        drawCutMarks(cairo, x, y, pages.cellWidth, pages.cellHeight);
    }
}

bool failWith(std::string* error, const std::string& reason) {
    if (error) *error = reason;
    return false;
}

} // namespace

bool writeSheetPdf(const std::string& path, const std::vector<SheetMarker>& markers, const SheetLayout& layout,
                   std::string* error) {
    const Pages pages = planPages(layout, markers.size());
    std::string reason;
    const bool ok = writePdfPages(
        path, pages.width, pages.height, pages.count,
        [&](cairo_t* cairo, int page) { drawPage(cairo, markers, layout, pages, page); }, &reason);
    return ok ? true : failWith(error, reason);
}

bool writeSheetPng(const std::string& path, const std::vector<SheetMarker>& markers, const SheetLayout& layout,
                   double pixelsPerMillimetre, std::string* error) {
    const Pages pages = planPages(layout, markers.size());
    std::string reason;
    const bool ok = writeSheetPicture(
        path, pages.width, pages.height, pixelsPerMillimetre,
        [&](cairo_t* cairo) { drawPage(cairo, markers, layout, pages, 0); }, &reason);
    return ok ? true : failWith(error, reason);
}

bool writeMarkerPng(const std::string& path, const DrawMarker& draw, int side, int margin, bool crisp,
                    std::string* error) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, side + 2 * margin, side + 2 * margin);
    cairo_t* cairo = cairo_create(surface);
    cairo_set_source_rgb(cairo, 1, 1, 1);
    cairo_paint(cairo);
    if (crisp) cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);
    draw(cairo, margin, margin, side);
    cairo_destroy(cairo);
    std::string reason;
    const bool ok = writePngFile(path, surface, &reason);
    cairo_surface_destroy(surface);
    return ok ? true : failWith(error, reason);
}

} // namespace kwo::markers
