// Calibration and pattern files: the original's sample files give the
// reference figures; broken files fail cleanly.

#include "tests/support/files.h"
#include "tests/support/sample_data.h"
#include "tests/tracking_ar/fixtures.h"
#include "tracking/ar/ar.h"
#include "tracking/ar/calibration.h"
#include "tracking/ar/patterns.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <cstring>
#include <fstream>

namespace kwo::test {
namespace {

#define REQUIRE_SAMPLE_DATA() KWO_NEED_SAMPLE_FILE("camera_para.dat")

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(CalibrationFile, SampleDecodesToTheReferenceFigures) {
    REQUIRE_SAMPLE_DATA();
    std::vector<ARParam> records;
    std::string error;
    ASSERT_TRUE(ar::readCalibrationFile(sampleData() + "/camera_para.dat", 1, records, &error)) << error;
    const ARParam& p = records[0];
    EXPECT_EQ(p.xsize, 640);
    EXPECT_EQ(p.ysize, 480);
    const double mat[3][4] = {{700.9514702992245, 0, 316.5, 0}, {0, 726.0941816535367, 241.5, 0}, {0, 0, 1, 0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_DOUBLE_EQ(p.mat[r][c], mat[r][c]) << r << "," << c;
    const double dist[4] = {318.5, 263.5, 26.2, 1.0127565206658486};
    for (int i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(p.dist_factor[i], dist[i]);
}

TEST(CalibrationFile, ResizeAndDistortionMatchTheOriginal) {
    REQUIRE_SAMPLE_DATA();
    std::vector<ARParam> records;
    ASSERT_TRUE(ar::readCalibrationFile(sampleData() + "/camera_para.dat", 1, records));
    const ARParam small = ar::changeSize(records[0], 320, 240);
    EXPECT_EQ(small.xsize, 320);
    EXPECT_EQ(small.ysize, 240);
    const double row0[4] = {350.47574, 0, 158.25, 0}, row1[4] = {0, 363.04709, 120.75, 0};
    for (int c = 0; c < 4; ++c) {
        EXPECT_NEAR(small.mat[0][c], row0[c], 1e-5);
        EXPECT_NEAR(small.mat[1][c], row1[c], 1e-5);
        EXPECT_DOUBLE_EQ(small.mat[2][c], records[0].mat[2][c]);
    }
    const double dist[4] = {159.25, 131.75, 104.8, 1.0127565};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(small.dist_factor[i], dist[i], 1e-6);

    struct Case {
        double ox, oy, ix, iy;
    };
    const Case cases[] = {
        {0, 0, -6.193444, -5.123932},
        {300, 20, 303.485832, 17.232386},
        {10, 230, 6.375276, 232.386125},
        {159.25, 131.75, 159.25, 131.75}, // the distortion centre maps to itself
    };
    for (const Case& c : cases) {
        double ix, iy, ox, oy;
        ASSERT_EQ(arParamObserv2Ideal(small.dist_factor, c.ox, c.oy, &ix, &iy), 0);
        EXPECT_NEAR(ix, c.ix, 1e-6) << c.ox << "," << c.oy;
        EXPECT_NEAR(iy, c.iy, 1e-6) << c.ox << "," << c.oy;
        ASSERT_EQ(arParamIdeal2Observ(small.dist_factor, ix, iy, &ox, &oy), 0);
        EXPECT_NEAR(ox, c.ox, 1e-6);
        EXPECT_NEAR(oy, c.oy, 1e-6);
    }
}

TEST(CalibrationFile, BadFilesAreRejected) {
    REQUIRE_SAMPLE_DATA();
    TempDir dir;
    const std::string good = readBytes(sampleData() + "/camera_para.dat");
    ASSERT_EQ(good.size(), 136u);
    std::string zeroSize = good;
    zeroSize.replace(0, 4, std::string(4, '\0'));
    std::string nanMatrix = good;
    nanMatrix.replace(8, 8, std::string("\x7f\xf8\0\0\0\0\0\0", 8));
    struct Case {
        const char* what;
        std::string bytes;
        int records;
    };
    const Case cases[] = {
        {"empty", "", 1},
        {"truncated record", good.substr(0, 135), 1},
        {"one record where two are asked for", good, 2},
        {"record plus trailing bytes", good + "xyz", 1},
        {"zero frame size", zeroSize, 1},
        {"not-a-number in the projection", nanMatrix, 1},
        {"garbage", std::string(136, '\xff'), 1},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("camera.dat");
        writeBytes(path, c.bytes);
        std::vector<ARParam> records;
        std::string error;
        EXPECT_FALSE(ar::readCalibrationFile(path, c.records, records, &error)) << c.what;
        EXPECT_NE(error.find(path), std::string::npos) << c.what << ": " << error;
        ARParam a, b;
        EXPECT_EQ(arParamLoad(path.c_str(), c.records, &a, &b), -1) << c.what;
    }
    // The later format's 176-byte record is not taken for a 2.x record.
    ARParam p;
    EXPECT_EQ(arParamLoad((sampleData() + "/camera_para5.dat").c_str(), 1, &p), -1);
    EXPECT_EQ(arParamLoad((dir.file("missing.dat")).c_str(), 1, &p), -1);
    // Two records back to back load into two structures.
    writeBytes(dir.file("two.dat"), good + good);
    ARParam first{}, second{};
    EXPECT_EQ(arParamLoad((dir.file("two.dat")).c_str(), 2, &first, &second), 0);
    EXPECT_EQ(second.xsize, 640);
    EXPECT_DOUBLE_EQ(second.mat[1][1], first.mat[1][1]);
}

TEST(CalibrationFile, WriteThenReadGivesTheSameRecord) {
    TempDir dir;
    const ARParam p = distortedCamera();
    ASSERT_TRUE(ar::writeCalibrationFile(dir.file("c.dat"), {p}));
    EXPECT_EQ(std::filesystem::file_size(dir.file("c.dat")), 136u);
    std::vector<ARParam> back;
    ASSERT_TRUE(ar::readCalibrationFile(dir.file("c.dat"), 1, back));
    EXPECT_EQ(std::memcmp(&back[0], &p, sizeof p), 0);
}

TEST(CalibrationFile, DefaultCalibrationIsAPlainSixtyDegreeWebcam) {
    ARParam p;
    ASSERT_EQ(arParamLoad(KWO_PROGRAM_DIR "/tracking/camera.dat", 1, &p), 0);
    EXPECT_EQ(p.xsize, 640);
    EXPECT_EQ(p.ysize, 480);
    const double fov = 2 * std::atan(320.0 / p.mat[0][0]) * 180 / M_PI;
    EXPECT_NEAR(fov, 60.0, 0.5);
    EXPECT_DOUBLE_EQ(p.mat[0][0], p.mat[1][1]);
    EXPECT_EQ(p.dist_factor[2], 0.0);
    EXPECT_EQ(p.dist_factor[3], 1.0);
}

TEST(Projection, DecompositionRebuildsTheSourceWithAnUpperTriangularIntrinsic) {
    // A projection with a rotated, shifted camera, as the viewer's flipped
    // matrix is, in both signs.
    double pose[3][4];
    synthetic::makePose(10, -20, 35, 12, -7, 30, pose);
    const ARParam camera = plainCamera();
    for (double sign : {1.0, -1.0}) {
        double source[3][4];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) {
                double sum = c == 3 ? camera.mat[r][3] : 0;
                for (int k = 0; k < 3; ++k) sum += camera.mat[r][k] * pose[k][c];
                source[r][c] = sign * sum;
            }
        double cpara[3][4], trans[3][4];
        ASSERT_EQ(arParamDecompMat(source, cpara, trans), 0);
        EXPECT_DOUBLE_EQ(cpara[2][2], 1.0);
        EXPECT_EQ(cpara[1][0], 0.0);
        EXPECT_EQ(cpara[2][0], 0.0);
        EXPECT_EQ(cpara[2][1], 0.0);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                EXPECT_NEAR(cpara[r][c], camera.mat[r][c], 1e-9);
                EXPECT_NEAR(trans[r][c], pose[r][c], 1e-12);
            }
        for (int r = 0; r < 3; ++r) EXPECT_NEAR(trans[r][3], pose[r][3], 1e-9);
    }
    double degenerate[3][4] = {}, cpara[3][4], trans[3][4];
    EXPECT_EQ(arParamDecompMat(degenerate, cpara, trans), -1);
}

TEST(PatternFile, SamplesLoadIntoSlotsInOrderAndTheFiftyFirstFails) {
    REQUIRE_SAMPLE_DATA();
    ar::Tracker tracker;
    const char* files[] = {"patt.hiro", "patt.kanji", "patt.sample1", "patt.sample2"};
    for (int i = 0; i < 4; ++i) {
        std::string error;
        EXPECT_EQ(tracker.loadPattern(sampleData() + "/" + files[i], &error), i) << error;
    }
    for (int i = 4; i < 50; ++i) EXPECT_EQ(tracker.loadPattern(sampleData() + "/patt.hiro"), i);
    std::string error;
    EXPECT_EQ(tracker.loadPattern(sampleData() + "/patt.kanji", &error), -1);
    EXPECT_NE(error.find("50"), std::string::npos) << error;
}

TEST(PatternFile, SampleBlocksAreTurnsOfEachOther) {
    REQUIRE_SAMPLE_DATA();
    ar::PatternFile pattern;
    ASSERT_TRUE(ar::readPatternFile(sampleData() + "/patt.hiro", pattern));
    ar::PatternFile turned = pattern;
    ar::fillRotations(turned);
    EXPECT_EQ(std::memcmp(&turned, &pattern, sizeof pattern), 0);
    // Paper is light in the raw file.
    EXPECT_GT(pattern.blocks[0][0][0][0], 150);
}

TEST(PatternFile, BrokenFilesAreRejectedWithTheirName) {
    REQUIRE_SAMPLE_DATA();
    TempDir dir;
    const std::string good = readBytes(sampleData() + "/patt.hiro");
    std::string badNumber = good;
    badNumber[good.find("2")] = 'x';
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"empty", ""},
        {"cut short", good.substr(0, good.size() / 2)},
        {"a letter among the numbers", badNumber},
        {"a value above 255", "256 " + good},
        {"a negative value", "-1 " + good.substr(good.find(' ', 2))},
        {"extra numbers after four blocks", good + " 7\n"},
        {"binary garbage", std::string(5000, '\x01')},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("broken.patt");
        writeBytes(path, c.text);
        ar::PatternFile pattern;
        std::string error;
        EXPECT_FALSE(ar::readPatternFile(path, pattern, &error)) << c.what;
        EXPECT_NE(error.find(path), std::string::npos) << c.what;
        ar::Tracker tracker;
        EXPECT_EQ(tracker.loadPattern(path), -1) << c.what;
        EXPECT_EQ(tracker.patternCount(), 0) << c.what;
    }
    ar::Tracker tracker;
    EXPECT_EQ(tracker.loadPattern(dir.file("missing.patt")), -1);
}

TEST(PatternFile, WriteThenReadGivesTheSamePattern) {
    TempDir dir;
    const ar::PatternFile pattern = markers::patternFromPicture(synthetic::designPicture("Mossglider", 256));
    ASSERT_TRUE(ar::writePatternFile(dir.file("m.patt"), pattern));
    ar::PatternFile back;
    ASSERT_TRUE(ar::readPatternFile(dir.file("m.patt"), back));
    EXPECT_EQ(std::memcmp(&back, &pattern, sizeof pattern), 0);
}

TEST(PatternMatch, ConfidenceIsTheCosineOfTheInvertedMeanFreeValues) {
    // Template: left half ink, right half paper. A sample equal to block d of
    // the file gives cf 1 at dir d whatever the light; a flat sample gives -1.
    ar::PatternFile pattern;
    for (int plane = 0; plane < 3; ++plane)
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) pattern.blocks[0][plane][y][x] = x < 8 ? 20 : 240;
    // One cell of ink in the paper half, so the four turns differ.
    for (int plane = 0; plane < 3; ++plane) pattern.blocks[0][plane][0][15] = 20;
    ar::fillRotations(pattern);
    const ar::PatternTemplate t = ar::makeTemplate(pattern);
    double sample[ar::patternValues];
    for (int d = 0; d < 4; ++d) {
        for (int i = 0; i < ar::patternValues; ++i) sample[i] = (&pattern.blocks[d][0][0][0])[i] * 0.5 + 60; // dimmer light
        const ar::Match m = ar::matchSample(sample, &t, 1);
        EXPECT_EQ(m.slot, 0);
        EXPECT_EQ(m.dir, d);
        EXPECT_NEAR(m.cf, 1.0, 0.002);
    }
    for (double& v : sample) v = 128;
    EXPECT_EQ(ar::matchSample(sample, &t, 1).cf, -1);
    EXPECT_EQ(ar::matchSample(sample, &t, 1).slot, -1);
}

