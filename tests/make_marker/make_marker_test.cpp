// kwo-make-marker run as a station's technician runs it: artwork in, pattern,
// picture and sheet out, checked by the tracker itself on rendered views.

#include "tests/make_marker/fixtures.h"
#include "tools/make_marker/marker_pattern.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstring>
#include <fstream>

namespace kwo::test {
namespace {

bool exists(const std::string& path) { return std::ifstream(path).good(); }

TEST(MakeMarker, ArtworkMarkerIsIdentifiedAtTwentyPosesWithItsDirection) {
    TempDir dir;
    ASSERT_TRUE(cv::imwrite(dir.file("art.png"), lopsidedArtwork()));
    const ProcessResult made = makeMarker({"--picture", dir.file("art.png"), "--output", dir.file("Art"), "--no-station"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    for (const char* extension : {".pattern", ".png", ".pdf"}) EXPECT_TRUE(exists(dir.file("Art") + extension)) << extension;

    const cv::Mat square = printedSquare(dir.file("Art.png"));
    ASSERT_FALSE(square.empty());
    const std::vector<PoseResult> results = identifyAtPoses(square, dir.file("Art.pattern"));
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i].id, 4) << "pose " << i;
        EXPECT_GE(results[i].cf, 0.9) << "pose " << i;
        // Corners counted from the reported direction's upper-left land on
        // the true ones only when the direction is right.
        EXPECT_LT(results[i].cornerRms, 1.0) << "pose " << i;
        std::printf("pose %zu cf %.3f corners %.2f px\n", i, results[i].cf, results[i].cornerRms);
    }
    std::printf("artwork marker at 20 poses: cf least %.3f, median %.3f\n", leastCf(results), medianCf(results));
}

TEST(MakeMarker, ProjectMarkersRemadeFromTheirArtworkMatchTheBuildsPatternsAndNotEachOther) {
    // Each design's inner half as artwork: the tool samples it as the build's
    // own patterns were sampled, and the four stay below the confusion limit
    // against each other; against the station's own copy it warns.
    TempDir dir;
    for (const std::string& name : designNames()) {
        const cv::Mat design = synthetic::designPicture(name, 512);
        ASSERT_TRUE(cv::imwrite(dir.file(name + "-art.png"), design(cv::Rect(128, 128, 256, 256))));
    }
    for (const std::string& name : designNames()) {
        std::vector<std::string> arguments{"--picture", dir.file(name + "-art.png"), "-o", dir.file(name), "--no-station"};
        for (const std::string& other : designNames())
            if (other != name) arguments.insert(arguments.end(), {"--against", programTracking + other + ".pattern"});
        const ProcessResult made = makeMarker(arguments);
        ASSERT_EQ(made.exitCode, 0) << made.err;
        EXPECT_EQ(made.err.find("warning"), std::string::npos) << made.err;
        std::printf("%s:\n%s", name.c_str(), made.out.c_str());

        ar::PatternFile remade, built;
        ASSERT_TRUE(ar::readPatternFile(dir.file(name + ".pattern"), remade));
        ASSERT_TRUE(ar::readPatternFile(programTracking + name + ".pattern", built));
        EXPECT_GT(make_marker::bestMatch(remade, built), 0.98) << name;
    }
    // The station's document (the built-in one here) names the four: a new
    // Quillmoth is confusable with the old, and the figure is printed.
    const ProcessResult again = makeMarker({"--picture", dir.file("Quillmoth-art.png"), "-o", dir.file("Again")});
    EXPECT_EQ(again.exitCode, 0) << again.err;
    const std::string warning =
        "warning: the new marker matches " + programTracking + "Quillmoth.pattern (tracking/objects[0]/pattern/file) at ";
    const std::size_t at = again.err.find(warning);
    ASSERT_NE(at, std::string::npos) << again.err;
    EXPECT_GT(std::stod(again.err.substr(at + warning.size(), 5)), 0.95) << again.err;
    EXPECT_EQ(again.err.find("Brackenjaw"), std::string::npos) << again.err;
    EXPECT_TRUE(exists(dir.file("Again.pattern")));
}

TEST(MakeMarker, ReplacingAStationPatternIsNotComparedWithItself) {
    // Remaking a marker in place: the file being replaced is not "another"
    // pattern.
    TempDir dir;
    const cv::Mat design = synthetic::designPicture("Sliverfin", 512);
    ASSERT_TRUE(cv::imwrite(dir.file("art.png"), design(cv::Rect(128, 128, 256, 256))));
    dir.write("station.config", R"({"tracking": {"objects": [
        {"name": "Sliverfin", "pattern": {"file": ")" + dir.file("Sliverfin.pattern") + R"(", "size": 83}},
        {"name": "Quillmoth", "pattern": {"file": "tracking/Quillmoth.pattern", "size": 83}}]}})");
    ASSERT_EQ(makeMarker({"--picture", dir.file("art.png"), "-o", dir.file("Sliverfin"), "--no-station"}).exitCode, 0);
    const ProcessResult remade =
        makeMarker({"--picture", dir.file("art.png"), "-o", dir.file("Sliverfin"), "--config", dir.file("station.config")});
    EXPECT_EQ(remade.exitCode, 0) << remade.err;
    EXPECT_EQ(remade.err.find("warning"), std::string::npos) << remade.err;
    // Relative paths of the document are the viewer's: the program folder's.
    EXPECT_NE(remade.out.find(programTracking + "Quillmoth.pattern (tracking/objects[1]/pattern/file)"), std::string::npos)
        << remade.out;
    EXPECT_EQ(remade.out.find("objects[0]"), std::string::npos) << remade.out;
}

