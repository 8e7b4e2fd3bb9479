#pragma once

// The artwork inside a marker: loaded from a picture or set in a bold font,
// always a square of white paper with the picture fitted and centred in it,
// and the printed square drawn around it.

#include <opencv2/core.hpp>

#include <string>

typedef struct _cairo cairo_t;

namespace kwo::make_marker {

// Artwork is kept at this side at most (pixels); larger pictures are scaled
// down on loading. At 83 mm the inner half then prints at about 600 dpi.
constexpr int artworkSide = 1024;

// The artwork: a square CV_8UC4 picture, bytes blue, green, red, pad (the
// layout cairo's RGB24 images use), white where the artwork leaves paper.
struct Artwork {
    cv::Mat pixels;
};

// Reads a picture (PNG, JPEG or another format GdkPixbuf knows), turned as
// its EXIF orientation says, transparency composited over white, fitted into
// a square. False with a message naming the file when it cannot be read.
bool loadArtwork(const std::string& path, Artwork& artwork, std::string& error);

// A letter or short word in a bold sans-serif font, black on white, as large
// as fits the square with a small margin. False with a message when the text
// shows no ink (spaces only, or no glyph in any installed font).
bool textArtwork(const std::string& text, Artwork& artwork, std::string& error);

// True when every pixel of the artwork has the same colour: a marker with
// nothing inside, which the tracker matches to nothing.
bool isBlank(const Artwork& artwork);

// Draws the printed marker: a black square of `side` with its upper-left
// corner at (x, y) in the context's units, the artwork filling its inner
// half (a black border of a quarter of the side all round).
void drawMarker(cairo_t* cairo, const Artwork& artwork, double x, double y, double side);

// The printed square edge to edge as a picture of side x side pixels
// (CV_8UC4, blue, green, red, pad).
cv::Mat renderMarker(const Artwork& artwork, int side);

} // namespace kwo::make_marker
