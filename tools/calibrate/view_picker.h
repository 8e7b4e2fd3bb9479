#pragma once

// Which detections of the board become calibration views: a view is taken
// when the board holds still (a moving board is blurred and its corners lag
// the frame's time) and stands far enough from every view taken before (a
// near copy adds nothing but weight to one pose). Coverage tells how much of
// the frame the views' corners reach: corners near the edges are what pins
// the lens distortion down.

#include "tools/calibrate/camera_fit.h"

#include <opencv2/core.hpp>

#include <array>
#include <string>
#include <vector>

namespace kwo::calibrate {

struct PickerSettings {
    // Still: no corner moved more than this between two detections in a row,
    // as a fraction of the frame's diagonal.
    double stillness = 0.003;
    // New: the board differs from every view taken in at least one way by
    // this much: its centre moved by this fraction of the frame's diagonal,
    double shift = 0.08;
    // its size changed by this factor (as a natural logarithm: 0.15 is 16 %),
    double resize = 0.15;
    // or its tilt: the ratio of opposite sides changed by this much (natural
    // logarithm; 0.08 is a change of about 13 degrees of tilt for a board
    // filling a third of the frame). Tilted views are what tell the focal
    // length apart from the distance.
    double tilt = 0.08;
    // Coverage is counted on a grid of this many cells across and down.
    int gridColumns = 8;
    int gridRows = 6;
};

class ViewPicker {
public:
    // Views of a board of `innerCorners` in frames of `frameSize`.
    ViewPicker(cv::Size frameSize, cv::Size innerCorners, PickerSettings settings = {});

    // Looks at the board found in one frame (empty when none was found) and
    // says whether it should be taken now. `forced` (the user asked) skips
    // the stillness and novelty tests but still needs a board.
    bool offer(const BoardView& detection, bool forced = false);

    // Takes the view (normally right after offer() said yes).
    void take(const BoardView& view);

    const std::vector<BoardView>& views() const { return taken; }
    // Fraction of grid cells holding at least one corner of a view taken.
    double coverage() const;
    // The cells, row by row: true where a corner was taken.
    const std::vector<bool>& coveredCells() const { return cells; }
    // Whether a view reached the picture's corner cells: upper-left,
    // upper-right, lower-right, lower-left.
    std::array<bool, 4> cornersReached() const;
    // What the views still lack for a calibration to hold all over the
    // picture, in words: `required` of the cells and every corner cell (the
    // lens distortion is largest there and is only extrapolated where no view
    // went). Empty when nothing is missing.
    std::string missingCoverage(double required) const;
    const PickerSettings& settings() const { return config; }

private:
    double differenceToNearestView(const BoardView& view) const;

    cv::Size size;
    cv::Size board;
    double diagonal;
    PickerSettings config;
    BoardView previous; // the last frame's detection; empty when there was none
    std::vector<BoardView> taken;
    std::vector<bool> cells;
};

// How different two views of the same board (`columns` inner corners a
// row) are, in units of the settings' thresholds: 1 or more is new. Compared
// as the picture shows them, whichever end the finder numbered from.
double viewDifference(const BoardView& a, const BoardView& b, int columns, double diagonal,
                      const PickerSettings& settings);

} // namespace kwo::calibrate
