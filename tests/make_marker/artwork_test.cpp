// Markers from any artwork: a picture that already is a whole marker gives
// its inside, a picture that is not square is judged on itself and not on the
// paper added beside it (or cut to its middle square on request), and a
// refusal names what makes the artwork look alike turned.

#include "tests/make_marker/fixtures.h"
#include "tests/support/sample_data.h"
#include "tools/make_marker/marker_art.h"
#include "tools/make_marker/marker_pattern.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace kwo::test {
namespace {

// A marker picture: a black square of `side` with a border of `border` of
// its side, a lopsided white mark inside, `margin` pixels of paper around.
cv::Mat markerPicture(int side, double border, int margin)
{
    cv::Mat picture(side + 2 * margin, side + 2 * margin, CV_8UC4, cv::Scalar(255, 255, 255, 255));
    picture(cv::Rect(margin, margin, side, side)).setTo(cv::Scalar(0, 0, 0, 255));
    const int inset = static_cast<int>(side * border);
    picture(cv::Rect(margin + inset, margin + inset, side - 2 * inset, side - 2 * inset))
        .setTo(cv::Scalar(255, 255, 255, 255));
    cv::circle(picture, {margin + inset + side / 10, margin + inset + side / 10}, side / 12, {0, 0, 0, 255},
               cv::FILLED);
    return picture;
}

TEST(ArtworkPicture, AWholeMarkerIsRecognisedByItsBorderOfAQuarter)
{
    struct Case {
        const char* what;
        cv::Mat picture;
        std::optional<cv::Rect> inside;
    };
    cv::Mat black(300, 300, CV_8UC4, cv::Scalar(0, 0, 0, 255));
    cv::Mat framedPhoto(300, 300, CV_8UC4, cv::Scalar(255, 255, 255, 255));
    cv::rectangle(framedPhoto, {0, 0, 300, 300}, {0, 0, 0, 255}, 20);
    // A photograph of a printed marker on its sheet, on a dark table.
    cv::Mat onTable(600, 600, CV_8UC4, cv::Scalar(60, 60, 60, 255));
    markerPicture(400, 0.25, 40).copyTo(onTable(cv::Rect(60, 60, 480, 480)));
    const std::vector<Case> cases{
        {"edge to edge", markerPicture(400, 0.25, 0), cv::Rect(100, 100, 200, 200)},
        {"on paper", markerPicture(400, 0.25, 80), cv::Rect(180, 180, 200, 200)},
        {"a border of a fifth", markerPicture(400, 0.2, 0), std::nullopt},
        {"a photograph on a dark table", onTable, std::nullopt},
        {"all black", black, std::nullopt},
        {"a photo in a thin frame", framedPhoto, std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<cv::Rect> inside = make_marker::markerInside(c.picture);
        ASSERT_EQ(inside.has_value(), c.inside.has_value()) << c.what;
        if (inside) {
            EXPECT_EQ(*inside, *c.inside) << c.what;
        }
    }
}

struct MadeFrom {
    const char* what;
    std::string picture;
    std::string reference; // a pattern the new one must match
    double atLeast;
};

TEST(ArtworkPicture, WholeMarkersGiveTheirInsideAndMatchTheirOwnPatterns)
{
    KWO_NEED_SAMPLE_FILE("hiro.png");
    TempDir dir;
    // The sample marker's artwork and the pattern its tracker was trained
    // with from a camera; the project's own marker picture and the pattern
    // the build made from its design.
    const std::vector<MadeFrom> cases{
        {"hiro", sampleFile("hiro.png"), sampleFile("patt.hiro"), 0.85},
        {"Quillmoth", programTracking + "Quillmoth.png", programTracking + "Quillmoth.pattern", 0.98},
    };
    for (const MadeFrom& c : cases) {
        const ProcessResult made = makeMarker({"--picture", c.picture, "-o", dir.file(c.what), "--no-station"});
        ASSERT_EQ(made.exitCode, 0) << c.what << "\n" << made.out << made.err;
        EXPECT_NE(made.out.find("The picture is a whole marker: its inside is the artwork"), std::string::npos)
            << made.out;
        ar::PatternFile remade, reference;
        ASSERT_TRUE(ar::readPatternFile(dir.file(c.what) + ".pattern", remade));
        ASSERT_TRUE(ar::readPatternFile(c.reference, reference));
        EXPECT_GE(make_marker::bestMatch(remade, reference), c.atLeast) << c.what;
    }
    // The printed marker is the picture's marker again: the tracker knows it
    // at every pose, the right way up.
    const std::vector<PoseResult> results = identifyAtPoses(printedSquare(dir.file("hiro.png")), dir.file("hiro.pattern"));
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].id, 4) << "pose " << i;
        EXPECT_LT(results[i].cornerRms, 1.0) << "pose " << i;
    }

    // Taken whole on request, the black border is what repeats at every turn,
    // and the refusal says so.
    const ProcessResult whole =
        makeMarker({"--picture", sampleFile("hiro.png"), "--whole-picture", "-o", dir.file("Whole"), "--no-station"});
    EXPECT_EQ(whole.exitCode, 1) << whole.out << whole.err;
    EXPECT_NE(whole.err.find("The picture has a dark frame all round"), std::string::npos) << whole.err;
    EXPECT_FALSE(dir.exists("Whole.pattern"));
}

