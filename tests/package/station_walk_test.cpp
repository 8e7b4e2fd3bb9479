// The README's path to a real station, walked by a technician (not root, a
// member of the group kwo) on the package unpacked in a scratch root, its
// commands as written there with /opt/kwo mapped into the root: print the
// calibration board, calibrate the camera from a recording played as a
// camera, make a marker from the museum's artwork, give it to a creature in
// "kwo.config" starting from the printed configuration, check the station,
// run it and see the creature stand on the new marker.
#include "tests/package/package_fixture.h"
#include "tests/package/station_user.h"
#include "tests/support/files.h"
#include "tests/support/json.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"
#include "tools/synthetic/board_video.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/calibration.h"
#include "video/clip_writer.h"
#include "tests/support/still_clip.h"

#include <gtest/gtest.h>
#include <json/writer.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <regex>
#include <thread>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace kwo::test {
namespace {

using Clock = std::chrono::steady_clock;

// How long each step took, printed as the walk goes: the whole walk must
// stay well within what a test may take on a loaded machine.
class StepClock {
public:
    void step(const std::string& name)
    {
        const Clock::time_point now = Clock::now();
        if (!current.empty())
            std::cout << "step '" << current << "': "
                      << std::chrono::duration<double>(now - started).count() << " s\n";
        current = name;
        started = now;
    }
    ~StepClock() { step(""); }

private:
    std::string current;
    Clock::time_point started;
};

// The museum's artwork: an owl on a branch, wider than high, facing one way
// (a marker must not look the same turned).
void drawOwl(const std::string& path)
{
    cv::Mat art(280, 360, CV_8UC3, cv::Scalar(205, 232, 244));
    cv::line(art, {0, 250}, {300, 215}, cv::Scalar(40, 70, 100), 16);
    cv::ellipse(art, {150, 150}, {70, 95}, 0, 0, 360, cv::Scalar(30, 60, 110), cv::FILLED);
    cv::ellipse(art, {160, 180}, {40, 55}, 0, 0, 360, cv::Scalar(140, 190, 225), cv::FILLED);
    for (const int x : {118, 178}) {
        cv::circle(art, {x, 110}, 24, cv::Scalar(255, 255, 255), cv::FILLED);
        cv::circle(art, {x + 9, 106}, 11, cv::Scalar(0, 0, 0), cv::FILLED);
    }
    const std::vector<cv::Point> beak{{148, 128}, {170, 128}, {166, 158}};
    cv::fillConvexPoly(art, beak, cv::Scalar(0, 140, 255));
    cv::line(art, {90, 60}, {70, 25}, cv::Scalar(30, 60, 110), 12);
    ASSERT_TRUE(cv::imwrite(path, art)) << path;
}

// The calibration recording: the board held at the poses a careful
// technician goes through, each for `framesPerPose` frames at 10 per second,
// stored as the README's recording command stores a camera's (motion JPEG).
void writeRecording(const std::string& path, const synthetic::BoardVideoRenderer& renderer, int framesPerPose)
{
    const std::vector<synthetic::BoardPose> poses = synthetic::thoroughPoses(renderer);
    ClipFormat format;
    format.width = renderer.settings().camera.size.width;
    format.height = renderer.settings().camera.size.height;
    format.framesPerSecond = 10;
    format.frameCount = static_cast<int>(poses.size()) * framesPerPose;
    format.encoding = ClipEncoding::Mjpeg;
    cv::Mat frame;
    writeClip(path, format, [&](int index, std::uint8_t* bgrx) {
        if (index % framesPerPose == 0)
            frame = renderer.render(poses[static_cast<std::size_t>(index / framesPerPose)],
                                    static_cast<std::uint32_t>(index));
        std::memcpy(bgrx, frame.data, frame.total() * frame.elemSize());
    });
}

// The printed black square of a marker picture, edge to edge.
cv::Mat printedSquare(const std::string& markerPng)
{
    const cv::Mat picture = cv::imread(markerPng, cv::IMREAD_GRAYSCALE);
    if (picture.empty())
        return {};
    cv::Mat dark;
    cv::threshold(picture, dark, 128, 255, cv::THRESH_BINARY_INV);
    return picture(cv::boundingRect(dark)).clone();
}

// A still clip of one frame, as a camera over the table sees it.
void writeTableClip(const std::string& path, const synthetic::SyntheticFrame& frame)
{
    writeStillClip(path, frame);
}

bool groupWritable(const std::string& path, gid_t group)
{
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && status.st_gid == group && (status.st_mode & S_IWGRP);
}

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

// Where the camera picture lies in a full-screen capture: the show
// (window/width x window/height) scaled to fit the screen and centred, the
// camera picture in its rendering/viewport.
class ShowPlacement {
public:
    ShowPlacement(const Json::Value& config, int screenWidth, int screenHeight, int frameWidth, int frameHeight)
        : frameWidth(frameWidth), frameHeight(frameHeight)
    {
        const double width = config["window"]["width"].asDouble(), height = config["window"]["height"].asDouble();
        const double scale = std::min(screenWidth / width, screenHeight / height);
        const Json::Value& viewport = config["rendering"]["viewport"];
        const bool relative = viewport["mode"].asString() == "relative";
        left = (screenWidth - width * scale) / 2 + viewport["left"].asDouble() * (relative ? width : 1) * scale;
        top = (screenHeight - height * scale) / 2 + viewport["top"].asDouble() * (relative ? height : 1) * scale;
        viewWidth = viewport["width"].asDouble() * (relative ? width : 1) * scale;
        viewHeight = viewport["height"].asDouble() * (relative ? height : 1) * scale;
    }
    // Screen pixel of a camera pixel.
    cv::Point toScreen(double u, double v) const
    {
        return {static_cast<int>(left + u * viewWidth / frameWidth),
                static_cast<int>(top + v * viewHeight / frameHeight)};
    }
    // Camera pixel shown at a screen pixel; false outside the camera picture.
    bool toFrame(int x, int y, int& u, int& v) const
    {
        u = static_cast<int>((x + 0.5 - left) * frameWidth / viewWidth);
        v = static_cast<int>((y + 0.5 - top) * frameHeight / viewHeight);
        return x >= left && y >= top && u >= 0 && v >= 0 && u < frameWidth && v < frameHeight;
    }

private:
    int frameWidth, frameHeight;
    double left = 0, top = 0, viewWidth = 0, viewHeight = 0; // screen pixels
};

// The screen pixels of the room a creature standing on the marker takes: a
// box 120 mm wide and deep and 120 mm high over the square.
Box standingRoom(const ARParam& camera, const double pose[3][4], const ShowPlacement& placement)
{
    Box box;
    for (const double mx : {-60.0, 60.0})
        for (const double my : {-60.0, 60.0})
            for (const double mz : {0.0, 120.0}) {
                double c[3];
                for (int r = 0; r < 3; ++r)
                    c[r] = pose[r][0] * mx + pose[r][1] * my + pose[r][2] * mz + pose[r][3];
                const double u = camera.mat[0][0] * c[0] / c[2] + camera.mat[0][1] * c[1] / c[2] + camera.mat[0][2];
                const double v = camera.mat[1][1] * c[1] / c[2] + camera.mat[1][2];
                const cv::Point p = placement.toScreen(u, v);
                box.left = std::min(box.left, p.x - 8);
                box.right = std::max(box.right, p.x + 8);
                box.top = std::min(box.top, p.y - 8);
                box.bottom = std::max(box.bottom, p.y + 8);
            }
    return box;
}

// What a capture shows of the table clip: how much of the camera picture
// away from the marker is the clip's frame, and how many pixels of the
// standing room are something else (the creature).
struct Sighting {
    double frameShown = 0;  // share of sampled pixels outside the room alike the frame
    int creaturePixels = 0; // pixels in the room unlike the frame
};

Sighting look(const Picture& screen, const synthetic::SyntheticFrame& frame, const ShowPlacement& placement,
              const Box& room)
{
    Sighting sighting;
    int samples = 0, alike = 0;
    for (int y = 0; y < screen.height; ++y)
        for (int x = 0; x < screen.width; ++x) {
            int u = 0, v = 0;
            const bool inRoom = room.contains(x, y);
            if (!placement.toFrame(x, y, u, v) || (!inRoom && (x % 8 || y % 8)))
                continue;
            const std::uint8_t* f = frame.data() + (static_cast<std::size_t>(v) * frame.width + u) * 4;
            const Picture::Pixel p = screen.at(x, y);
            const int difference = std::abs(p.r - f[2]) + std::abs(p.g - f[1]) + std::abs(p.b - f[0]);
            if (inRoom) {
                sighting.creaturePixels += difference > 90;
            } else {
                ++samples;
                alike += difference < 60;
            }
        }
    sighting.frameShown = samples ? static_cast<double>(alike) / samples : 0;
    return sighting;
}

TEST_F(Package, TechnicianWalksTheRealStationPath)
{
    StepClock clock;
    clock.step("set up the station");
    // A root of its own, as a fresh installation: the other tests run the
    // programs as root in the shared one, leaving files a technician could
    // not rewrite.
    const std::string root = scratchFolder().file("station");
    const std::string control = scratchFolder().file("control");
    ASSERT_EQ(run({"dpkg-deb", "-x", deb, root}).exitCode, 0);
    ASSERT_EQ(run({"dpkg-deb", "--control", deb, control}).exitCode, 0);
    const std::string program = root + "/opt/kwo";
    const StationUser technician(root, control + "/postinst", scratchFolder().file("technician"));
    ASSERT_EQ(technician.problem(), "");
    std::cout << "The technician is " << technician.describe() << "\n";
    for (const std::string& folder : {program, program + "/tracking"})
        ASSERT_TRUE(groupWritable(folder, technician.gid())) << folder << " is not the group's to write";
    const std::string home = technician.home();
    const auto homeFile = [&](const std::string& name) { return home + "/" + name; };

    clock.step("print the board");
    ASSERT_TRUE(fs::exists(program + "/tracking/markers.pdf"));
    ProcessResult result = technician.run({program + "/kwo-calibrate", "--print-board", "board.pdf"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("A4 landscape"), std::string::npos) << result.out;
    // A page to print at 100 %: A4 landscape, 297 x 210 mm in points.
    const std::string board = readFile(homeFile("board.pdf"));
    EXPECT_EQ(board.rfind("%PDF-", 0), 0u);
    const std::string mediaBox = board.substr(std::min(board.find("/MediaBox"), board.size()), 60);
    std::smatch page;
    ASSERT_TRUE(std::regex_search(mediaBox, page, std::regex(R"(^/MediaBox \[ *0 +0 +([0-9.]+) +([0-9.]+) *\])")))
        << "no page size in board.pdf";
    EXPECT_NEAR(std::stod(page[1]), 297 / 25.4 * 72, 0.5);
    EXPECT_NEAR(std::stod(page[2]), 210 / 25.4 * 72, 0.5);

    clock.step("record the board");
    // The board the tool prints, as a camera of known lens sees it (fewer
    // samples per pixel than the calibration tests take: the walk is about
    // the path, not the last tenth of a percent). Each pose is held for a
    // second, so that a tool slowed down by a busy machine still sees it
    // still.
    synthetic::BoardVideoSettings settings;
    settings.supersample = 2;
    const synthetic::BoardVideoRenderer renderer{settings};
    writeRecording(homeFile("station.mkv"), renderer, 10);
    technician.own(homeFile("station.mkv"));
    const std::vector<std::string> recordingAsCamera{"KWO_CLIP_CAMERAS=" + homeFile("station.mkv")};

    clock.step("calibrate");
    result = technician.run({program + "/kwo-calibrate", "--list-cameras"}, recordingAsCamera);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("station.mkv\n"), std::string::npos) << result.out;
    // Into the station's tracking folder, as the kiosk section has it; the
    // clip camera loops until the tool has its views.
    const std::string calibration = program + "/tracking/station-camera.dat";
    result = technician.run({program + "/kwo-calibrate", "--camera", "station.mkv", "--size", "640x480", "--output",
                             calibration},
                            recordingAsCamera, std::chrono::minutes(2));
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("error on views held out of the fit"), std::string::npos) << result.out;
    std::cout << result.out;
    std::vector<ARParam> records;
    std::string error;
    ASSERT_TRUE(ar::readCalibrationFile(calibration, 1, records, &error)) << error;
    const ARParam camera = records[0];
    // Focal lengths as the tracker uses them; the calibration's own accuracy
    // is the calibration tests' business, this is the camera it came from.
    EXPECT_EQ(camera.xsize, 640);
    EXPECT_NEAR(camera.mat[0][0] * camera.dist_factor[3] / renderer.settings().camera.fx, 1, 0.01) << result.out;
    EXPECT_NEAR(camera.mat[1][1] * camera.dist_factor[3] / renderer.settings().camera.fy, 1, 0.01) << result.out;
    EXPECT_TRUE(groupWritable(calibration, technician.gid()));

