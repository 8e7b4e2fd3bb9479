// The printed board: true size on the page, and its corners where the
// calibration expects them.

#include "tools/calibrate/chessboard.h"
#include "tools/markers/printed_sheet.h"
#include "tests/support/files.h"
#include "tests/support/screen.h"

#include <gtest/gtest.h>

namespace {

TEST(BoardPage, SquaresHaveTheirSizeOnThePage) {
    kwo::calibrate::Chessboard board;
    board.squareMm = 22;
    kwo::test::TempDir folder;
    const double pixelsPerMm = 4;
    ASSERT_TRUE(kwo::markers::writeSheetPicture(folder.file("page.png"), kwo::calibrate::pageWidthMm,
                                                kwo::calibrate::pageHeightMm, pixelsPerMm,
                                                [&](cairo_t* cairo) { kwo::calibrate::drawBoardPage(cairo, board); }));
    const kwo::test::Picture page = kwo::test::loadPicture(folder.file("page.png"));
    ASSERT_EQ(page.width, 1188);
    // Along a row of squares: board.columns + 1 squares alternating with the
    // white margin at both ends, so that many changes between dark and
    // light, 88 px apart.
    const int y = page.height / 2 + 30;
    std::vector<int> edges;
    for (int x = 1; x < page.width; ++x)
        if ((page.at(x, y).r < 128) != (page.at(x - 1, y).r < 128)) edges.push_back(x);
    ASSERT_EQ(edges.size(), static_cast<std::size_t>(board.columns + 1));
    for (std::size_t i = 1; i < edges.size(); ++i) EXPECT_NEAR(edges[i] - edges[i - 1], 88, 1) << i;
}

TEST(BoardPage, CornerCountsAndPlaces) {
    EXPECT_EQ(kwo::calibrate::parseCornerCount("9x6"), cv::Size(9, 6));
    EXPECT_EQ(kwo::calibrate::parseCornerCount("30x3"), cv::Size(30, 3));
    for (const char* bad : {"", "9", "9x", "x6", "9x6x", "9 x 6", "2x6", "9x31", "-9x6", "9x6 "})
        EXPECT_FALSE(kwo::calibrate::parseCornerCount(bad)) << bad;
    std::string why;
    EXPECT_TRUE(kwo::calibrate::fitsOnPage(kwo::calibrate::Chessboard{}, &why)) << why;
    kwo::calibrate::Chessboard board{4, 3, 10};
    const std::vector<cv::Point3f> corners = board.cornerPositions();
    ASSERT_EQ(corners.size(), 12u);
    EXPECT_EQ(corners[0], cv::Point3f(10, 10, 0));
    EXPECT_EQ(corners[3], cv::Point3f(40, 10, 0));
    EXPECT_EQ(corners[11], cv::Point3f(40, 30, 0));
}

} // namespace
