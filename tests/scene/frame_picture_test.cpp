#include "scene/frame_picture.h"

#include <gtest/gtest.h>

#include <random>

namespace kwo {
namespace {

// A frame whose every pixel holds its own row number in all four bytes.
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

TEST(FlipRows, TurnsTheFrameUpsideDown)
{
    for (int height : {1, 2, 3, 240, 241}) {
        const int width = 5;
        std::vector<std::uint8_t> frame = rowNumbered(width, height);
        std::vector<std::uint8_t> scratch;
        flipRows(frame.data(), width, height, scratch);
        for (int y = 0; y < height; ++y)
            ASSERT_EQ(rowValue(frame, width, y), height - y) << "height " << height << ", row " << y;
    }
}

TEST(FlipRows, TwiceGivesTheFrameBackAndReusesItsScratch)
{
    const int width = 320, height = 240;
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height * 4);
    std::minstd_rand random(5);
    for (std::uint8_t& byte : frame)
        byte = static_cast<std::uint8_t>(random());
    const std::vector<std::uint8_t> original = frame;
    std::vector<std::uint8_t> scratch;
    flipRows(frame.data(), width, height, scratch);
    EXPECT_NE(frame, original);
    const std::uint8_t* held = scratch.data();
    flipRows(frame.data(), width, height, scratch);
    EXPECT_EQ(frame, original);
    EXPECT_EQ(scratch.data(), held) << "the second flip allocated";
}

TEST(BlankLastRow, ZeroesOnlyTheLastRowWhichTheFlipMakesTheTop)
{
    const int width = 4, height = 3;
    std::vector<std::uint8_t> frame = rowNumbered(width, height);
    blankLastRow(frame.data(), width, height);
    EXPECT_EQ(rowValue(frame, width, 0), 1);
    EXPECT_EQ(rowValue(frame, width, 1), 2);
    EXPECT_EQ(rowValue(frame, width, 2), 0);
    std::vector<std::uint8_t> scratch;
    flipRows(frame.data(), width, height, scratch);
    EXPECT_EQ(rowValue(frame, width, 0), 0);
    EXPECT_EQ(rowValue(frame, width, 2), 1);
}

TEST(FramePicture, EmptyFramesAreLeftAlone)
{
    std::vector<std::uint8_t> scratch;
    flipRows(nullptr, 0, 0, scratch);
    blankLastRow(nullptr, 0, 0);
    EXPECT_TRUE(scratch.empty());
}

} // namespace
} // namespace kwo
