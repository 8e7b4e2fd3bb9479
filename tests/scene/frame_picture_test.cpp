#include "scene/frame_picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace kwo {
namespace {

TEST(BlankTopRow, ZeroesTheFirstRowOnly)
{
    const int width = 5, height = 3;
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height * 4, 0xAB);
    blankTopRow(frame.data(), width, height);
    const auto rowStart = [&](int y) { return frame.begin() + static_cast<std::ptrdiff_t>(y) * width * 4; };
    EXPECT_TRUE(std::all_of(rowStart(0), rowStart(1), [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(rowStart(1), frame.end(), [](std::uint8_t b) { return b == 0xAB; }));
}

TEST(BlankTopRow, EmptyFrameIsLeftAlone)
{
    blankTopRow(nullptr, 0, 0);
    std::uint8_t guard = 1;
    blankTopRow(&guard, 0, 5);
    EXPECT_EQ(guard, 1);
}

} // namespace
} // namespace kwo