    clock.step("make a marker");
    drawOwl(homeFile("owl.png"));
    technician.own(homeFile("owl.png"));
    result = technician.run(
        {program + "/kwo-make-marker", "--picture", "owl.png", "--output", program + "/tracking/Owl"});
    ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
    std::cout << result.out;
    for (const char* extension : {".pattern", ".png", ".pdf"})
        EXPECT_TRUE(groupWritable(program + "/tracking/Owl" + extension, technician.gid())) << extension;

    clock.step("configure");
    result = technician.run({program + "/kwo", "--print-config"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Json::Value printed = parseJson(result.out);
    Json::Value objects = printed["tracking"]["objects"];
    ASSERT_TRUE(objects.isArray()) << result.out;
    bool given = false;
    for (Json::Value& object : objects)
        if (object["name"] == "Mossglider") {
            object["pattern"]["file"] = "tracking/Owl.pattern";
            object["pattern"]["size"] = 83;
            given = true;
        }
    ASSERT_TRUE(given) << "no Mossglider in the printed tracking/objects:\n" << result.out;
    Json::Value station;
    station["tracking"]["objects"] = objects;
    station["tracking"]["params"] = "tracking/station-camera.dat";
    writeFile(homeFile("kwo.config"), Json::StyledWriter().write(station));
    technician.own(homeFile("kwo.config"));
    result = technician.run({"cp", "kwo.config", program + "/kwo.config"});
    ASSERT_EQ(result.exitCode, 0) << result.err;

    clock.step("lay the marker on the table");
    // The printed marker lying on the table, tilted back as before a
    // station's camera, seen through the camera just calibrated.
    synthetic::PrintedMarker owl;
    owl.picture = printedSquare(program + "/tracking/Owl.png");
    ASSERT_FALSE(owl.picture.empty());
    owl.width = 83;
    synthetic::makePose(-35, 0, 10, 0, 30, 480, owl.pose);
    const synthetic::SyntheticFrame table = synthetic::renderFrame(camera, {owl});
    writeTableClip(homeFile("table.mkv"), table);
    technician.own(homeFile("table.mkv"));
    const std::vector<std::string> tableAsCamera{"KWO_CLIP_CAMERAS=" + homeFile("table.mkv")};

    clock.step("check the station");
    const std::string manual = run({"sh", "-c", "zcat '" + root + "/usr/share/man/man1/kwo.1.gz'"}).out;
    if (manual.find("\\-\\-check") == std::string::npos && manual.find("--check") == std::string::npos) {
        std::cout << "kwo --check not run: the packaged manual page does not describe it\n";
    } else {
        result = technician.run({program + "/kwo", "--check"}, tableAsCamera, std::chrono::minutes(1));
        EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
        std::cout << result.out;
    }

    clock.step("run the show");
    const std::unique_ptr<Process> viewer = technician.start({program + "/kwo"}, tableAsCamera);
    const std::string window = waitForWindow("^Telvarin$", 60);
    if (window.empty()) {
        kill(viewer->pid(), SIGTERM);
        FAIL() << "no window; standard error:\n" << viewer->wait(std::chrono::seconds(30)).err;
    }
    // The configuration the run starts from, for the camera picture's place.
    result = technician.run({program + "/kwo", "--print-config"});
    const Json::Value config = parseJson(result.out);
    Picture screen;
    Sighting sighting;
    Box room;
    // A creature stands there when a good part of its room is drawn over
    // (the marker's own edges, blurred by the scaling, are a few hundred).
    int enough = 0;
    const Clock::time_point until = Clock::now() + std::chrono::seconds(60);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        screen = captureWindow(window);
        ASSERT_FALSE(screen.empty());
        const ShowPlacement placement(config, screen.width, screen.height, table.width, table.height);
        room = standingRoom(camera, owl.pose, placement);
        enough = (room.right - room.left) * (room.bottom - room.top) / 20;
        sighting = look(screen, table, placement, room);
    } while ((sighting.frameShown < 0.9 || sighting.creaturePixels < enough) && Clock::now() < until);
    if (sighting.frameShown < 0.9 || sighting.creaturePixels < enough)
        savePicture(screen, "/tmp/kwo-station-walk.png");
    std::cout << "The camera picture shows the table at " << sighting.frameShown * 100 << " % of its samples; "
              << sighting.creaturePixels << " pixels of the marker's room are drawn over (" << enough
              << " needed)\n";
    EXPECT_GE(sighting.frameShown, 0.9) << "the camera picture is not the table's; see /tmp/kwo-station-walk.png";
    EXPECT_GE(sighting.creaturePixels, enough) << "no creature on the marker (room " << room.left << "," << room.top
                                               << " to " << room.right << "," << room.bottom
                                               << "); see /tmp/kwo-station-walk.png";

    // How the kiosk unit stops it.
    kill(viewer->pid(), SIGTERM);
    result = viewer->wait(std::chrono::seconds(30));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("Exception"), std::string::npos) << result.err;
    for (const char* written : {"user.config", "ogre.log"})
        EXPECT_TRUE(groupWritable(program + "/" + written, technician.gid())) << written;
}

} // namespace
} // namespace kwo::test
