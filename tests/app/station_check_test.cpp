// `kwo --check`: the station doctor run as a technician runs it, from a
// program folder with a clip camera. A good station gives
// only "ok" lines and exit 0; each broken station names its file and key in
// one line and exits 1 exactly when a start-up would fail. Nothing is
// written: "user.config" stays byte for byte, "ogre.log" is not made.
#include "tests/support/still_clip.h"
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/viewer.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/calibration.h"
#include "video/clip_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace kwo::test {
namespace {

namespace fs = std::filesystem;

// One clip camera, "table.mkv": a dark left half (grey 40) and a light right
// half (grey 200), so its picture suggests a threshold between the two.
std::vector<std::string> tableCamera()
{
    static const auto folder = std::make_unique<TempDir>();
    static const std::string clip = [] {
        const std::string path = folder->file("table.mkv");
        ClipFormat format;
        format.width = 320;
        format.height = 240;
        format.frameCount = 10;
        format.encoding = ClipEncoding::Raw;
        writeClip(path, format, [&](int, std::uint8_t* bgrx) {
            for (int y = 0; y < format.height; ++y)
                for (int x = 0; x < format.width; ++x)
                    std::memset(bgrx + (static_cast<std::size_t>(y) * format.width + x) * 4,
                                x < format.width / 2 ? 40 : 200, 4);
        });
        return path;
    }();
    return {"KWO_CLIP_CAMERAS=" + clip};
}

std::vector<std::string> noCamera()
{
    return {};
}

ProcessResult checkStation(const ProgramFolder& program, const std::vector<std::string>& environment,
                           const std::vector<std::string>& arguments = {})
{
    std::vector<std::string> command{program.executable(), "--check"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    // Started from elsewhere: the check, like the viewer, works in its own folder.
    return run(command, fs::temp_directory_path().string(), environment, std::chrono::seconds(120));
}

// The lines that start with `start` (a verdict and what it names).
int linesStartingWith(const std::string& text, const std::string& start)
{
    int found = 0;
    for (const std::string& line : linesOf(text))
        found += line.rfind(start, 0) == 0 ? 1 : 0;
    return found;
}

TEST(StationCheck, AGoodStationIsOkInEveryLineAndNothingIsWritten)
{
    ProgramFolder program;
    // The built-in defaults (no kwo.config): four creatures and their archives,
    // the stand-in calibration. A remembered camera with the technician's comment.
    const std::string userDocument = "// the table camera\n{ \"camera\": \"still.mkv\" }\n";
    program.write("user.config", userDocument);
    struct stat before {};
    ASSERT_EQ(::stat(program.file("user.config").c_str(), &before), 0);

    const ProcessResult result = checkStation(program, tableCamera());
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    const std::vector<std::string> lines = linesOf(result.out);
    ASSERT_GE(lines.size(), 2u) << result.out;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        EXPECT_EQ(lines[i].rfind("ok: ", 0), 0u) << lines[i];
    EXPECT_EQ(lines.back(), "The station would start: 0 warnings.");

    for (const std::string& expected :
         {std::string("ok: kwo.config: absent: the built-in defaults apply"),
          std::string("ok: kwo.config: every key read and checked"),
          std::string("ok: './media/graphics/Quillmoth.dat' (media/locations[3]): every member's size and CRC "
                      "check out"),
          std::string("ok: 'tracking/Mossglider.pattern' (tracking/objects[3]/pattern/file): read, 83 mm, for "
                      "Mossglider"),
          std::string("ok: tracking/objects: no two patterns alike: the most alike, "),
          std::string("ok: camera 'table.mkv' (clip file "),
          std::string("ok: 'tracking/camera.dat' (tracking/params): made for 640x480 frames, used for 320x240, "
                      "field of view "),
          std::string("ok: tracking/threshold: the camera's picture suggests "),
          std::string("ok: display '"),
          std::string("ok: program folder '" + program.path() + "/': new files can be made there"),
          std::string("ok: user.config: can be rewritten"), std::string("ok: ogre.log: absent: a start-up makes it")})
        EXPECT_EQ(linesStartingWith(result.out, expected), 1) << expected << "\n" << result.out;
    EXPECT_NE(result.out.find(", frames 320x240: one picture taken\n"), std::string::npos) << result.out;
    // Between the dark half and the light one.
    const std::string suggestion = "ok: tracking/threshold: the camera's picture suggests ";
    const std::size_t at = result.out.find(suggestion);
    ASSERT_NE(at, std::string::npos) << result.out;
    const int suggested = std::stoi(result.out.substr(at + suggestion.size()));
    EXPECT_GE(suggested, 40);
    EXPECT_LT(suggested, 200);

    EXPECT_EQ(program.read("user.config"), userDocument);
    struct stat after {};
    ASSERT_EQ(::stat(program.file("user.config").c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_FALSE(program.exists("ogre.log"));
    EXPECT_FALSE(program.exists("user.config.new"));
}

// A copy of a built archive with one byte of its middle changed.
void writeDamagedArchive(const ProgramFolder& program, const std::string& name)
{
    std::string bytes = readFile(program.file("media/graphics/Core.dat"));
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x5a);
    program.write(name, bytes);
}

// The stand-in calibration with its frames and focal lengths changed.
void writeCalibration(const ProgramFolder& program, const std::string& name, int width, int height, double focalScale)
{
    std::vector<ARParam> records;
    std::string error;
    ASSERT_TRUE(ar::readCalibrationFile(program.file("tracking/camera.dat"), 1, records, &error)) << error;
    ARParam& param = records[0];
    param = ar::changeSize(param, width, height);
    param.mat[0][0] *= focalScale;
    param.mat[1][1] *= focalScale;
    ASSERT_TRUE(ar::writeCalibrationFile(program.file(name), records, &error)) << error;
}

// Quillmoth's pattern with a few cells a shade lighter: the same design to the tracker.
void writeTwinPattern(const ProgramFolder& program, const std::string& name)
{
    std::istringstream in(readFile(program.file("tracking/Quillmoth.pattern")));
    std::ostringstream out;
    int index = 0;
    for (int value; in >> value; ++index)
        out << (index % 97 == 0 ? std::min(255, value + 20) : value) << (index % 16 == 15 ? "\n" : " ");
    program.write(name, out.str());
}

const char* const twoCreatures = R"("tracking": { "objects": [
    { "name": "Quillmoth", "pattern": { "file": "tracking/Quillmoth.pattern", "size": 83 } },
    { "name": "Brackenjaw", "pattern": { "file": "%s", "size": 83 } } ] })";

