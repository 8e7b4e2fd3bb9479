// Which detections become views, and how coverage is counted.

#include "tools/calibrate/view_picker.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using kwo::calibrate::BoardView;

// A 9x6 board seen head-on: corners `step` pixels apart from (x, y).
BoardView board(float x, float y, float step = 20) {
    BoardView view;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 9; ++c) view.emplace_back(x + c * step, y + r * step);
    return view;
}

TEST(ViewPicker, TakesAStillBoardOnceAndANewPlaceAgain) {
    kwo::calibrate::ViewPicker picker({640, 480}, {9, 6});
    // The first sight is never still: there is nothing to compare with.
    EXPECT_FALSE(picker.offer(board(100, 100)));
    // Held still (moved less than 0.3 % of the 800 px diagonal).
    EXPECT_TRUE(picker.offer(board(101, 100.5f)));
    picker.take(board(101, 100.5f));
    // Still, but where a view was taken.
    EXPECT_FALSE(picker.offer(board(101, 100)));
    // Moving: 5 px between frames.
    EXPECT_FALSE(picker.offer(board(300, 200)));
    EXPECT_FALSE(picker.offer(board(305, 200)));
    // Held still somewhere new (far more than 8 % of the diagonal away).
    EXPECT_TRUE(picker.offer(board(305, 200)));
    // Lost for a frame: stillness starts over.
    EXPECT_FALSE(picker.offer({}));
    EXPECT_FALSE(picker.offer(board(400, 300)));
}

// The same board turned about its vertical axis: the right side farther
// away, so shorter, by `shrink`.
BoardView tilted(float x, float y, float shrink) {
    BoardView view;
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 9; ++c) {
            const float k = 1 - shrink * c / 8.0f;
            view.emplace_back(x + c * 20 * (1 - shrink / 2), y + 50 + (r * 20 - 50) * k);
        }
    return view;
}

TEST(ViewPicker, DifferenceCountsPlaceSizeAndTilt) {
    const kwo::calibrate::PickerSettings settings;
    const double diagonal = 800;
    const BoardView view = board(100, 100), turned(view.rbegin(), view.rend());
    // Numbered from the other end: the same view.
    EXPECT_NEAR(kwo::calibrate::viewDifference(view, turned, 9, diagonal, settings), 0, 1e-9);
    // 0.08 of the diagonal is 64 px: 32 px is half way.
    EXPECT_NEAR(kwo::calibrate::viewDifference(view, board(132, 100), 9, diagonal, settings), 0.5, 1e-6);
    // 20 % bigger about the same centre: log 1.2 / 0.15.
    EXPECT_NEAR(kwo::calibrate::viewDifference(board(100, 100), board(84, 90, 24), 9, diagonal, settings),
                std::log(1.2) / 0.15, 1e-4);
    // Tilted at the same place: the right side 15 % shorter is new, 3 % is not.
    EXPECT_GT(kwo::calibrate::viewDifference(tilted(100, 100, 0), tilted(100, 100, 0.15f), 9, diagonal, settings), 1);
    EXPECT_LT(kwo::calibrate::viewDifference(tilted(100, 100, 0), tilted(100, 100, 0.03f), 9, diagonal, settings), 1);
}

TEST(ViewPicker, ForcedTakesNeedOnlyAWholeBoard) {
    kwo::calibrate::ViewPicker picker({640, 480}, {9, 6});
    EXPECT_TRUE(picker.offer(board(100, 100), true));
    picker.take(board(100, 100));
    EXPECT_TRUE(picker.offer(board(100, 100), true));
    EXPECT_FALSE(picker.offer({}, true));
    BoardView partial = board(100, 100);
    partial.resize(40);
    EXPECT_FALSE(picker.offer(partial, true));
}

TEST(ViewPicker, CoverageCountsTheCellsCornersFellIn) {
    kwo::calibrate::ViewPicker picker({640, 480}, {9, 6});
    EXPECT_EQ(picker.coverage(), 0);
    // Cells of 80x80 px: a board from (0, 0) with 10 px steps spans
    // x 0..80, y 0..50: two cells across (x = 80 falls in the second), one down.
    picker.take(board(0, 0, 10));
    EXPECT_DOUBLE_EQ(picker.coverage(), 2.0 / 48);
    // Corners beyond the frame count in the edge cells.
    picker.take(board(630, 470, 10));
    EXPECT_DOUBLE_EQ(picker.coverage(), 3.0 / 48);
    EXPECT_EQ(picker.views().size(), 2u);
}

} // namespace