// A wide picture, quiet and lopsided: darker marks on a mid-grey ground.
cv::Mat quietWidePicture()
{
    cv::Mat picture(200, 600, CV_8UC3, cv::Scalar(150, 150, 150));
    const std::vector<cv::Point> hill{{20, 190}, {150, 40}, {260, 190}};
    cv::fillPoly(picture, std::vector<std::vector<cv::Point>>{hill}, {110, 115, 120});
    cv::circle(picture, {520, 50}, 30, {90, 110, 130}, cv::FILLED);
    return picture;
}

TEST(ArtworkPicture, APictureThatIsNotSquareIsJudgedOnItselfNotOnThePaper)
{
    TempDir dir;
    ASSERT_TRUE(cv::imwrite(dir.file("wide.png"), quietWidePicture()));
    // The fault: with paper above and below, the whole sample turned by half
    // a turn matches itself, because the paper's bands do.
    make_marker::Artwork artwork;
    std::string error;
    ASSERT_TRUE(make_marker::loadArtwork(dir.file("wide.png"), artwork, error)) << error;
    EXPECT_EQ(artwork.picture, cv::Rect(0, 200, 600, 200));
    const ar::PatternFile pattern = make_marker::patternFromArtwork(artwork);
    EXPECT_GE(make_marker::turnMatches(pattern)[1], 0.8);
    const auto own = make_marker::pictureTurnMatches(pattern, artwork.picture, artwork.pixels.cols);
    ASSERT_TRUE(own);
    EXPECT_LT((*own)[1], 0.7);
    std::printf("wide picture, 180 degrees: %.3f with the paper, %.3f the picture alone\n",
                make_marker::turnMatches(pattern)[1], (*own)[1]);

    for (const char* fit : {"pad", "crop"}) {
        const ProcessResult made = makeMarker({"--picture", dir.file("wide.png"), "--fit", fit, "-o",
                                              dir.file(std::string("Wide-") + fit), "--no-station"});
        EXPECT_EQ(made.exitCode, 0) << fit << "\n" << made.out << made.err;
        EXPECT_NE(made.out.find(fit == std::string("pad") ? "white paper above and below" : "middle square"),
                  std::string::npos)
            << made.out;
    }
    // Cropped, the artwork is the picture's middle square, edge to edge.
    ASSERT_TRUE(make_marker::loadArtwork(dir.file("wide.png"), artwork, error, {make_marker::Fit::Crop, false}));
    EXPECT_EQ(artwork.pixels.size(), cv::Size(200, 200));
    EXPECT_EQ(artwork.picture, cv::Rect(0, 0, 200, 200));

    // A wide picture that does look the same upside down is still refused,
    // with the picture's own figure.
    cv::Mat mirrored(200, 600, CV_8UC3, cv::Scalar(255, 255, 255));
    cv::circle(mirrored, {100, 60}, 40, {0, 0, 0}, cv::FILLED);
    cv::circle(mirrored, {500, 140}, 40, {0, 0, 0}, cv::FILLED);
    ASSERT_TRUE(cv::imwrite(dir.file("mirrored.png"), mirrored));
    const ProcessResult refused = makeMarker({"--picture", dir.file("mirrored.png"), "-o", dir.file("M"), "--no-station"});
    EXPECT_EQ(refused.exitCode, 1) << refused.err;
    EXPECT_NE(refused.err.find("refused: the picture matches itself turned by 180 degrees (0.9"), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.out.find("the picture without the paper beside it"), std::string::npos) << refused.out;
}

} // namespace
} // namespace kwo::test
