// A bad value for every key a technician may write, each in the built-in
// document otherwise as it is: the start-up stops before anything is opened
// with a message that names the key (in the message, or in the bracketed
// detail where the message itself is fixed), or goes on after a warning that
// names it. Never an abort. Run without a display and without a camera, so
// a value that is accepted ends at "No camera".
#include "config/documents.h"
#include "tests/support/files.h"
#include "tests/support/json.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>
#include <json/writer.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using kwo::test::ProgramFolder;

// The member at a key path ("graphics/lights[0]/range/umbra"), made where missing.
Json::Value& at(Json::Value& root, const std::string& path)
{
    Json::Value* node = &root;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        const std::size_t bracket = part.find('[');
        const std::string name = part.substr(0, bracket);
        node = &(*node)[name];
        if (bracket != std::string::npos)
            node = &(*node)[static_cast<Json::ArrayIndex>(std::stoul(part.substr(bracket + 1)))];
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return *node;
}

struct Case {
    std::string key;     // set to `value` in the built-in document
    std::string value;   // JSON text
    std::string outcome; // "Exception: <start of the line>", or "Warning: <start of the line>"
    std::string before = "{}"; // applied first (JSON merged over the built-in document)
};

std::string documentOf(const Case& c)
{
    Json::Value document = kwo::test::parseJson(std::string(kwo::defaultDocument()));
    kwo::mergeConfig(document, kwo::test::parseJson(c.before));
    at(document, c.key) = kwo::test::parseJson("[" + c.value + "]")[0];
    return Json::StyledWriter().write(document);
}