struct Refusal {
    std::string label;
    std::vector<std::string> source; // --picture FILE or --text WORD
    std::string reason;              // in the message
};

TEST(MakeMarker, RefusesArtworkWhoseDirectionCannotBeToldAndKeepsTheOldMarker) {
    TempDir dir;
    // A plus sign looks the same at every turn; an "N" and a "S" turned by
    // half a turn look the same; a blank picture matches nothing.
    cv::Mat plus(200, 200, CV_8UC3, cv::Scalar(255, 255, 255));
    plus(cv::Rect(80, 20, 40, 160)).setTo(cv::Scalar(0, 0, 0));
    plus(cv::Rect(20, 80, 160, 40)).setTo(cv::Scalar(0, 0, 0));
    ASSERT_TRUE(cv::imwrite(dir.file("plus.png"), plus));
    cv::Mat ring(240, 240, CV_8UC3, cv::Scalar(255, 255, 255));
    cv::circle(ring, {120, 120}, 90, {0, 0, 200}, 30);
    ASSERT_TRUE(cv::imwrite(dir.file("ring.jpg"), ring));
    ASSERT_TRUE(cv::imwrite(dir.file("blank.png"), cv::Mat(60, 60, CV_8UC3, cv::Scalar(200, 200, 200))));
    // A grey band is as blank: only the paper beside it would tell it apart.
    ASSERT_TRUE(cv::imwrite(dir.file("band.png"), cv::Mat(50, 80, CV_8UC3, cv::Scalar(200, 200, 200))));

    const std::vector<Refusal> cases{
        {"plus", {"--picture", dir.file("plus.png")}, "turned by 90 degrees (1.000), 180 degrees (1.000), 270 degrees (1.000) "},
        {"ring (JPEG)", {"--picture", dir.file("ring.jpg")}, "turned by 90 degrees (0.99"},
        {"N", {"--text", "N"}, "turned by 180 degrees (1.000) (limit 0.80)"},
        {"SOS", {"--text", "SOS"}, "turned by 180 degrees (0.99"},
        {"band", {"--picture", dir.file("band.png")}, "the picture is blank (all one colour)"},
        {"blank", {"--picture", dir.file("blank.png")}, "blank"},
    };
    dir.write("Old.pattern", "the technician's old pattern");
    for (const Refusal& c : cases) {
        std::vector<std::string> arguments = c.source;
        arguments.insert(arguments.end(), {"-o", dir.file("Old"), "--no-station"});
        const ProcessResult result = makeMarker(arguments);
        EXPECT_EQ(result.exitCode, 1) << c.label << "\n" << result.err;
        EXPECT_NE(result.err.find("refused"), std::string::npos) << c.label << "\n" << result.err;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << c.label << "\n" << result.err;
        EXPECT_EQ(dir.read("Old.pattern"), "the technician's old pattern") << c.label;
        EXPECT_FALSE(exists(dir.file("Old.png")) || exists(dir.file("Old.pdf")) || exists(dir.file("Old.pattern.new")))
            << c.label;
        std::printf("%-12s %s", c.label.c_str(), result.out.c_str());
    }
    // A lopsided letter passes at the same limit.
    EXPECT_EQ(makeMarker({"--text", "F", "-o", dir.file("F"), "--no-station"}).exitCode, 0);
}

