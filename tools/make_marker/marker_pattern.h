#pragma once

// The pattern of a marker and the two checks a new pattern must pass, in the
// tracker's own terms: its sampling of a square's inner half into 16x16
// colour cells, and its matching measure (the cosine of inverted,
// mean-removed samples, best orientation).

#include "tools/make_marker/marker_art.h"
#include "tracking/ar/image.h"
#include "tracking/ar/patterns.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace kwo::make_marker {

// The pattern of a printed marker seen head-on: the marker rendered at 128
// pixels, where the detector reads one pixel per sample (64 per axis, 4 x 4
// per cell), softened as a camera's optics soften it, and sampled by the
// detector's own code; paper at 240 and ink at 16, as a camera sees them and
// as the project's own patterns are recorded.
kwo::ar::PatternFile patternFromArtwork(const Artwork& artwork);

// The pattern of a square seen in a frame (top row first): its corners
// `vertex` in the tracker's ideal pixels, `distFactor` its lens distortion.
// The corner nearest the frame's upper-left becomes the pattern's upper-left,
// so a marker held upright trains upright. Raw intensities, as the camera
// gives them. False when the square's inside leaves the frame.
bool patternFromSquare(const kwo::ar::FrameView& frame, const double distFactor[4], const double vertex[4][2],
                       kwo::ar::PatternFile& pattern);

// How well the pattern matches its own turns by 90, 180 and 270 degrees: the
// direction of a marker whose turn matches about as well as itself cannot be
// told.
std::array<double, 3> turnMatches(const kwo::ar::PatternFile& pattern);

// The same judged on the picture alone, for artwork with white paper added
// beside the picture (`picture` within the artwork's `side` x `side`
// pixels): the paper's bands look the same turned by half a turn and would
// make any picture look alike. How far the tracker's match with a turn falls
// below 1 (the margin by which it tells the turn apart; the paper adds as
// much to both matches) is measured against the picture's own contrast, so a
// picture without padding gets the tracker's figures. Nothing when the
// picture has no contrast of its own.
std::optional<std::array<double, 3>> pictureTurnMatches(const kwo::ar::PatternFile& pattern, const cv::Rect& picture,
                                                        int side);

// True when every value of the pattern's first block is the same (a blank
// picture): the tracker matches nothing to it.
bool isFlat(const kwo::ar::PatternFile& pattern);

// The best match of the new pattern's upright view against every
// orientation of another pattern (what the tracker would answer when shown
// the new marker with only the other one loaded).
double bestMatch(const kwo::ar::PatternFile& shown, const kwo::ar::PatternFile& other);

} // namespace kwo::make_marker