std::string withSecondPattern(const std::string& file)
{
    std::string objects = twoCreatures;
    objects.replace(objects.find("%s"), 2, file);
    return "{ " + objects + " }";
}

struct BrokenStation {
    const char* fault;
    std::function<void(const ProgramFolder&)> breakIt;
    std::function<std::vector<std::string>()> camera;
    std::string line; // the start of the line that names the fault
    int exitCode;
};

TEST(StationCheck, EachBrokenStationIsNamedByItsFileAndKey)
{
    const std::vector<BrokenStation> stations = {
        {"a key of the wrong type",
         [](const ProgramFolder& p) { p.write("kwo.config", R"({ "tracking": { "max": "lots" } })"); }, tableCamera,
         "error: kwo.config: ", 1},
        {"a boolean written as a string",
         [](const ProgramFolder& p) { p.write("kwo.config", R"({ "window": { "fullscreen": "false" } })"); },
         tableCamera, "warning: kwo.config: window/fullscreen: the string \"false\" counts as true", 0},
        {"a document that is not JSON", [](const ProgramFolder& p) { p.write("kwo.config", "{ \"window\": "); },
         tableCamera, "error: kwo.config: Configuration file error: ", 1},
        {"a damaged media archive",
         [](const ProgramFolder& p) {
             writeDamagedArchive(p, "Damaged.dat");
             p.write("kwo.config", R"({ "media": { "locations": [ "./media/graphics/Core.dat", "Damaged.dat" ] },
                                        "tracking": { "objects": [], "collisions": [] } })");
         },
         tableCamera, "error: 'Damaged.dat' (media/locations[1]): Media archive 'Damaged.dat' is damaged", 1},
        {"a missing media archive",
         [](const ProgramFolder& p) {
             p.write("kwo.config", R"({ "media": { "locations": [ "./media/graphics/Gone.dat" ] } })");
         },
         tableCamera, "error: './media/graphics/Gone.dat' (media/locations[0]): cannot be read: No such file", 1},
        {"a mesh no media location holds",
         [](const ProgramFolder& p) {
             p.write("kwo.config", R"({ "media": { "locations": [ "./media/graphics/Core.dat",
                                                                   "./media/graphics/Quillmoth.dat" ] },
                                        "tracking": { "objects": [ { "name": "Quillmoth", "pattern":
                                            { "file": "tracking/Quillmoth.pattern", "size": 83 } } ],
                                                      "collisions": [] } })");
         },
         tableCamera,
         "error: 'Ground.mesh' (graphics/objects[0]/decor[0]/mesh): no media location (media/locations) holds it", 1},
        {"a missing pattern file",
         [](const ProgramFolder& p) { p.write("kwo.config", withSecondPattern("tracking/Owl.pattern")); }, tableCamera,
         "error: 'tracking/Owl.pattern' (tracking/objects[1]/pattern/file): Pattern load error (", 1},
        {"two near-identical patterns",
         [](const ProgramFolder& p) {
             writeTwinPattern(p, "Twin.pattern");
             p.write("kwo.config", withSecondPattern("Twin.pattern"));
         },
         tableCamera,
         "warning: 'tracking/Quillmoth.pattern' (tracking/objects[0]/pattern/file) and 'Twin.pattern' "
         "(tracking/objects[1]/pattern/file): match at ",
         0},
        {"a calibration of another aspect ratio",
         [](const ProgramFolder& p) {
             writeCalibration(p, "wide.dat", 640, 360, 1);
             p.write("kwo.config", R"({ "tracking": { "params": "wide.dat" } })");
         },
         tableCamera,
         "warning: the calibration 'wide.dat' (tracking/params) was made for 640x360 frames, but the camera gives "
         "320x240, another aspect ratio",
         0},
        {"a calibration of an implausible field of view",
         [](const ProgramFolder& p) {
             writeCalibration(p, "fisheye.dat", 640, 480, 0.2);
             p.write("kwo.config", R"({ "tracking": { "params": "fisheye.dat" } })");
         },
         tableCamera, "warning: 'fisheye.dat' (tracking/params): a field of view of 141.8 degrees across", 0},
        {"a missing calibration",
         [](const ProgramFolder& p) { p.write("kwo.config", R"({ "tracking": { "params": "gone.dat" } })"); }, tableCamera,
         "error: tracking/params: Camera load error (tracking/params: ", 1},
        {"no camera", [](const ProgramFolder&) {}, noCamera, "error: camera: No camera: ", 1},
        {"no display", [](const ProgramFolder&) {}, [] {
             std::vector<std::string> environment = tableCamera();
             environment.push_back("DISPLAY=");
             return environment;
         },
         "warning: display: DISPLAY is not set: started from here, the viewer could not open its window", 0},
        {"a camera that shows nothing", [](const ProgramFolder&) {}, clipCameraEnvironment,
         "warning: tracking/threshold: the camera's picture shows no contrast (grey levels 128 to 128)", 0},
    };
    for (const BrokenStation& station : stations) {
        ProgramFolder program;
        station.breakIt(program);
        const ProcessResult result =
            checkStation(program, station.camera());
        EXPECT_EQ(result.exitCode, station.exitCode) << station.fault << "\n" << result.out << result.err;
        EXPECT_EQ(linesStartingWith(result.out, station.line), 1) << station.fault << "\n" << result.out;
        // The one fault is the only one found.
        const char* other = station.exitCode == 0 ? "warning: " : "error: ";
        EXPECT_EQ(linesStartingWith(result.out, other), 1) << station.fault << "\n" << result.out;
        EXPECT_EQ(linesStartingWith(result.out, station.exitCode == 0 ? "error: " : "warning: "), 0)
            << station.fault << "\n" << result.out;
        EXPECT_FALSE(program.exists("user.config")) << station.fault;
    }
}

