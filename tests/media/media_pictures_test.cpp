// The banner and the icon photographed from the creatures (committed in
// resources/, retaken with the target kwo_creature_pictures_update).

#include "tests/support/process.h"
#include "tests/support/screen.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

const std::string resources = std::string(KWO_SOURCE_DIR) + "/resources/";

struct Format {
    int width = 0, height = 0, depth = 0;
    std::string channels;
};

Format formatOf(const std::string& path)
{
    std::istringstream in(kwo::test::shell("identify -format '%w %h %z %[channels]' '" + path + "'"));
    Format format;
    in >> format.width >> format.height >> format.depth >> format.channels;
    return format;
}

TEST(MediaPictures, BannerShowsFourBlackSilhouettesOnWhite)
{
    const Format format = formatOf(resources + "banner.png");
    EXPECT_EQ(format.width, 491);
    EXPECT_EQ(format.height, 139);
    EXPECT_EQ(format.depth, 8);
    EXPECT_EQ(format.channels, "srgb") << "24-bit colour without alpha";

    const kwo::test::Picture banner = kwo::test::loadPicture(resources + "banner.png");
    ASSERT_EQ(banner.width, 491);
    int dark = 0;
    std::vector<bool> columnHasShape(banner.width, false);
    for (int y = 0; y < banner.height; ++y) {
        for (int x = 0; x < banner.width; ++x) {
            const auto p = banner.at(x, y);
            ASSERT_TRUE(p.r == p.g && p.g == p.b) << "grey only, at " << x << "," << y;
            if (p.r < 64) {
                ++dark;
                columnHasShape[x] = true;
            }
        }
    }
    EXPECT_EQ(banner.at(0, 0).r, 255);
    EXPECT_EQ(banner.at(banner.width - 1, banner.height - 1).r, 255);
    EXPECT_GT(dark, banner.width * banner.height / 10);
    EXPECT_LT(dark, banner.width * banner.height / 2);
    // Four shapes side by side: four runs of columns holding black, apart from each other.
    int runs = 0;
    for (int x = 0; x < banner.width; ++x) {
        runs += columnHasShape[x] && (x == 0 || !columnHasShape[x - 1]);
    }
    EXPECT_EQ(runs, 4);
}

TEST(MediaPictures, IconIsASquareColourPictureWithATransparentSurround)
{
    const Format format = formatOf(resources + "icon.png");
    EXPECT_EQ(format.width, 128);
    EXPECT_EQ(format.height, 128);
    EXPECT_EQ(format.channels, "srgba");
    std::istringstream alpha(kwo::test::shell("convert '" + resources + "icon.png' -alpha extract -format '%[fx:p{0,0}] %[fx:mean]' info:"));
    double corner = -1, mean = -1;
    alpha >> corner >> mean;
    EXPECT_EQ(corner, 0.0);
    EXPECT_GT(mean, 0.12) << "the creature fills a good part of the icon";
    EXPECT_LT(mean, 0.7);
}

} // namespace
