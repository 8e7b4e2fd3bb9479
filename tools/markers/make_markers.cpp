// Writes the marker set into a folder: one pattern file and one PNG per
// design, and "markers.pdf", an A4 sheet with every marker at true size (83 mm
// black square), its name and cut marks, with "markers-sheet.png", a picture
// of the sheet. Prints how alike the designs look to the matcher.
//
// usage: make_markers <output folder>

#include "tools/markers/designs.h"
#include "tools/markers/printed_sheet.h"

#include <cairo.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr double markerMillimetres = 83.0;

bool writePng(const kwo::markers::MarkerDesign& design, const std::string& path) {
    // The marker with a white quiet zone of a fifth of its side.
    const int side = 400, margin = 80;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, side + 2 * margin, side + 2 * margin);
    cairo_t* cairo = cairo_create(surface);
    cairo_set_source_rgb(cairo, 1, 1, 1);
    cairo_paint(cairo);
    cairo_set_antialias(cairo, CAIRO_ANTIALIAS_NONE);
    kwo::markers::drawDesign(cairo, design, margin, margin, side);
    cairo_destroy(cairo);
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return ok;
}

// The sheet, drawn in millimetres on any cairo context.
void drawSheet(cairo_t* cairo) {
    cairo_set_source_rgb(cairo, 1, 1, 1);
    cairo_paint(cairo);
    cairo_set_source_rgb(cairo, 0, 0, 0);
    cairo_select_font_face(cairo, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);

    cairo_set_font_size(cairo, 3.5);
    cairo_move_to(cairo, 12, 12);
    cairo_show_text(cairo, "Markers: print at 100 % (no fit to page); each black square must measure 83 mm.");

    // Two by two cells; each cut square leaves 8 mm of white around the black
    // square and room for the name below it.
    const double quiet = 8, nameRoom = 8;
    const double cellW = markerMillimetres + 2 * quiet, cellH = markerMillimetres + 2 * quiet + nameRoom;
    const double left = (210 - 2 * cellW) / 2, top = 22;
    const auto& designs = kwo::markers::markerDesigns();
    for (std::size_t i = 0; i < designs.size(); ++i) {
        const double x = left + (i % 2) * cellW, y = top + (i / 2) * (cellH + 6);
        kwo::markers::drawDesign(cairo, designs[i], x + quiet, y + quiet, markerMillimetres);
        cairo_set_font_size(cairo, 5);
        cairo_text_extents_t extents;
        cairo_text_extents(cairo, designs[i].name.c_str(), &extents);
        cairo_move_to(cairo, x + cellW / 2 - extents.width / 2 - extents.x_bearing, y + quiet + markerMillimetres + 9);
        cairo_show_text(cairo, designs[i].name.c_str());
        kwo::markers::drawCutMarks(cairo, x, y, cellW, cellH);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_markers <output folder>\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);

    const auto& designs = kwo::markers::markerDesigns();
    std::vector<kwo::ar::PatternFile> patterns;
    for (const auto& design : designs) {
        patterns.push_back(kwo::markers::patternFromPicture(kwo::markers::renderDesign(design, 512)));
        std::string message;
        const std::string patternPath = (folder / (design.name + ".pattern")).string();
        if (!kwo::ar::writePatternFile(patternPath, patterns.back(), &message)) {
            std::fprintf(stderr, "make_markers: %s\n", message.c_str());
            return 1;
        }
        const std::string pngPath = (folder / (design.name + ".png")).string();
        if (!writePng(design, pngPath)) {
            std::fprintf(stderr, "make_markers: cannot write '%s'\n", pngPath.c_str());
            return 1;
        }
    }
    const std::string sheetPath = (folder / "markers.pdf").string();
    if (!kwo::markers::writePdfSheet(sheetPath, 210, 297, drawSheet)) {
        std::fprintf(stderr, "make_markers: cannot write '%s'\n", sheetPath.c_str());
        return 1;
    }
    const std::string previewPath = (folder / "markers-sheet.png").string();
    // A picture of the sheet, to look at without a PDF viewer.
    if (!kwo::markers::writeSheetPicture(previewPath, 210, 297, 4, drawSheet)) {
        std::fprintf(stderr, "make_markers: cannot write '%s'\n", previewPath.c_str());
        return 1;
    }
    for (std::size_t a = 0; a < designs.size(); ++a)
        for (std::size_t b = a + 1; b < designs.size(); ++b)
            std::printf("%-10s %-10s best cross-correlation %.3f\n", designs[a].name.c_str(), designs[b].name.c_str(),
                        kwo::ar::bestCrossCorrelation(patterns[a], patterns[b]));
    return 0;
}
