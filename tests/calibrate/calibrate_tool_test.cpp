// kwo-calibrate run as a station's technician runs it, on clip files written
// here: the camera file it writes against the camera the clip was rendered
// through, and what it says and leaves alone when it cannot calibrate.

#include "tests/calibrate/calibration_clip.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tracking/ar/calibration.h"

#include <gtest/gtest.h>
#include <opencv2/calib3d.hpp>

#include <cmath>
#include <filesystem>
#include <thread>

namespace {

using kwo::test::ProcessResult;
using kwo::test::run;

const std::string tool = KWO_PROGRAM_DIR "/kwo-calibrate";

// The clip of 20 poses is rendered once for the whole program.
class CalibrateTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new kwo::test::TempDir;
        clip = new kwo::test::CalibrationClip(kwo::test::writeCalibrationClip(folder->file("board.mkv"), 20, 3));
    }
    static void TearDownTestSuite() {
        delete clip;
        delete folder;
    }
    static kwo::test::TempDir* folder;
    static kwo::test::CalibrationClip* clip;
};
kwo::test::TempDir* CalibrateTool::folder = nullptr;
kwo::test::CalibrationClip* CalibrateTool::clip = nullptr;

cv::Point2d observedThrough(const ARParam& camera, const cv::Point3d& ray) {
    const double ix = camera.mat[0][0] * ray.x / ray.z + camera.mat[0][1] * ray.y / ray.z + camera.mat[0][2];
    const double iy = camera.mat[1][1] * ray.y / ray.z + camera.mat[1][2];
    cv::Point2d observed;
    kwo::ar::idealToObserved(camera.dist_factor, ix, iy, observed.x, observed.y);
    return observed;
}

cv::Point3d rayOf(const ARParam& camera, const cv::Point2d& observed) {
    double ix, iy;
    kwo::ar::observedToIdeal(camera.dist_factor, observed.x, observed.y, ix, iy);
    const double y = (iy - camera.mat[1][2]) / camera.mat[1][1];
    const double x = (ix - camera.mat[0][2] - camera.mat[0][1] * y) / camera.mat[0][0];
    return {x, y, 1};
}