const std::vector<Case>& cases()
{
    static const std::vector<Case> all = {
        {"window/title", "{}", "Exception: window/title: expected a string"}, // an object over the built-in string
        {"window/title", "[\"Hall\"]",
         "Exception: Type is not convertible to string (window/title: an array is not a string)"},
        {"window/width", "\"800\"",
         "Exception: Type is not convertible to uint (window/width: \"800\" is not a number from 0 to 4294967295)"},
        {"window/height", "0", "Exception: window/height: 0 is below 1"},
        {"window/fullscreen", "\"false\"",
         "Warning: window/fullscreen: the string \"false\" counts as true; write true or false without quotes"},
        {"window/fullscreen_resolution", "\"big\"",
         "Exception: Invalid window/fullscreen_resolution 'big' (auto, screen or window)"},
        {"window/frame_rate", "\"fast\"",
         "Exception: Invalid window/frame_rate 'fast' (auto, display, camera or frames per second above 0)"},
        {"window/frame_rate", "0",
         "Exception: Invalid window/frame_rate '0' (auto, display, camera or frames per second above 0)"},
        {"window/color", "7", "Exception: window/color: 7 is not 16, 24 or 32"},
        {"window/fsaa", "64", "Exception: window/fsaa: 64 is outside 0..16"},
        {"window/vsync", "\"off\"", "Warning: window/vsync: the string \"off\" counts as true"},
        {"window/gamma", "\"false\"", "Warning: window/gamma: the string \"false\" counts as true"},
        {"media/locations[0]", "5",
         "Exception: Type is not convertible to string (media/locations[0]: 5 is not a string)"},
        {"media/locations", "\"./media\"", "Exception: media/locations: expected an array"},
        {"rendering/mirror", "\"false\"", "Warning: rendering/mirror: the string \"false\" counts as true"},
        {"rendering/filtering", "\"fast\"", "Exception: Invalid filter type 'fast' (rendering/filtering: \"fast\" is "
                                            "not one of bilinear, trilinear, anisotropic, none)"},
        {"rendering/anisotropy", "0", "Exception: rendering/anisotropy: 0 is outside 1..16",
         R"({"rendering": {"filtering": "anisotropic"}})"},
        {"rendering/shadow/technique", "\"soft\"", "Exception: Invalid shadow technique 'soft' (rendering/shadow/technique"},
        {"rendering/shadow/size", "65536", "Exception: rendering/shadow/size: 65536 is outside 1..16384",
         R"({"rendering": {"shadow": {"technique": "additive"}}})"},
        {"rendering/shadow/color/r", "\"black\"",
         "Exception: Type is not convertible to double (rendering/shadow/color/r: \"black\" is not a number)",
         R"({"rendering": {"shadow": {"technique": "modulative"}}})"},
        {"rendering/shadow/debug", "\"no\"", "Warning: rendering/shadow/debug: the string \"no\" counts as true",
         R"({"rendering": {"shadow": {"technique": "additive"}}})"},
        {"rendering/ambient/g", "1e39", "Exception: rendering/ambient/g: 1e+39 is too large"},
        {"rendering/ambient/r", "2", "Warning: rendering/ambient/r: 2 is outside 0..1"},
        {"rendering/viewport/mode", "\"Pixels\"", "Exception: Invalid viewport mode 'Pixels' (rendering/viewport/mode"},
        {"rendering/viewport/width", "0", "Exception: rendering/viewport/width: 0 is not above 0"},
        {"rendering/viewport/left", "700",
         "Warning: rendering/viewport: the camera picture's place reaches outside the window (pixels 700, 90, 502 x 377)"},
        {"rendering/scheme", "5", "Exception: Type is not convertible to string (rendering/scheme: 5 is not a string)"},
        {"rendering/pixel", "\"rgb16\"", "Exception: Invalid pixel format (rendering/pixel: \"rgb16\" is not one of "
                                         "rgb32, rgb24)"},
        {"rendering/near", "0", "Exception: rendering/near: 0 is not above 0"},
        {"rendering/far", "5", "Exception: rendering/far: 5 is not beyond rendering/near (5)"},
        {"graphics/lights[1]/type", "\"laser\"", "Exception: Invalid light type 'laser' (graphics/lights[1]/type"},
        {"graphics/lights[0]/diffuse/g", "\"1\"",
         "Exception: Type is not convertible to double (graphics/lights[0]/diffuse/g: \"1\" is not a number)"},
        {"graphics/lights[0]/specular", "5", "Exception: graphics/lights[0]/specular: expected an object"},
        {"graphics/lights[0]/power", "\"1\"",
         "Exception: Type is not convertible to double (graphics/lights[0]/power: \"1\" is not a number)"},
        {"graphics/lights[0]/position/x", "1e39", "Exception: graphics/lights[0]/position/x: 1e+39 is too large"},
        {"graphics/lights[0]/look", "[0, 0, -300]", "Exception: graphics/lights[0]/look: expected an object"},
        {"graphics/lights[0]/range/umbra", "270", "Exception: graphics/lights[0]/range/umbra: 270 is outside 0..180"},
        {"graphics/lights[0]/range/penumbra", "-1",
         "Exception: graphics/lights[0]/range/penumbra: -1 is outside 0..180"},
        {"graphics/lights[0]/range/falloff", "200",
         "Exception: graphics/lights[0]/range/falloff: 200 is outside 0..128"},
        {"graphics/lights[0]/shadow", "\"false\"",
         "Warning: graphics/lights[0]/shadow: the string \"false\" counts as true"},
        {"graphics/objects[0]/name", "5",
         "Exception: Type is not convertible to string (graphics/objects[0]/name: 5 is not a string)"},
        {"graphics/objects[0]/character", "5", "Exception: graphics/objects[0]/character: expected an object"},
        {"graphics/objects[0]/character/mesh", "[]",
         "Exception: Type is not convertible to string (graphics/objects[0]/character/mesh: an array is not a string)"},
        {"graphics/objects[0]/character/position", "\"here\"",
         "Exception: graphics/objects[0]/character/position: expected an object"},
        {"graphics/objects[0]/character/orientation", "{\"w\": 0}",
         "Exception: graphics/objects[0]/character/orientation: w, x, y and z give no orientation"},
        {"graphics/objects[0]/character/scale/y", "1e39",
         "Exception: graphics/objects[0]/character/scale/y: 1e+39 is too large"},
        {"graphics/objects[0]/character/shadow", "\"false\"",
         "Warning: graphics/objects[0]/character/shadow: the string \"false\" counts as true"},
        {"graphics/objects[0]/character/animations/idle", "5",
         "Exception: Type is not convertible to string (graphics/objects[0]/character/animations/idle: 5"},
        {"graphics/objects[0]/character/animations/collision", "{}",
         "Exception: Type is not convertible to string (graphics/objects[0]/character/animations/collision"},
        {"graphics/objects[0]/decor", "5", "Exception: graphics/objects[0]/decor: expected an array"},
        {"graphics/objects[0]/decor[0]/mesh", "5",
         "Exception: Type is not convertible to string (graphics/objects[0]/decor[0]/mesh: 5 is not a string)"},
        {"graphics/objects[0]/decor[0]/position/z", "\"0\"",
         "Exception: Type is not convertible to double (graphics/objects[0]/decor[0]/position/z"},
        {"graphics/objects[0]/decor[0]/orientation", "{\"w\": 0, \"x\": 0}",
         "Exception: graphics/objects[0]/decor[0]/orientation: w, x, y and z give no orientation"},
        {"graphics/objects[0]/decor[0]/scale", "1", "Exception: graphics/objects[0]/decor[0]/scale: expected an object"},
        {"graphics/objects[0]/decor[0]/shadow", "\"false\"",
         "Warning: graphics/objects[0]/decor[0]/shadow: the string \"false\" counts as true"},
        {"graphics/objects[0]/decor[0]/animation", "1",
         "Exception: Type is not convertible to string (graphics/objects[0]/decor[0]/animation: 1 is not a string)"},
        {"tracking/params", "5", "Exception: tracking/params: expected a string"},
        {"tracking/threshold", "\"dim\"",
         "Exception: Type is not convertible to int (tracking/threshold: \"dim\" is neither a number nor \"auto\" nor \"adaptive\")"},
        {"tracking/threshold", "\"adaptive 0\"",
         "Exception: tracking/threshold: \"adaptive 0\": the offset must be a whole number from 1 to 60"},
        {"tracking/threshold", "-1", "Exception: tracking/threshold: -1 is negative"},
        {"tracking/smoothing", "\"fast\"", "Exception: tracking/smoothing: expected true, false or an object"},
        {"tracking/hold", "\"long\"", "Exception: tracking/hold: expected a number ("},
        {"tracking/max", "1e300", "Exception: Real out of unsigned integer range (tracking/max: 1e+300 is not a number "
                                  "from 0 to 4294967295)"},
        {"tracking/objects[0]/name", "\"Owl\"",
         "Exception: Invalid object 'Owl' (graphics/objects has no element named 'Owl')"},
        {"tracking/objects[0]/pattern/file", "5", "Exception: tracking/objects[0]/pattern/file: expected a string"},
        {"tracking/objects[0]/pattern/size", "0",
         "Exception: tracking/objects[0]/pattern/size: 0 is not a size in millimetres above 0"},
        {"tracking/objects[1]/pattern/size", "null",
         "Exception: tracking/objects[1]/pattern/size: null is not a size in millimetres above 0"},
        {"tracking/collisions[0]/first", "\"Owl\"",
         "Exception: Invalid collsion pair 'Owl' / 'Brackenjaw' (tracking/collisions[0]: first and second must name"},
        {"tracking/collisions[0]/second", "\"Quillmoth\"",
         "Exception: Invalid collsion pair 'Quillmoth' / 'Quillmoth' (tracking/collisions[0]"},
        {"tracking/collisions[0]/distance/min/x", "\"100\"",
         "Exception: Type is not convertible to double (tracking/collisions[0]/distance/min/x"},
        {"tracking/collisions[0]/distance/max", "110",
         "Exception: tracking/collisions[0]/distance/max: expected an object"},
        {"tracking/collisions[0]/angle/min", "\"20\"",
         "Exception: Type is not convertible to double (tracking/collisions[0]/angle/min"},
        {"tracking/collisions[0]/angle/max", "[30]",
         "Exception: Type is not convertible to double (tracking/collisions[0]/angle/max: an array is not a number)"},
        {"video/width", "-1", "Exception: Negative integer can not be converted to unsigned integer (video/width: -1 is "
                              "not a number from 0 to 4294967295)"},
        {"video/height", "\"240\"", "Exception: Type is not convertible to uint (video/height: \"240\""},
        {"video/flip_horizontal", "\"false\"",
         "Warning: video/flip_horizontal: the string \"false\" counts as true"},
        {"video/flip_vertical", "\"\"", "Warning: video/flip_vertical: the string \"\" counts as false"},
        {"video/dialog", "\"false\"", "Warning: video/dialog: the string \"false\" counts as true"},
        {"misc/fix_video", "\"false\"", "Warning: misc/fix_video: the string \"false\" counts as true"},
        {"misc/debug[0]/node", "\"wing\"", "Exception: Invalid debug node (misc/debug[0]/node: \"wing\" is not flyer, "
                                           "base, collision, character or decor)"},
        {"misc/debug[0]/mesh", "5", "Exception: Type is not convertible to string (misc/debug[0]/mesh: 5 is not a string)",
         R"({"misc": {"debug": [{"node": "base"}]}})"},
    };
    return all;
}

