// Writes the marker set into a folder: one pattern file and one PNG per
// design, and "markers.pdf", an A4 sheet with every marker at true size (83 mm
// black square), its name and cut marks, with "markers-sheet.png", a picture
// of the sheet. Prints how alike the designs look to the matcher.
//
// usage: make_markers <output folder>

#include "tools/markers/designs.h"
#include "tools/markers/sheet.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

constexpr double markerMillimetres = 83.0;

kwo::markers::DrawMarker draw(const kwo::markers::MarkerDesign& design) {
    return [&design](cairo_t* cairo, double x, double y, double side) {
        kwo::markers::drawDesign(cairo, design, x, y, side);
    };
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
    std::vector<kwo::markers::SheetMarker> sheet;
    for (const auto& design : designs) {
        patterns.push_back(kwo::markers::patternFromPicture(kwo::markers::renderDesign(design, 512)));
        std::string message;
        const std::string patternPath = (folder / (design.name + ".pattern")).string();
        if (!kwo::ar::writePatternFile(patternPath, patterns.back(), &message)) {
            std::fprintf(stderr, "make_markers: %s\n", message.c_str());
            return 1;
        }
        // The marker with a white quiet zone of a fifth of its side.
        const std::string pngPath = (folder / (design.name + ".png")).string();
        if (!kwo::markers::writeMarkerPng(pngPath, draw(design), 400, 80, true, &message)) {
            std::fprintf(stderr, "make_markers: '%s' cannot be written: %s\n", pngPath.c_str(), message.c_str());
            return 1;
        }
        sheet.push_back({design.name, draw(design)});
    }
    kwo::markers::SheetLayout layout;
    layout.markerMillimetres = markerMillimetres;
    std::string message;
    // The sheet, and a picture of it at 4 pixels per millimetre to look at
    // without a PDF viewer.
    for (const std::string name : {"markers.pdf", "markers-sheet.png"}) {
        const std::string path = (folder / name).string();
        const bool written = name.ends_with(".pdf") ? kwo::markers::writeSheetPdf(path, sheet, layout, &message)
                                                    : kwo::markers::writeSheetPng(path, sheet, layout, 4, &message);
        if (!written) {
            std::fprintf(stderr, "make_markers: '%s' cannot be written: %s\n", path.c_str(), message.c_str());
            return 1;
        }
    }
    for (std::size_t a = 0; a < designs.size(); ++a)
        for (std::size_t b = a + 1; b < designs.size(); ++b)
            std::printf("%-10s %-10s best cross-correlation %.3f\n", designs[a].name.c_str(), designs[b].name.c_str(),
                        kwo::ar::bestCrossCorrelation(patterns[a], patterns[b]));
    return 0;
}