// Whatever stands at the named path, the loaders answer at once: a folder or
// a device is refused with the file's name and never read without end.
TEST(LoaderInput, FoldersAndDevicesAreRefusedByName) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("folder"));
    for (const std::string& path : {dir.file("folder"), std::string("/dev/zero"), dir.file("missing")}) {
        SCOPED_TRACE(path);
        std::vector<ARParam> records;
        std::string error;
        EXPECT_FALSE(ar::readCalibrationFile(path, 1, records, &error));
        EXPECT_NE(error.find("'" + path + "'"), std::string::npos) << error;
        ar::PatternFile pattern;
        EXPECT_FALSE(ar::readPatternFile(path, pattern, &error));
        EXPECT_NE(error.find("'" + path + "'"), std::string::npos) << error;
    }
    std::vector<ARParam> records;
    std::string error;
    ar::readCalibrationFile(dir.file("folder"), 1, records, &error);
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
}

// A pattern file is about 12 kB; one above 64 kB is refused even when its
// numbers are right (here the sample padded with blanks).
TEST(LoaderInput, PatternFilesAbove64kBAreRefused) {
    TempDir dir;
    ar::PatternFile pattern;
    fillRotations(pattern);
    ASSERT_TRUE(ar::writePatternFile(dir.file("p.patt"), pattern));
    const std::string text = readBytes(dir.file("p.patt"));
    ASSERT_LT(text.size(), ar::patternFileLimit);
    const struct {
        std::size_t size;
        bool loads;
    } cases[] = {{ar::patternFileLimit, true}, {ar::patternFileLimit + 1, false}, {10 * ar::patternFileLimit, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        writeBytes(dir.file("padded.patt"), text + std::string(c.size - text.size(), ' '));
        std::string error;
        EXPECT_EQ(ar::readPatternFile(dir.file("padded.patt"), pattern, &error), c.loads) << error;
        if (!c.loads) {
            EXPECT_NE(error.find("larger than 64 kB"), std::string::npos) << error;
        }
    }
}

// Records no camera has are refused when read and when installed: they led
// to overflowing pixel arithmetic in the square fit and to non-finite poses.
TEST(CalibrationCheck, RecordsNoCameraHasAreRefused) {
    struct Case {
        const char* what;
        void (*change)(ARParam&);
    };
    const Case refused[] = {
        {"negative focal length", [](ARParam& p) { p.mat[0][0] = -p.mat[0][0]; }},
        {"zero focal length", [](ARParam& p) { p.mat[1][1] = 0; }},
        {"focal length above 100 widths", [](ARParam& p) { p.mat[0][0] = p.mat[1][1] = 100.5 * 640; }},
        {"principal point left of the image", [](ARParam& p) { p.mat[0][2] = -1; }},
        {"principal point below the image", [](ARParam& p) { p.mat[1][2] = 481; }},
        {"distortion scale below 0.5", [](ARParam& p) { p.dist_factor[3] = 0.49; }},
        {"distortion scale above 2", [](ARParam& p) { p.dist_factor[3] = 2.01; }},
        {"distortion that folds over before the corners", [](ARParam& p) { p.dist_factor[2] = 300; }},
        {"distortion far beyond any lens", [](ARParam& p) { p.dist_factor[2] = 1e12; }},
        {"huge translation", [](ARParam& p) { p.mat[2][3] = 1e308; }},
    };
    TempDir dir;
    for (const Case& c : refused) {
        SCOPED_TRACE(c.what);
        ARParam p = distortedCamera();
        c.change(p);
        std::string reason;
        EXPECT_FALSE(ar::checkCalibration(p, &reason));
        EXPECT_FALSE(reason.empty());
        ASSERT_TRUE(ar::writeCalibrationFile(dir.file("c.dat"), {p}));
        std::vector<ARParam> records;
        std::string error;
        EXPECT_FALSE(ar::readCalibrationFile(dir.file("c.dat"), 1, records, &error));
        EXPECT_NE(error.find(reason), std::string::npos) << error;
        EXPECT_EQ(arInitCparam(&p), -1);
    }
    // Real cameras, at the edges of what is allowed, still load.
    const Case accepted[] = {
        {"no distortion", [](ARParam&) {}},
        {"focal length of 100 widths", [](ARParam& p) { p.mat[0][0] = p.mat[1][1] = 100.0 * 640; }},
        {"principal point on the image's corner", [](ARParam& p) { p.mat[0][2] = 640, p.mat[1][2] = 0; }},
        {"distortion scale 0.5", [](ARParam& p) { p.dist_factor[3] = 0.5; }},
        {"distortion scale 2", [](ARParam& p) { p.dist_factor[3] = 2; }},
        {"pincushion distortion", [](ARParam& p) { p.dist_factor[2] = -40; }},
    };
    for (const Case& c : accepted) {
        SCOPED_TRACE(c.what);
        ARParam p = plainCamera();
        c.change(p);
        std::string reason;
        EXPECT_TRUE(ar::checkCalibration(p, &reason)) << reason;
    }
    EXPECT_TRUE(ar::checkCalibration(distortedCamera(), nullptr));
}

} // namespace
} // namespace kwo::test
