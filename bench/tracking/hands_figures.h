#pragma once

// Figures of the tracker where visitors meet the station: cards half in a
// hard shadow, a finger over the pattern, real marker-free photos (rooms,
// chessboards, a street video) and real photos of printed markers. Beside
// each, the figure the original library gave on the same kind of input,
// where it is known.

#include <string>
#include <vector>

namespace kwo::bench {

// Our four designs on cards held face-on, the right or the bottom half of
// the picture (and so of each card) in a hard shadow that leaves 40 % of the
// light: 8 cards, each at every threshold.
struct ShadowRow {
    int threshold = 0;
    int cards = 0;
    int squares = 0; // found as a square with its corners right (named or not)
    int named = 0;   // named with the right pattern
};
std::vector<ShadowRow> shadowedCards(const std::vector<int>& thresholds);

// Cards in many poses (60-200 px, tilted up to 35 degrees) with a hard
// shadow edge across them at any angle, at thresholds 30 to 90: the squares
// of real markers that match their pattern with cf >= 0.5 and are left
// unnamed (refused), and the wrong names.
struct ShadowSweep {
    int renders = 0;        // cards times thresholds
    int squares = 0;        // found as a square with its corners right
    int named = 0;          // of those, named right
    int refused = 0;        // of those, cf >= 0.5 for the right pattern but left unnamed
    int wrong = 0;          // any wrong name, on the card or elsewhere
};
ShadowSweep shadowSweep(int cards);

// A finger-like occluder (a skin-coloured rounded stroke) over 30 % of the
// pattern, inside it (the border stays whole), on our four designs in
// many poses, at threshold 100.
struct OccluderFigures {
    int cards = 0;
    int squares = 0;
    int named = 0;
    int wrong = 0;
};
OccluderFigures occludedCards(int cards, double share);

// Cards seen whole, then held by a thumb reaching 30-100 % into the black
// border of one side while the hand drifts (up to 0.1 m/s, slight turns),
// then taken away; with the tracker's history, following broken outlines on
// or off.
struct ThumbFigures {
    int thumbFrames = 0;
    int named = 0;         // the card named
    int accurate = 0;      // named with translation error under 2 %
    int afterRemoval = 0;  // frames the id was still reported beyond the history's frames after the card left
    int wrong = 0;         // other ids on the card
};
ThumbFigures thumbSequences(int sequences, bool follow);

// False identifications on real photos and video frames without markers,
// per source, at threshold 100: with the sample patterns of other tools
// loaded (hiro, kanji, sample1, sample2), and with our four designs.
struct RealClutterRow {
    std::string source; // e.g. "photos (66)", "street video (159 frames)"
    int frames = 0;
    int squares = 0;       // squares found (any id)
    int samplePatterns = 0; // identifications with the sample patterns loaded
    int designs = 0;        // identifications with our designs loaded
};
// Empty when the photos are not installed (Debian's opencv-doc).
std::vector<RealClutterRow> realClutter(const std::string& folder);

// Real camera photos of printed markers: the best cf of each marker's own
// pattern on it, whether it was named, and the original's cf.
struct RealPhotoFigure {
    std::string photo, marker;
    double cf = -1;     // ours; -1: not found as a square
    bool named = false; // with the right id
    double original = 0;
};
// Empty when the photos or the sample patterns are missing.
std::vector<RealPhotoFigure> realPhotoFigures(const std::string& photoFolder, const std::string& sampleFolder);

} // namespace kwo::bench
