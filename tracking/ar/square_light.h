#pragma once

// The light on a square: how bright its printed black border and the paper
// just outside it are, at places all round. A shadow, a spotlight or a
// window makes the light differ across a card; the pattern inside is
// judged by what the print is (ink or paper), not by how it is lit, so the
// sample is put on the scale those two levels give at each of its cells.
// The same levels tell a printed marker, whose border has a light quiet
// zone round it and whose pattern is printed with the same ink on the same
// paper, from a dark window or a blank square that merely has four sides.

#include "tracking/ar/image.h"
#include "tracking/ar/patterns.h"

namespace kwo::ar {

struct SquareLight {
    static constexpr int placesPerSide = 6;
    // Per side (0: vertex 0 to 1, 1: vertex 1 to 2, 2: vertex 2 to 3,
    // 3: vertex 3 to 0), per place along it, per colour plane (blue,
    // green, red): the border's level and the paper's just outside.
    double ink[4][placesPerSide][3] = {};
    double paper[4][placesPerSide][3] = {};
    // Where the paper is clearly lighter than the border. A place is not
    // when something else lies outside the square there (a dark table, a
    // finger, the square is no printed marker), or its light is lost in
    // the frame's edge.
    bool valid[4][placesPerSide] = {};
    int validCount = 0;
    // Places whose border and paper both lie in the frame, valid or not.
    int seenCount = 0;
    // The largest paper-to-ink step of the valid places (blue + green +
    // red, 0..765): the print's full contrast where it is best lit.
    double contrast = 0;

    // A straight shadow edge across the square (a head or a hand between a
    // lamp and the card): the light round it steps down once and back up
    // once. Its two crossings of the outline, in unit-square coordinates
    // ((0,0) at vertex 0, (1,0) at vertex 1, (0,1) at vertex 3), and the
    // places on its lit side.
    bool shadowEdge = false;
    double edge[2][2] = {};
    bool lit[4][placesPerSide] = {};

    // Enough valid places all round to take the light from.
    bool measured() const { return validCount >= 2 * placesPerSide; }
    // Enough of the ring seen to tell that it is not a printed marker's:
    // most of it in the frame and yet too few places lighter outside than
    // on the border. Texture inside a dark coat or table makes closed
    // squares under a local threshold, with no paper round them.
    bool noQuietZone() const { return !measured() && seenCount >= 2 * placesPerSide; }
};

// Measures the light round the square with corners `vertex` (ideal pixels,
// vertex[0] first along the printed top edge as the sampler takes it).
SquareLight measureSquareLight(const FrameView& frame, const double distFactor[4], const double vertex[4][2]);

// Puts a sample (raw intensities of 16x16 cells in the order of a pattern
// block, as samplePattern gives) on the scale of ink 0 and paper 255 at
// each cell: both levels are carried from the places round the square into
// it as a surface through the four sides' profiles, on each side of a
// shadow edge from that side's places alone. Unmeasured light leaves the
// sample as it is.
void normaliseShading(const SquareLight& light, double sample[patternValues]);

// The cells of a sample put on the print's scale (normaliseShading) whose
// colour black ink on white paper cannot have, whatever the light: planes
// apart by more than a sixth of the step from ink to paper (skin, a
// coloured sleeve). None when the light was not measured, since a raw
// sample's colours are the lamp's as much as the print's.
UnprintedCells unprintedCells(const SquareLight& light, const double sample[patternValues]);

// Whether a sample put on the print's scale (normaliseShading) shows the
// matched pattern as printed with the ink and paper round it: strongly
// enough (Match::gain at least `minimumGain`) and at the level its mix of
// ink and paper gives (the sample's mean within `levelTolerance` of the
// pattern's paper share, both on the scale ink 0, paper 1). A dark blob
// whose faint shades happen to follow a nearly blank design fails the
// level; the flat inside of a blank square fails the gain. False when the
// square has no quiet zone round it (SquareLight::noQuietZone); true when
// the light could not be measured otherwise (a square at the frame's edge):
// there is no print to judge by.
bool showsPrint(const SquareLight& light, const double sample[patternValues], const Match& match,
                const PatternTemplate& pattern, double minimumGain, double levelTolerance);

} // namespace kwo::ar
