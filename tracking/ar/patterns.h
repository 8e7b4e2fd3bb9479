#pragma once

// Template patterns: the text file format, the in-memory template the matcher
// compares with, and the comparison itself.

#include <array>
#include <cstddef>
#include <string>

namespace kwo::ar {

constexpr int patternSide = 16;                                 // cells per side
constexpr int patternValues = 3 * patternSide * patternSide;    // per orientation

// The four orientation blocks of a pattern file: blocks[d][plane][row][column],
// planes blue, green, red, raw intensities 0..255 (paper white about 240).
// Block d + 1 is block d turned 90 degrees counter-clockwise.
struct PatternFile {
    unsigned char blocks[4][3][patternSide][patternSide] = {};
};

// Largest pattern file read (a real one is about 12 kB).
constexpr std::size_t patternFileLimit = 64 * 1024;

// Reads a pattern file; false with a message naming the file when it is
// missing or unreadable, larger than patternFileLimit, holds anything but
// 3072 integers of 0..255, or is cut short.
bool readPatternFile(const std::string& path, PatternFile& pattern, std::string* error = nullptr);
bool writePatternFile(const std::string& path, const PatternFile& pattern, std::string* error = nullptr);

// Fills blocks 1..3 from block 0 by turning it counter-clockwise.
void fillRotations(PatternFile& pattern);

// One orientation as the matcher holds it: inverted (255 - v), the integer
// mean removed, and its length.
struct PatternTemplate {
    std::array<std::array<double, patternValues>, 4> values{};
    std::array<double, 4> norm{};
    // Facts the blurred comparison needs of every orientation alike: the
    // printed ink's value (the highest), and whether the three colour
    // planes are equal (a black and white design).
    double ink = 0;
    bool grey = false;
    // Where the pattern's mean lies between its ink (0) and its paper (1):
    // near 1 for a design of a few dark strokes on white.
    double paperShare = 0;
};

PatternTemplate makeTemplate(const PatternFile& pattern);

// Cells of a sample that show something other than print (ink or paper):
// a finger over a card, coloured where a black and white design has none.
struct UnprintedCells {
    bool cell[patternSide * patternSide] = {};
    int count = 0;
};

// Best match of a sample (768 raw intensities in the order of a block) over
// templates and orientations: the first maximum wins. `cf` is -1 for a flat
// sample or an empty table, and `slot`/`dir` are then -1/0.
//
// `contradiction` tells whether the best template holds in every part of the
// sample, not only on the whole: the sample and the template are both cut
// into 4x4 blocks of 4x4 cells, the sample's block means are fitted to the
// template's with one contrast and offset, and the largest misfit of a block
// is given in parts of the template's full contrast (ink to paper).
struct Match {
    int slot = -1;
    int dir = 0;
    double cf = -1;
    double contradiction = 0;
    bool blurred = false; // compared with the template blurred as the camera shows it
    // How strongly the sample shows the template: the factor that scales
    // the template's deviations from its mean to the sample's (cf times the
    // ratio of their lengths). On a sample put on the print's own scale
    // (normaliseShading) a marker shows its pattern at about 1; the flat
    // inside of a dark window or a blank square matches a pattern only by
    // faint shades of grey, far below.
    double gain = 0;
};

// By how much the worst block's misfit must stay below the whole sample's
// cf. Blur, noise, uneven light, a steep view and corners a pixel off spoil
// every part of a real marker's sample a little: its worst block misfits by
// 0.25 or more less than its cf. A square with other content that resembles
// the pattern as a whole (a grid a few cells off a design) misfits where it
// differs by about its cf or more.
constexpr double contradictionMargin = 0.15;

// The same margin for a comparison with the template blurred as the camera
// shows it (Match::blurred). Blurring explains much of any small square's
// sample, a decoy grid's too, and lifts its cf: such a match must hold in
// every block by a wider margin. A real marker compared so fits its blocks
// closely (its misfit stays well below cf - 0.5).
constexpr double blurredContradictionMargin = 0.5;

// Whether a match names its pattern: confident enough, and not contradicted
// by a part of the sample.
inline bool namesPattern(const Match& match, double confidenceCut) {
    const double margin = match.blurred ? blurredContradictionMargin : contradictionMargin;
    return match.slot >= 0 && match.cf >= confidenceCut && match.contradiction <= match.cf - margin;
}

// How the camera's blur spreads over the cells of a sample of a square in
// the frame: a cell (dx, dy) cells away from another weighs
// exp(-(xx dx^2 + 2 xy dx dy + yy dy^2) / 2) in its value. The form is the
// squared length, in blur widths, of a move across the cells; all zero
// stands for cells far larger than the blur (a pattern file compared with
// another, a large square).
struct CellBlur {
    double xx = 0, xy = 0, yy = 0;
};

// With `blur`, each template is compared as the camera shows it at the
// square's size: its cells blurred over their neighbours, the marker's ink
// border beyond its edge. The cells of a small or steeply seen square span a
// pixel or less, so its sample is a blurred version of the sharp template:
// compared with the sharp one its cf falls with its size for no fault of
// the picture, and its blocks seem to misfit where they only mix. Of the
// sharp and the blurred comparison, the one that holds in every block (see
// namesPattern) is returned, and of two that hold or two that do not, the
// higher cf: a sharp camera or a large square keeps its sharp match.
// `unprinted`, when given, marks cells of the sample that are no print
// (see square_light.h): the block check of a black and white design leaves
// the blocks they cover out.
Match matchSample(const double sample[patternValues], const PatternTemplate* templates, int count,
                  const CellBlur& blur = {}, const UnprintedCells* unprinted = nullptr);

// How a sample's grid of cells sits on a pattern's: the pattern's content
// appears moved by `x`, `y` cells and scaled by 1 + `scale` about the middle.
// A pattern recorded by another tool may have been sampled from corners a
// pixel or so off the printed ones, or half a pixel aside: its cells then
// cover a slightly different part of the print than ours do, and a sample
// matches it best taken from a grid moved the same way.
struct GridOffset {
    double x = 0, y = 0; // cells
    double scale = 0;    // relative
};

// Estimates the offset of `sample` (raw intensities of a pattern block) from
// orientation `dir` of `pattern` by one linearised least-squares step over
// the pattern's own gradients: valid for offsets of a fraction of a cell.
// False when the sample does not follow the pattern (no positive fit).
bool estimateGridOffset(const double sample[patternValues], const PatternTemplate& pattern, int dir,
                        GridOffset& offset);

// Cosine of two patterns' block 0 against every orientation of the other,
// the highest value (how alike two designs look to the matcher).
double bestCrossCorrelation(const PatternFile& a, const PatternFile& b);

} // namespace kwo::ar