TEST(StationCheck, TheStationsMarkersInViewAreNamedAndJudgeTheThreshold)
{
    ProgramFolder program;
    std::vector<ARParam> records;
    std::string error;
    ASSERT_TRUE(ar::readCalibrationFile(program.file("tracking/camera.dat"), 1, records, &error)) << error;
    synthetic::PrintedMarker marker;
    marker.picture = synthetic::designPicture("Quillmoth");
    marker.width = 83;
    synthetic::makePose(-20, 0, 10, 0, 0, 500, marker.pose);
    synthetic::FrameOptions light;
    light.ink = 30;
    light.paper = 220;
    const synthetic::SyntheticFrame frame = synthetic::renderFrame(ar::changeSize(records[0], 320, 240), {marker}, light);
    TempDir clips;
    writeStillClip(clips.file("marker.mkv"), frame, 5, 30);

    const ProcessResult result = checkStation(program, {"KWO_CLIP_CAMERAS=" + clips.file("marker.mkv")});
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    const std::string start = "ok: tracking/threshold: the camera's picture suggests ";
    const std::size_t at = result.out.find(start);
    ASSERT_NE(at, std::string::npos) << result.out;
    const std::string line = result.out.substr(at, result.out.find('\n', at) - at);
    EXPECT_NE(line.find(", midway between the black border and the paper of the markers in view (Quillmoth); "
                        "set: 100"),
              std::string::npos)
        << line;
    // Midway between the ink (30) and the paper (220) as the camera shows them.
    const int suggested = std::stoi(line.substr(start.size()));
    EXPECT_GT(suggested, 80) << line;
    EXPECT_LT(suggested, 170) << line;
}

