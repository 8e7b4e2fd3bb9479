// What a station's technician sees for each kind of bad file or value: the
// start-up stops with one "Error" box holding the fixed message, standard
// error and the engine log add the key, the file and the reason, and
// "user.config" is left as it was.
#include "tests/app/viewer_session.h"
#include "tests/support/viewer.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kwo::test {
namespace {

// The core media, one creature with its ground, and one tracked object whose
// pattern file is `patternFile`.
std::string oneObject(const std::string& patternFile, const std::string& more = "")
{
    return R"({"media": {"locations": ["./media/graphics/Core.dat", "./media/graphics/Quillmoth.dat",
                                        "./media/graphics/Decor.dat"]},
               "tracking": {"objects": [{"name": "Quillmoth", "pattern": {"file": ")" +
           patternFile + R"(", "size": 83}}]})" + more + "}";
}

// A copy of an archive with one byte of its second kilobyte changed: inside
// the data of the first large member of each demo archive.
void writeDamagedCopy(const ProgramFolder& folder, const std::string& from, const std::string& to)
{
    std::string bytes = readFile(folder.file(from));
    bytes[1000] ^= 0x20;
    folder.write(to, bytes);
}

// A copy of an archive whose first deflated member's directory entry claims
// 2 GB more than it holds: one flipped bit in the size field.
void writeCopyClaimingMore(const ProgramFolder& folder, const std::string& from, const std::string& to)
{
    std::string bytes = readFile(folder.file(from));
    for (std::size_t at = bytes.find("PK\x01\x02"); at != std::string::npos; at = bytes.find("PK\x01\x02", at + 4))
        if (bytes[at + 10] == 8) {
            bytes[at + 27] = static_cast<char>(bytes[at + 27] ^ 0x80);
            break;
        }
    folder.write(to, bytes);
}

struct Case {
    const char* what;
    std::string overrides;
    const char* message;                      // the box and the start of the line on standard error
    std::vector<std::string> detail;          // what else the line and the engine log say
    void (*prepare)(const ProgramFolder&) = nullptr;
};