TEST(MakeMarker, SymmetryFiguresAreTheTrackersOwnMeasure) {
    // The figures are what the tracker would answer for the turned marker:
    // a pattern is its own 360-degree turn, and the project's designs were
    // chosen to be far from their turns.
    ar::PatternFile pattern;
    ASSERT_TRUE(ar::readPatternFile(programTracking + "Quillmoth.pattern", pattern));
    for (double turn : make_marker::turnMatches(pattern)) EXPECT_LT(turn, 0.3);
    ar::PatternFile turned = pattern;
    for (int d = 0; d < 4; ++d) std::memcpy(turned.blocks[d], pattern.blocks[(d + 2) % 4], sizeof turned.blocks[d]);
    EXPECT_NEAR(make_marker::turnMatches(turned)[1], make_marker::turnMatches(pattern)[1], 1e-9);
    EXPECT_NEAR(make_marker::bestMatch(pattern, turned), 1.0, 1e-9);
}

TEST(MakeMarker, SheetHasTheChosenSizeAndThePictureTheMarker) {
    TempDir dir;
    struct Sheet {
        std::string millimetres;
        std::string mediaBox; // page size in points
    };
    // 150 mm still fits A4; 250 mm gets a page of its own size (278 x 306 mm).
    for (const Sheet& sheet : {Sheet{"150", "/MediaBox [ 0 0 595.275591 841.889764 ]"},
                               Sheet{"250", "/MediaBox [ 0 0 788.031496 867.401575 ]"}}) {
        // An output named with one of the extensions means the same marker.
        const std::string output = dir.file(sheet.millimetres == "150" ? "Kwo" : "Kwo.pdf");
        const ProcessResult made = makeMarker({"--text", "Kwo", "--size", sheet.millimetres, "-o", output, "--no-station"});
        ASSERT_EQ(made.exitCode, 0) << made.err;
        EXPECT_NE(made.out.find("\"size\": " + sheet.millimetres), std::string::npos) << made.out;
        const std::string pdf = readFile(dir.file("Kwo.pdf"));
        EXPECT_EQ(pdf.rfind("%PDF", 0), 0u);
        EXPECT_NE(pdf.find(sheet.mediaBox), std::string::npos) << sheet.millimetres;
    }
    EXPECT_FALSE(exists(dir.file("Kwo.pdf.pattern")));
    // The picture: white quiet zone, black border, white paper inside with ink.
    const cv::Mat png = cv::imread(dir.file("Kwo.png"), cv::IMREAD_GRAYSCALE);
    ASSERT_EQ(png.cols, 560);
    EXPECT_EQ(png.at<unsigned char>(40, 40), 255);
    EXPECT_EQ(png.at<unsigned char>(120, 120), 0);
    EXPECT_EQ(png.at<unsigned char>(479, 479), 0);
    EXPECT_EQ(png.at<unsigned char>(185, 185), 255);
    double least, most;
    cv::minMaxLoc(png(cv::Rect(190, 190, 180, 180)), &least, &most);
    EXPECT_LT(least, 50);
    EXPECT_GT(most, 240);
}

struct BadInput {
    std::string label;
    std::vector<std::string> arguments;
    int exitCode;
    std::string message; // must appear on standard error
};

