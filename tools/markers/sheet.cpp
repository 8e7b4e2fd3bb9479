#include "tools/markers/sheet.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kwo::markers {

namespace {

constexpr double pointsPerMillimetre = 72.0 / 25.4;
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

void cutMarks(cairo_t* cairo, double x, double y, double w, double h) {
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
        cutMarks(cairo, x, y, pages.cellWidth, pages.cellHeight);
    }
}

bool failWith(std::string* error, const std::string& path, const char* what) {
    if (error) *error = std::string(what) + " '" + path + "' cannot be written";
    return false;
}

} // namespace

bool writeSheetPdf(const std::string& path, const std::vector<SheetMarker>& markers, const SheetLayout& layout,
                   std::string* error) {
    const Pages pages = planPages(layout, markers.size());
    cairo_surface_t* surface =
        cairo_pdf_surface_create(path.c_str(), pages.width * pointsPerMillimetre, pages.height * pointsPerMillimetre);
    cairo_t* cairo = cairo_create(surface);
    cairo_scale(cairo, pointsPerMillimetre, pointsPerMillimetre);
    for (int page = 0; page < pages.count; ++page) {
        drawPage(cairo, markers, layout, pages, page);
        cairo_show_page(cairo);
    }
    const bool ok = cairo_status(cairo) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cairo);
    cairo_surface_finish(surface);
    const bool finished = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok && finished ? true : failWith(error, path, "Sheet");
}

bool writeSheetPng(const std::string& path, const std::vector<SheetMarker>& markers, const SheetLayout& layout,
                   double pixelsPerMillimetre, std::string* error) {
    const Pages pages = planPages(layout, markers.size());
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(pages.width * pixelsPerMillimetre),
                                   static_cast<int>(pages.height * pixelsPerMillimetre));
    cairo_t* cairo = cairo_create(surface);
    cairo_scale(cairo, pixelsPerMillimetre, pixelsPerMillimetre);
    drawPage(cairo, markers, layout, pages, 0);
    cairo_destroy(cairo);
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok ? true : failWith(error, path, "Picture");
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
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok ? true : failWith(error, path, "Picture");
}

} // namespace kwo::markers
