#include "scene/frame_picture.h"

#include <gtest/gtest.h>

#include <vector>

namespace kwo {
namespace {

// A frame whose every pixel holds its own row number (from 1) in all four bytes.
std::vector<std::uint8_t> rowNumbered(int width, int height)
{
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        std::fill_n(frame.begin() + static_cast<std::ptrdiff_t>(y) * width * 4, width * 4,
                    static_cast<std::uint8_t>(y + 1));
    return frame;
}

int rowValue(const std::vector<std::uint8_t>& frame, int width, int y)
{
    const auto begin = frame.begin() + static_cast<std::ptrdiff_t>(y) * width * 4;
    const int first = *begin;
    for (auto it = begin; it != begin + width * 4; ++it)
        if (*it != first)
            return -1; // mixed row
    return first;
}

// Frames come top row first: the top row is the first in memory, and
// nothing past it changes (an odd width shows a row length off by a pixel).
TEST(BlankTopRow, ZeroesOnlyTheFirstRowInMemory)
{
    for (int height : {1, 2, 3}) {
        const int width = 5;
        std::vector<std::uint8_t> frame = rowNumbered(width, height);
        blankTopRow(frame.data(), width, height);
        EXPECT_EQ(rowValue(frame, width, 0), 0) << "height " << height;
        for (int y = 1; y < height; ++y)
            EXPECT_EQ(rowValue(frame, width, y), y + 1) << "height " << height << ", row " << y;
    }
}

TEST(BlankTopRow, EmptyFramesAreLeftAlone)
{
    blankTopRow(nullptr, 0, 0);
    blankTopRow(nullptr, 0, 4);
    blankTopRow(nullptr, 4, 0);
}

} // namespace
} // namespace kwo