TEST(MakeMarker, BadArgumentsAndFilesAreNamedAndNothingIsWritten) {
    TempDir dir;
    const std::string out = dir.file("Out");
    dir.write("not-a-picture.png", "hello");
    dir.write("bad.pattern", "1 2 3 x");
    dir.write("invalid.config", "{ \"tracking\": ");
    dir.write("missing-pattern.config",
              R"({"tracking": {"objects": [{"name": "A", "pattern": {"file": "tracking/Nowhere.pattern"}}]}})");
    dir.write("wrong-type.config", R"({"tracking": {"objects": [{"name": "A", "pattern": {"file": 7}}]}})");
    const std::vector<BadInput> cases{
        {"nothing", {}, 2, "give the artwork with --picture or --text"},
        {"unknown option", {"--text", "F", "-o", out, "--colour", "red"}, 2, "unknown option '--colour'"},
        {"stray argument", {"--text", "F", out}, 2, "unexpected argument '" + out + "'"},
        {"no output", {"--text", "F"}, 2, "--output"},
        {"output is a folder", {"--text", "F", "-o", dir.path() + "/"}, 2, "-o: '" + dir.path() + "/' names no file"},
        {"output folder missing", {"--text", "F", "-o", dir.file("no/such/Out")}, 2, "folder '" + dir.file("no/such") + "'"},
        {"value missing", {"--text", "F", "-o", out, "--size"}, 2, "--size needs a value"},
        {"size not a number", {"--text", "F", "-o", out, "--size", "8cm"}, 2, "--size: '8cm' is not a size"},
        {"size too small", {"--text", "F", "-o", out, "--size", "2"}, 2, "--size: '2'"},
        {"limit out of range", {"--text", "F", "-o", out, "--symmetry-limit", "1.5"}, 2, "--symmetry-limit: '1.5'"},
        {"two sources", {"--text", "F", "--picture", dir.file("a.png"), "-o", out}, 2, "only one of"},
        {"empty text", {"--text", "", "-o", out}, 2, "--text needs a value"},
        {"long text", {"--text", "Quillmoth", "-o", out}, 2, "--text: 'Quillmoth' is longer than 6"},
        {"spaces only", {"--text", "   ", "-o", out, "--no-station"}, 2, "--text: '   ' shows no ink"},
        {"threshold without camera", {"--text", "F", "-o", out, "--threshold", "90"}, 2, "--threshold only applies"},
        {"fit unknown", {"--picture", dir.file("a.png"), "--fit", "stretch", "-o", out}, 2,
         "--fit: 'stretch' is neither pad"},
        {"fit without a picture", {"--text", "F", "--fit", "crop", "-o", out}, 2, "--fit only applies with --picture"},
        {"whole picture without a picture", {"--text", "F", "--whole-picture", "-o", out}, 2,
         "--whole-picture only applies with --picture"},
        {"picture missing", {"--picture", dir.file("none.png"), "-o", out}, 2, "picture '" + dir.file("none.png") + "'"},
        {"picture not a picture", {"--picture", dir.file("not-a-picture.png"), "-o", out, "--no-station"}, 2,
         "picture '" + dir.file("not-a-picture.png") + "' cannot be read"},
        {"picture is a folder", {"--picture", dir.path(), "-o", out, "--no-station"}, 2,
         "picture '" + dir.path() + "' cannot be read"},
        {"against missing", {"--text", "F", "-o", out, "--against", dir.file("none.pattern")}, 2,
         "--against: Pattern file '" + dir.file("none.pattern") + "' cannot be read"},
        {"against malformed", {"--text", "F", "-o", out, "--against", dir.file("bad.pattern")}, 2,
         "'" + dir.file("bad.pattern") + "' is cut short"},
        {"config missing", {"--text", "F", "-o", out, "--config", dir.file("none.config")}, 2,
         "--config: '" + dir.file("none.config") + "'"},
        {"config invalid", {"--text", "F", "-o", out, "--config", dir.file("invalid.config")}, 2,
         "--config: '" + dir.file("invalid.config") + "' is not a valid document"},
        {"config names a missing pattern", {"--text", "F", "-o", out, "--config", dir.file("missing-pattern.config")}, 2,
         "tracking/objects[0]/pattern/file: Pattern file '" KWO_PROGRAM_DIR "/tracking/Nowhere.pattern'"},
        {"config pattern not a string", {"--text", "F", "-o", out, "--config", dir.file("wrong-type.config")}, 2,
         "tracking/objects[0]/pattern/file"},
        {"config and no station", {"--text", "F", "-o", out, "--config", dir.file("x"), "--no-station"}, 2,
         "either --config or --no-station"},
        {"output not writable", {"--text", "F", "-o", "/proc/Out", "--no-station"}, 1,
         "--output: '/proc/Out.pattern' cannot be written: "},
        {"camera unknown", {"--camera", "Nowhere Cam", "-o", out, "--take-first", "--no-station"}, 2,
         "--camera: no camera named 'Nowhere Cam'"},
    };
    for (const BadInput& c : cases) {
        const ProcessResult result = makeMarker(c.arguments, {"KWO_CLIP_CAMERAS="});
        EXPECT_EQ(result.exitCode, c.exitCode) << c.label << "\n" << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.label << "\n" << result.err;
        EXPECT_EQ(result.err.find("AddressSanitizer"), std::string::npos) << c.label;
        for (const char* extension : {".pattern", ".png", ".pdf", ".pattern.new"})
            EXPECT_FALSE(exists(out + extension)) << c.label << " " << extension;
    }
    const ProcessResult help = makeMarker({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: kwo-make-marker", 0), 0u) << help.out;
}

} // namespace
} // namespace kwo::test