TEST_F(CalibrateTool, RecoversTheCameraTheClipWasRenderedThrough) {
    // An earlier calibration is replaced, keeping who may read it.
    const std::string output = folder->file("camera.dat");
    folder->write("camera.dat", "an earlier calibration");
    namespace fs = std::filesystem;
    fs::permissions(output, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const ProcessResult result = run({tool, "--video", folder->file("board.mkv"), "--output", output, "--no-window",
                                      "--views", "40"},
                                     "", {}, std::chrono::minutes(5));
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    std::vector<ARParam> records;
    std::string error;
    ASSERT_TRUE(kwo::ar::readCalibrationFile(output, 1, records, &error)) << error;
    EXPECT_EQ(fs::file_size(output), 136u);
    EXPECT_EQ(fs::status(output).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder->path()), {}), 2) << "a file was left behind";
    const ARParam& found = records[0];
    const ARParam& truth = clip->camera;
    EXPECT_EQ(found.xsize, 640);
    EXPECT_EQ(found.ysize, 480);

    // The scale and the focal lengths only say together how far a ray lands
    // from the lens centre; compared at scale 1, as the true camera has it.
    const double s = found.dist_factor[3];
    const double fx = found.mat[0][0] * s, fy = found.mat[1][1] * s;
    const double cx = found.dist_factor[0] + s * (found.mat[0][2] - found.dist_factor[0]);
    const double cy = found.dist_factor[1] + s * (found.mat[1][2] - found.dist_factor[1]);
    EXPECT_NEAR(fx / truth.mat[0][0], 1, 0.01) << "fx " << fx;
    EXPECT_NEAR(fy / truth.mat[1][1], 1, 0.01) << "fy " << fy;
    EXPECT_NEAR(cx / truth.mat[0][2], 1, 0.01) << "cx " << cx;
    EXPECT_NEAR(cy / truth.mat[1][2], 1, 0.01) << "cy " << cy;

    // The tracker finds each pose itself from the corners it sees: every
    // pose's true corners, undistorted with the written lens, fitted with a
    // pose through the written intrinsics and projected back through the
    // lens, land on themselves. (A principal point off by a pixel is a
    // camera turned by a fraction of a degree: no picture tells them apart,
    // and no pose the tracker computes suffers from it.)
    const cv::Matx33d intrinsics(found.mat[0][0], found.mat[0][1], found.mat[0][2], 0, found.mat[1][1],
                                 found.mat[1][2], 0, 0, 1);
    const std::vector<cv::Point3f> board = clip->board.cornerPositions();
    double worst = 0, sum = 0, worstRay = 0;
    int count = 0;
    for (const auto& pose : clip->corners) {
        std::vector<cv::Point2d> ideal;
        for (const cv::Point2d& corner : pose) {
            cv::Point2d p;
            kwo::ar::observedToIdeal(found.dist_factor, corner.x, corner.y, p.x, p.y);
            ideal.push_back(p);
        }
        cv::Mat rotation, translation;
        ASSERT_TRUE(cv::solvePnP(board, ideal, intrinsics, cv::noArray(), rotation, translation));
        std::vector<cv::Point2d> projected;
        cv::projectPoints(std::vector<cv::Point3d>(board.begin(), board.end()), rotation, translation, intrinsics,
                          cv::noArray(), projected);
        for (std::size_t i = 0; i < pose.size(); ++i) {
            cv::Point2d landed;
            kwo::ar::idealToObserved(found.dist_factor, projected[i].x, projected[i].y, landed.x, landed.y);
            const double error = cv::norm(landed - pose[i]);
            worst = std::max(worst, error);
            sum += error * error;
            ++count;
            // The same corner's true ray through the written calibration.
            worstRay = std::max(worstRay, cv::norm(observedThrough(found, rayOf(truth, pose[i])) - pose[i]));
        }
    }
    EXPECT_LT(worst, 0.3) << "RMS " << std::sqrt(sum / count);
    std::printf("recovered fx %.3f fy %.3f cx %.3f cy %.3f (scale-1 form), distortion %.3f %.3f %.4f %.6f;\n"
                "true fx %.3f fy %.3f cx %.3f cy %.3f, distortion %.3f %.3f %.4f %.6f;\n"
                "true corners refitted land within %.3f px (RMS %.3f px); true rays land within %.3f px\n",
                fx, fy, cx, cy, found.dist_factor[0], found.dist_factor[1], found.dist_factor[2], s, truth.mat[0][0],
                truth.mat[1][1], truth.mat[0][2], truth.mat[1][2], truth.dist_factor[0], truth.dist_factor[1],
                truth.dist_factor[2], truth.dist_factor[3], worst, std::sqrt(sum / count), worstRay);

    // What the technician reads: the figures and the error.
    for (const char* text : {"fx ", "fy ", "cx ", "cy ", "distortion: centre x", "factor", "scale",
                             "reprojection error with the tracker's model: RMS", "Camera file written"})
        EXPECT_NE(result.out.find(text), std::string::npos) << text << " missing from\n" << result.out;
    EXPECT_NE(result.out.find("View 20 taken"), std::string::npos) << result.out;
}

// A refusal leaves the output as it was (or absent) and nothing beside it.
void expectNothingWritten(const kwo::test::TempDir& folder, const std::string& output, const std::string& earlier,
                          int filesBefore) {
    if (earlier.empty())
        EXPECT_FALSE(std::filesystem::exists(output)) << "a camera file was written";
    else
        EXPECT_EQ(kwo::test::readFile(output), earlier) << "the earlier calibration was replaced";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), filesBefore)
        << "a file was left behind";
}