// The show runs without its log and its user document, so a folder nobody
// may write to is warned of, and the station would still start.
TEST(StationCheck, AReadOnlyProgramFolderIsWarnedOfAndTheStationWouldStart)
{
    ProgramFolder program;
    std::vector<std::string> command;
    if (::geteuid() == 0) {
        // Permissions do not hold root back; a read-only mount of the folder does.
        if (run({"unshare", "-m", "true"}).exitCode != 0)
            GTEST_SKIP() << "running as root without mount namespaces";
        command = {"unshare", "-m", "sh", "-c", "mount --bind -o ro \"$0\" \"$0\" && exec \"$0/kwo\" --check",
                   program.path()};
    } else {
        fs::permissions(program.path(), fs::perms(0555));
        command = {program.executable(), "--check"};
    }
    const ProcessResult result = run(command, program.path(), tableCamera(), std::chrono::seconds(120));
    fs::permissions(program.path(), fs::perms(0755));
    EXPECT_EQ(result.exitCode, 0) << result.out << result.err;
    EXPECT_EQ(linesStartingWith(result.out, "warning: program folder '" + program.path() +
                                                "/': new files cannot be made there ("),
              1)
        << result.out;
    EXPECT_EQ(linesStartingWith(result.out, "warning: user.config cannot be written ("), 1) << result.out;
    EXPECT_EQ(linesStartingWith(result.out, "warning: ogre.log cannot be written ("), 1) << result.out;
    EXPECT_EQ(linesStartingWith(result.out, "error: "), 0) << result.out;
    EXPECT_NE(result.out.find("The station would start: 3 warnings."), std::string::npos) << result.out;
}

TEST(StationCheck, AnotherDocumentIsCheckedWhenNamed)
{
    ProgramFolder program;
    program.write("kwo.config", R"({ "tracking": { "max": "lots" } })");
    program.write("station.config", R"({ "tracking": { "threshold": "auto" } })");
    const ProcessResult named = checkStation(program, tableCamera(), {"station.config"});
    EXPECT_EQ(named.exitCode, 0) << named.out << named.err;
    EXPECT_EQ(linesStartingWith(named.out, "ok: station.config: read and merged over the built-in defaults"), 1)
        << named.out;
    EXPECT_NE(named.out.find("; set: auto\n"), std::string::npos) << named.out;

    const ProcessResult missing = checkStation(program, tableCamera(), {"other.config"});
    EXPECT_EQ(missing.exitCode, 0) << missing.out << missing.err;
    EXPECT_EQ(linesStartingWith(missing.out, "warning: other.config: absent: the built-in defaults apply"), 1)
        << missing.out;
}

} // namespace
} // namespace kwo::test