TEST(EveryKey, ABadValueIsNamedByItsKeyAndNeverAborts)
{
    ProgramFolder program;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < cases().size(); ++i) {
        names.push_back("case-" + std::to_string(i) + ".config");
        program.write(names.back(), documentOf(cases()[i]));
    }
    // A few at a time: each start-up ends within a second.
    constexpr std::size_t together = 6;
    for (std::size_t first = 0; first < cases().size(); first += together) {
        std::vector<std::unique_ptr<kwo::test::Process>> runs;
        for (std::size_t i = first; i < std::min(first + together, cases().size()); ++i)
            runs.push_back(std::make_unique<kwo::test::Process>(
                std::vector<std::string>{"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", program.executable(), names[i]},
                program.path()));
        for (std::size_t i = first; i < first + runs.size(); ++i) {
            const Case& c = cases()[i];
            SCOPED_TRACE(c.key + " = " + c.value);
            const kwo::test::ProcessResult result = runs[i - first]->wait(std::chrono::seconds(60));
            EXPECT_EQ(result.exitCode, 1) << result.err;
            const std::string& err = result.err;
            if (c.outcome.rfind("Exception: ", 0) == 0) {
                // The only line: nothing was opened before the refusal.
                EXPECT_EQ(err.rfind(c.outcome, 0), 0u) << err;
                EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
            } else {
                EXPECT_EQ(err.rfind(c.outcome, 0), 0u) << err;
                EXPECT_NE(err.find("\nException: No camera\n"), std::string::npos) << err;
            }
        }
    }
    EXPECT_FALSE(program.exists("user.config"));
}

} // namespace