TEST(CalibrateToolFailures, ABoardNeverSeenWritesNothing) {
    kwo::test::TempDir folder;
    kwo::test::writeEmptyClip(folder.file("table.mkv"), 8);
    // The station's earlier calibration stays as it was.
    const std::string old(136, 'k');
    folder.write("camera.dat", old);
    const ProcessResult result = run({tool, "--video", folder.file("table.mkv"), "--output", folder.file("camera.dat"),
                                      "--no-window"},
                                     "", {}, std::chrono::minutes(2));
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_NE(result.err.find("the board (9 x 6 inner corners) was never seen in 8 frames of the video '" +
                              folder.file("table.mkv") + "'"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("nothing written to " + folder.file("camera.dat")), std::string::npos) << result.err;
    EXPECT_EQ(folder.read("camera.dat"), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2) << "a file was left behind";
}

// Four views are too few for a calibration, though enough for a fit.
// (A small camera, so that the views come quickly.)
TEST(CalibrateToolFailures, TooFewViewsWriteNothing) {
    kwo::test::TempDir folder;
    kwo::test::writeCalibrationClip(folder.file("board.mkv"), 4, 2, 320);
    const std::string output = folder.file("camera.dat");
    const ProcessResult result =
        run({tool, "--video", folder.file("board.mkv"), "--output", output, "--no-window"}, "", {},
            std::chrono::minutes(2));
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_NE(result.out.find("View 4 taken"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("only 4 views of the board were taken (at least 10 are needed"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("nothing written to " + output), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("Camera file written"), std::string::npos) << result.out;
    expectNothingWritten(folder, output, "", 1);
}

struct BadCall {
    const char* name;
    std::vector<std::string> arguments; // "@" stands for the test's folder
    int exitCode;
    const char* message;
};

class CalibrateToolArguments : public ::testing::TestWithParam<BadCall> {};

TEST_P(CalibrateToolArguments, NameWhatIsWrongAndWriteNothing) {
    kwo::test::TempDir folder;
    folder.write("notes.txt", "not a video\n");
    std::vector<std::string> command{tool};
    for (std::string argument : GetParam().arguments) {
        if (const auto at = argument.find('@'); at != std::string::npos) argument.replace(at, 1, folder.path());
        command.push_back(argument);
    }
    const ProcessResult result = run(command, "", {"KWO_CLIP_CAMERAS=" + folder.file("none.mkv")}, std::chrono::minutes(1));
    EXPECT_EQ(result.exitCode, GetParam().exitCode) << result.out << result.err;
    std::string expected = GetParam().message;
    for (auto at = expected.find('@'); at != std::string::npos; at = expected.find('@', at + folder.path().size()))
        expected.replace(at, 1, folder.path());
    EXPECT_NE(result.err.find(expected), std::string::npos) << result.err;
    // Only what the test put there.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Calls, CalibrateToolArguments,
    ::testing::Values(
        BadCall{"Nothing", {}, 2, "nothing to do"},
        BadCall{"Unknown", {"--frobnicate"}, 2, "unknown argument '--frobnicate'"},
        BadCall{"MissingValue", {"--output", "@/c.dat", "--video"}, 2, "--video needs a value"},
        BadCall{"NoOutput", {"--video", "@/v.mkv"}, 2, "--video needs --output"},
        BadCall{"TwoTasks", {"--video", "@/v.mkv", "--print-board", "@/b.pdf"}, 2, "give only one of"},
        BadCall{"BoardText", {"--board", "9by6", "--print-board", "@/b.pdf"}, 2, "--board: '9by6' is not"},
        BadCall{"BoardTooSmall", {"--board", "2x6", "--print-board", "@/b.pdf"}, 2, "--board: '2x6' is not"},
        BadCall{"SquareZero", {"--square", "0", "--print-board", "@/b.pdf"}, 2, "--square: '0' is not"},
        BadCall{"BoardOffThePage", {"--square", "40", "--print-board", "@/b.pdf"}, 2,
                "--board/--square: the board with its white margin measures 480 x 360 mm"},
        BadCall{"FewViews", {"--views", "3", "--video", "@/v.mkv", "--output", "@/c.dat"}, 2, "--views: '3' is not"},
        BadCall{"Seconds", {"--seconds", "soon", "--video", "@/v.mkv", "--output", "@/c.dat"}, 2,
                "--seconds: 'soon' is not"},
        BadCall{"SizeText", {"--size", "640", "--camera", "c", "--output", "@/c.dat"}, 2, "--size: '640' is not"},
        BadCall{"SizeForAFile", {"--size", "640x480", "--video", "@/v.mkv", "--output", "@/c.dat"}, 2,
                "--size is only for a camera"},
        BadCall{"OutputWithoutCalibrating", {"--print-board", "@/b.pdf", "--output", "@/c.dat"}, 2,
                "--output is only for calibrating"},
        BadCall{"NoVideo", {"--video", "@/v.mkv", "--output", "@/c.dat"}, 1, "--video '@/v.mkv': no such file"},
        BadCall{"VideoIsAFolder", {"--video", "@", "--output", "@/c.dat"}, 1, "--video '@': not a file"},
        BadCall{"NotAVideo", {"--video", "@/notes.txt", "--output", "@/c.dat"}, 1,
                "--video '@/notes.txt' cannot be played"},
        BadCall{"OutputFolderMissing", {"--video", "@/notes.txt", "--output", "@/no/c.dat"}, 1,
                "--output '@/no/c.dat': the folder '@/no' does not exist"},
        BadCall{"OutputIsAFolder", {"--video", "@/notes.txt", "--output", "@"}, 1, "--output '@' is a folder"},
        BadCall{"UnknownCamera", {"--camera", "Nowhere Cam", "--output", "@/c.dat"}, 1,
                "--camera 'Nowhere Cam': no such camera; the cameras are 'none.mkv'"},
        BadCall{"BoardFolderMissing", {"--print-board", "@/no/b.pdf"}, 1,
                "--print-board '@/no/b.pdf': the file cannot be written"}),
    [](const auto& info) { return std::string(info.param.name); });

// A clip camera is a camera like any other: listed by its name, played in
// real time and looping, its views taken while it plays.
TEST(CalibrateToolCamera, CalibratesFromAClipCameraByName) {
    kwo::test::TempDir folder;
    // Each pose held for 3 seconds: a busy machine still sees it twice in a
    // row, as a view needs.
    kwo::test::writeCalibrationClip(folder.file("station.mkv"), 12, 30, 640, kwo::ClipEncoding::Mjpeg);
    const std::string cameras = "KWO_CLIP_CAMERAS=" + folder.file("station.mkv");
    const ProcessResult list = run({tool, "--list-cameras"}, "", {cameras});
    EXPECT_EQ(list.exitCode, 0);
    EXPECT_NE(list.out.find("station.mkv\n"), std::string::npos) << list.out;

    const ProcessResult result = run({tool, "--camera", "station.mkv", "--output", folder.file("camera.dat"),
                                      "--views", "10", "--seconds", "240", "--no-window"},
                                     "", {cameras}, std::chrono::minutes(5));
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("View 10 taken"), std::string::npos) << result.out;
    std::vector<ARParam> records;
    std::string error;
    ASSERT_TRUE(kwo::ar::readCalibrationFile(folder.file("camera.dat"), 1, records, &error)) << error;
    EXPECT_EQ(records[0].xsize, 640);
    EXPECT_NEAR(records[0].mat[0][0] * records[0].dist_factor[3], 615, 615 * 0.03);
}

// The camera lost once enough views were taken: a calibration from a
// session cut short is not written, however many views it has. (A small
// camera, so that the views come quickly; each pose held for a second, so
// that a camera read at a few frames a second on a busy machine still sees
// it still twice in a row.)
TEST(CalibrateToolFailures, ACameraLostMidwayWritesNothing) {
    kwo::test::TempDir folder;
    const std::string clip = folder.file("station.mkv");
    kwo::test::writeCalibrationClip(clip, 6, 10, 320);
    const std::string earlier(136, 'k');
    folder.write("camera.dat", earlier);
    const std::string output = folder.file("camera.dat");
    kwo::test::Process calibration({tool, "--camera", "station.mkv", "--output", output, "--views", "20", "--seconds",
                                    "240", "--no-window"},
                                   "", {"KWO_CLIP_CAMERAS=" + clip});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    while (calibration.running() && calibration.outputSoFar().find("View 5 taken") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(calibration.outputSoFar().find("View 5 taken"), std::string::npos)
        << calibration.outputSoFar() << calibration.errorSoFar();
    // Cut short in place while it plays, as copying a broken file over it
    // does: the camera stops.
    std::filesystem::resize_file(clip, 600);
    const ProcessResult result = calibration.wait(std::chrono::minutes(1));
    EXPECT_EQ(result.exitCode, 1) << result.out << result.err;
    EXPECT_NE(result.err.find("the camera 'station.mkv' stopped ("), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("): nothing written to " + output), std::string::npos) << result.err;
    EXPECT_EQ(result.out.find("Camera file written"), std::string::npos) << result.out;
    expectNothingWritten(folder, output, earlier, 2);
}

TEST(CalibrateToolBoard, HelpAndTheBoardPage) {
    const ProcessResult help = run({tool, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* text : {"--print-board", "--camera", "--video", "--output", "--board", "--no-window"})
        EXPECT_NE(help.out.find(text), std::string::npos) << text;

    kwo::test::TempDir folder;
    const ProcessResult board = run({tool, "--print-board", folder.file("board.pdf"), "--square", "18", "--board", "11x6"});
    ASSERT_EQ(board.exitCode, 0) << board.err;
    EXPECT_NE(board.out.find("11 x 6 inner corners, squares of 18 mm"), std::string::npos) << board.out;
    // A4 landscape in points.
    const std::string pdf = kwo::test::readFile(folder.file("board.pdf"));
    EXPECT_NE(pdf.find("/MediaBox [ 0 0 841.889764 595.275591 ]"), std::string::npos);
}

} // namespace
