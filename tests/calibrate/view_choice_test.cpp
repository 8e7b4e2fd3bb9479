// Which views count as new, and what a set of views still lacks before a
// calibration from them can be trusted all over the picture.

#include "tools/calibrate/view_picker.h"

#include <gtest/gtest.h>

namespace {

using kwo::calibrate::BoardView;
using kwo::calibrate::ViewPicker;

// A 9x6 board seen head-on: corners `step` pixels apart from (x, y).
BoardView board(float x, float y, float step) {
    BoardView view;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 9; ++c) view.emplace_back(x + c * step, y + r * step);
    return view;
}

// The board turned about its vertical axis so that one side is farther
// away: the right side shorter by `shrink` (a negative `shrink`: the left).
BoardView turnedAway(float shrink) {
    BoardView view;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 9; ++c) {
            const float k = shrink >= 0 ? 1 - shrink * c / 8.0f : 1 + shrink * (8 - c) / 8.0f;
            view.emplace_back(200 + c * 20.0f, 250 + (r * 20 - 50) * k);
        }
    return view;
}

TEST(ViewChoice, ABoardTurnedTheOtherWayIsANewViewWhicheverEndTheFinderNumbers) {
    const kwo::calibrate::PickerSettings settings;
    const BoardView right = turnedAway(0.2f), left = turnedAway(-0.2f);
    const BoardView leftReversed(left.rbegin(), left.rend());
    // The finder may number a board from either end; the picture is the same.
    EXPECT_NEAR(kwo::calibrate::viewDifference(left, leftReversed, 9, 800, settings), 0, 1e-9);
    // Turned the other way it shows the focal length from the other side.
    EXPECT_GE(kwo::calibrate::viewDifference(right, left, 9, 800, settings), 1);
    EXPECT_GE(kwo::calibrate::viewDifference(right, leftReversed, 9, 800, settings), 1);

    ViewPicker picker({640, 480}, {9, 6});
    picker.offer(right);
    ASSERT_TRUE(picker.offer(right));
    picker.take(right);
    picker.offer(leftReversed);
    EXPECT_TRUE(picker.offer(leftReversed));
}

struct Lack {
    const char* what;
    std::vector<BoardView> views;
    std::string missing; // empty: nothing
};

TEST(ViewChoice, SaysWhatTheViewsLackOfThePictureAndItsCorners) {
    // Cells of 80 x 80 pixels, 8 across and 6 down.
    const std::vector<Lack> cases{
        {"nothing taken", {}, "the views cover 0 % of the picture (at least 70 % is needed) and none reached any of "
                              "its corners"},
        {"the four corners only",
         {board(0, 0, 10), board(550, 0, 10), board(550, 420, 10), board(0, 420, 10)},
         "the views cover 17 % of the picture (at least 70 % is needed)"},
        // Rows 0 to 4 of 6: 83 %.
        {"all but the bottom row", {board(0, 0, 70)},
         "the views cover 83 % of the picture but none reached its lower-right or lower-left corners"},
        {"a third, one corner", {board(0, 0, 40)},
         "the views cover 31 % of the picture (at least 70 % is needed) and none reached its upper-right, "
         "lower-right or lower-left corners"},
        {"all but one corner", {board(0, 0, 70), board(0, 130, 60)},
         "the views cover 98 % of the picture but none reached its lower-right corner"},
        {"everything", {board(0, 0, 70), board(0, 130, 70)}, ""},
    };
    for (const Lack& c : cases) {
        ViewPicker picker({640, 480}, {9, 6});
        for (const BoardView& view : c.views) picker.take(view);
        EXPECT_EQ(picker.missingCoverage(0.7), c.missing) << c.what;
    }
}

// A "view" whose corners fall in the first `count` cells (row by row) plus
// the four corner cells: how many cells are covered, not where the board
// was, is what matters here.
BoardView cornerCellsAnd(int count) {
    BoardView view{{40, 40}, {600, 40}, {600, 440}, {40, 440}};
    for (int cell = 0; static_cast<int>(view.size()) < 4 + count; ++cell) {
        const int column = cell % 8, row = cell / 8;
        if ((column == 0 || column == 7) && (row == 0 || row == 5)) continue;
        view.emplace_back(column * 80 + 40, row * 80 + 40);
    }
    view.resize(54, view.back());
    return view;
}

TEST(ViewChoice, CoverageIsJudgedInWholeCells) {
    // 34 of 48 cells are 70.8 %: enough; 33 are 68.75 %, printed as 69.
    ViewPicker enough({640, 480}, {9, 6}), almost({640, 480}, {9, 6});
    enough.take(cornerCellsAnd(30));
    almost.take(cornerCellsAnd(29));
    EXPECT_EQ(enough.missingCoverage(0.7), "");
    EXPECT_EQ(almost.missingCoverage(0.7), "the views cover 69 % of the picture (at least 70 % is needed)");
}

} // namespace