TEST(BadFiles, StopTheStartUpNamingTheFileOrKey)
{
    const Case cases[] = {
        {"calibration is a folder", R"({"tracking": {"params": "calibration"}})", "Camera load error",
         {"tracking/params", "'calibration'", "Is a directory"},
         [](const ProgramFolder& f) { std::filesystem::create_directory(f.file("calibration")); }},
        {"calibration is a device", R"({"tracking": {"params": "/dev/zero"}})", "Camera load error",
         {"tracking/params", "'/dev/zero'", "image size 0x0"}},
        {"calibration no camera has", R"({"tracking": {"params": "mirrored.dat"}})", "Camera load error",
         {"tracking/params", "'mirrored.dat'", "focal length"},
         [](const ProgramFolder& f) {
             std::string bytes = readFile(f.file("tracking/camera.dat"));
             bytes[8] ^= 0x80; // the sign of mat[0][0]
             f.write("mirrored.dat", bytes);
         }},
        {"pattern is a folder", oneObject("pattern"), "Pattern load error",
         {"tracking/objects[0]/pattern/file", "'pattern'", "Is a directory"},
         [](const ProgramFolder& f) { std::filesystem::create_directory(f.file("pattern")); }},
        {"pattern is a device", oneObject("/dev/zero"), "Pattern load error",
         {"tracking/objects[0]/pattern/file", "'/dev/zero'", "larger than 64 kB"}},
        {"pattern above 64 kB", oneObject("big.pattern"), "Pattern load error",
         {"tracking/objects[0]/pattern/file", "'big.pattern'", "larger than 64 kB"},
         [](const ProgramFolder& f) {
             f.write("big.pattern", readFile(f.file("tracking/Quillmoth.pattern")) + std::string(70000, '\n'));
         }},
        {"video section not an object", R"({"video": 5})", "video: expected an object", {}},
        {"shadow size beyond 16 bits", R"({"rendering": {"shadow": {"technique": "additive", "size": 65536}}})",
         "rendering/shadow/size: 65536 is outside 1..16384", {}},
        {"shadow size zero", R"({"rendering": {"shadow": {"technique": "modulative", "size": 0}}})",
         "rendering/shadow/size: 0 is outside 1..16384", {}},
        {"negative threshold", R"({"tracking": {"threshold": -1}})", "tracking/threshold: -1 is negative", {}},
        {"threshold neither a number nor auto", R"({"tracking": {"threshold": "dim"}})",
         "Type is not convertible to int", {"(tracking/threshold: \"dim\" is neither a number nor \"auto\" nor \"adaptive\")"}},
        {"damaged stored member",
         R"({"media": {"locations": ["./media/graphics/Core.dat", "./broken.dat"]}})",
         "Media archive './broken.dat' is damaged: member 'Quillmoth.mesh' fails its CRC check", {},
         [](const ProgramFolder& f) { writeDamagedCopy(f, "media/graphics/Quillmoth.dat", "broken.dat"); }},
        {"damaged deflated member", R"({"media": {"locations": ["./core.dat"]}})",
         "Media archive './core.dat' is damaged: member 'Background.png'", {},
         [](const ProgramFolder& f) { writeDamagedCopy(f, "media/graphics/Core.dat", "core.dat"); }},
        // Values the engine asserted on, or could not draw with, stop before
        // anything is opened.
        {"near clip distance zero", R"({"rendering": {"near": 0}})", "rendering/near: 0 is not above 0", {}},
        {"window width as a string", R"({"window": {"width": "800"}})", "Type is not convertible to uint",
         {"(window/width: \"800\" is not a number from 0 to 4294967295)"}},
        {"a size field with a flipped bit", R"({"media": {"locations": ["./core.dat"]}})",
         "Media archive './core.dat' is damaged: member 'Core.material' claims ",
         {"bytes, more than the 256 MB a media member may hold"},
         [](const ProgramFolder& f) { writeCopyClaimingMore(f, "media/graphics/Core.dat", "core.dat"); }},
        {"main document above 1 MB", "{\"window\": {\"title\": \"" + std::string(1100000, 'x') + "\"}}",
         "kwo.config: the document is larger than 1 MB", {}},
        // An engine error raised by the viewer's own code names its source
        // file relative to the source tree, not the build machine's path.
        {"engine error of our own", R"({"media": {"locations": []}})",
         "ItemIdentityException: Could not find material KWO/Background in kwo::createVideoBackground",
         {" at scene/video_background.cpp (line "}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ViewerSession viewer(viewerDocument(c.overrides));
        viewer.folder.write("user.config", "{\"camera\": \"still.mkv\", \"note\": \"kept\"}");
        if (c.prepare)
            c.prepare(viewer.folder);
        viewer.launch();
        const std::string box = waitForWindow("^Error$", 30);
        // Every row is a fault of its own: one that fails must not hide the rest.
        if (box.empty()) {
            ADD_FAILURE() << "no error box; the viewer said:\n" << viewer.finish(5).err;
            continue;
        }
        shell("xdotool windowactivate --sync " + box + " key Return 2>/dev/null || xdotool windowfocus --sync " +
              box + " key Return");
        const ProcessResult result = viewer.finish();
        EXPECT_EQ(result.exitCode, 1);
        const std::string line = std::string("Exception: ") + c.message;
        EXPECT_EQ(result.err.rfind(line, 0), 0u) << result.err;
        EXPECT_EQ(result.err.back(), '\n');
        EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << "one line: " << result.err;
        const std::string log = viewer.folder.exists("ogre.log") ? viewer.folder.read("ogre.log") : "";
        const bool namesNothing =
            c.message == std::string("Camera load error") || c.message == std::string("Pattern load error");
        for (const std::string& part : c.detail) {
            EXPECT_NE(result.err.find(part), std::string::npos) << part << " in " << result.err;
            if (namesNothing) {
                EXPECT_NE(log.find(part), std::string::npos) << part << " in the engine log";
            }
        }
        EXPECT_EQ(viewer.folder.read("user.config"), "{\"camera\": \"still.mkv\", \"note\": \"kept\"}");
    }
}

} // namespace
} // namespace kwo::test

namespace kwo::test {
namespace {

// Values that are taken with a warning run the show: each warning once on
// standard error, and in the engine log, which starts after they were said.
TEST(BadFiles, WarnedValuesRunTheShowAndAreSaidOnceInBothPlaces)
{
    ProgramFolder program;
    program.write("kwo.config", "\xEF\xBB\xBF" + viewerDocument(R"({"rendering": {"mirror": "false",
        "ambient": {"r": 2}}, "misc": {"fix_video": "false"}})") +
                                    "\n// the reader ignores what follows the document\n");
    // A second "video" section, as a pasted example brings one: the first is dropped.
    std::string text = program.read("kwo.config");
    text.insert(text.find('{') + 1, "\n\"video\": {\"width\": 640},\n\"video\": {\"flip_vertical\": \"\"},");
    program.write("kwo.config", text);
    Process viewer({program.executable()}, program.path(), clipCameraEnvironment());
    const ProcessResult result = closeViewer(viewer, viewerTitle);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string warnings[] = {
        "Warning: kwo.config line 3: \"video\" is written again; the one on line 2 is ignored",
        "Warning: video/flip_vertical: the string \"\" counts as false; write true or false without quotes",
        "Warning: rendering/mirror: the string \"false\" counts as true; write true or false without quotes",
        "Warning: rendering/ambient/r: 2 is outside 0..1",
        "Warning: misc/fix_video: the string \"false\" counts as true; write true or false without quotes",
    };
    const std::string log = program.read("ogre.log");
    std::string expected;
    for (const std::string& warning : warnings) {
        expected += warning + "\n";
        EXPECT_NE(log.find(warning), std::string::npos) << warning;
    }
    EXPECT_EQ(result.err, expected);
}

} // namespace
} // namespace kwo::test
