#pragma once

// The artwork inside a marker: loaded from a picture (or the inside of a
// picture of a whole marker) or set in a bold font, always a square of white
// paper with the picture fitted and centred in it or cut to its middle, and
// the printed square drawn around it.

#include <opencv2/core.hpp>

#include <optional>
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
    // Where the picture itself lies in `pixels`; the rest is white paper
    // added to make it square. The whole square when nothing was added.
    cv::Rect picture;
    // The picture was a whole marker (a black square with a border of a
    // quarter of its side) and `pixels` is its inside.
    bool markerInside = false;
};

// How a picture that is not square becomes square artwork.
enum class Fit {
    Pad,  // the whole picture, with white paper beside it
    Crop, // the middle square of the picture
};

struct PictureOptions {
    Fit fit = Fit::Pad;
    // Take the whole picture even when it already is a whole marker.
    bool wholePicture = false;
};

// Reads a picture (PNG, JPEG or another format GdkPixbuf knows), turned as
// its EXIF orientation says, transparency composited over white. A picture
// of a whole marker gives its inside (unless `options.wholePicture`); the
// rest is made square as `options.fit` says. False with a message naming the
// file when it cannot be read.
bool loadArtwork(const std::string& path, Artwork& artwork, std::string& error, const PictureOptions& options = {});

// Where a picture (CV_8UC4, composited over white) shows a whole marker: the
// inner half of a black square that fills most of the picture, whose border
// (a quarter of its side all round) is black, with light paper or nothing
// around it and something light inside. Nothing when it shows none.
std::optional<cv::Rect> markerInside(const cv::Mat& picture);

// How much of the artwork's edge is a dark frame (0 to 1: the share of dark
// pixels in its outer tenth all round): a frame looks the same every way up.
double darkFrameShare(const Artwork& artwork);

// A letter or short word in a bold sans-serif font, black on white, as large
// as fits the square with a small margin. False with a message when the text
// shows no ink (spaces only, or no glyph in any installed font).
bool textArtwork(const std::string& text, Artwork& artwork, std::string& error);

// True when every pixel of the picture has the same colour (the paper added
// beside it aside): a marker with nothing inside, which the tracker matches
// to nothing, or only the added paper's bands, which look the same upside
// down.
bool isBlank(const Artwork& artwork);

// Draws the printed marker: a black square of `side` with its upper-left
// corner at (x, y) in the context's units, the artwork filling its inner
// half (a black border of a quarter of the side all round).
void drawMarker(cairo_t* cairo, const Artwork& artwork, double x, double y, double side);

// The printed square edge to edge as a picture of side x side pixels
// (CV_8UC4, blue, green, red, pad).
cv::Mat renderMarker(const Artwork& artwork, int side);

} // namespace kwo::make_marker
