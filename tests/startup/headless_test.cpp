// Without a display nothing graphical is attempted: errors and the
// configuration error go to standard error, and nobody can answer "continue".
#include "tests/support/files.h"
#include "tests/support/json.h"
#include "tests/support/process.h"
#include "tests/support/viewer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace {

using kwo::test::ProgramFolder;
using kwo::test::TempDir;

kwo::test::ProcessResult runHeadless(const ProgramFolder& program, const std::vector<std::string>& args = {})
{
    TempDir elsewhere; // the caller's working directory is not the program's
    std::vector<std::string> argv = {"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", program.executable()};
    argv.insert(argv.end(), args.begin(), args.end());
    return kwo::test::run(argv, elsewhere.path());
}

TEST(Headless, InvalidMainDocumentEndsWithMinusOneAndWritesNothing)
{
    ProgramFolder program;
    program.write("kwo.config", "{");
    program.write("user.config", "{\"camera\": \"kept\"}\n");
    const auto result = runHeadless(program);
    EXPECT_EQ(result.exitCode, 255);
    // The box names no file: the line on standard error does.
    EXPECT_EQ(result.err.rfind("Configuration file error (kwo.config)\n* Line 1, Column 2\n", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("\n\nContinue with default settings?\n"), std::string::npos) << result.err;
    EXPECT_EQ(program.read("user.config"), "{\"camera\": \"kept\"}\n");
}

TEST(Headless, MissingEmptyAndBlankMainDocuments)
{
    struct Case {
        std::optional<std::string> content; // none: no file
        int exitCode;
        const char* errStart;
    };
    // Without a camera the start-up goes on to "No camera" unless the main
    // document stopped it first.
    const Case cases[] = {
        {std::nullopt, 1, "Exception: No camera\n"},
        {"", 1, "Exception: No camera\n"},
        {" \n\t\n", 255, "Configuration file error (kwo.config)\n* Line 3, Column 1\n"},
        {"// only a comment\n", 255, "Configuration file error (kwo.config)\n"},
        // Saved by an editor that starts UTF-8 with a byte-order mark: read as written.
        {"\xEF\xBB\xBF{\"window\": {\"fullscreen\": false}}", 1, "Exception: No camera\n"},
        // Nested deeper than the reader goes: the same box, naming the file here too.
        {"{\"a\": " + std::string(2000, '[') + std::string(2000, ']') + "}", 255,
         "Configuration file error (kwo.config)\nExceeded stackLimit in readValue().\n"},
    };
    for (const Case& c : cases) {
        ProgramFolder program;
        if (c.content)
            program.write("kwo.config", *c.content);
        const auto result = runHeadless(program);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.content.value_or("(none)");
        EXPECT_EQ(result.err.rfind(c.errStart, 0), 0u) << result.err;
        if (c.exitCode == 1) {
            EXPECT_EQ(result.err, c.errStart);
        }
    }
}

TEST(Headless, ConfigurationPathIsTheFirstArgumentRelativeToTheProgramFolder)
{
    struct Case {
        std::vector<std::string> args;
        const char* expectedFile; // the document that was read (it is invalid, so it shows)
    };
    const Case cases[] = {
        {{}, "kwo.config"},
        {{""}, "kwo.config"},
        {{"station.config", "ignored", "also ignored"}, "station.config"},
        {{"sub dir/station.config"}, "sub dir/station.config"},
    };
    for (const Case& c : cases) {
        ProgramFolder program;
        std::filesystem::create_directory(program.file("sub dir"));
        // Each candidate document fails on a different line, so the message tells which was read.
        program.write("kwo.config", "\n{");
        program.write("station.config", "\n\n{");
        program.write("sub dir/station.config", "\n\n\n{");
        const auto result = runHeadless(program, c.args);
        const std::string expectedLine = std::string(c.expectedFile) == "kwo.config"       ? "Line 2"
                                         : std::string(c.expectedFile) == "station.config" ? "Line 3"
                                                                                           : "Line 4";
        EXPECT_EQ(result.exitCode, 255) << c.expectedFile;
        EXPECT_NE(result.err.find("* " + expectedLine + ", Column 2"), std::string::npos)
            << c.expectedFile << ": " << result.err;
    }
}

TEST(Headless, StartUpErrorGoesToStandardErrorAndReturnsOne)
{
    struct Case {
        const char* document;
        const char* line;
    };
    const Case cases[] = {
        {"[1, 2]", "Exception: kwo.config: the document must be a JSON object\n"},
        {R"({"window": {"width": {"a": 1}}})", "Exception: window/width: expected a number\n"},
    };
    for (const Case& c : cases) {
        ProgramFolder program;
        program.write("kwo.config", c.document);
        const auto result = runHeadless(program);
        EXPECT_EQ(result.exitCode, 1) << c.document;
        EXPECT_EQ(result.err, c.line);
        EXPECT_FALSE(program.exists("user.config"));
    }
}

// The merged configuration without a display or a camera: the default lists
// to copy, with the station's own values over them.
TEST(Headless, PrintConfigPrintsTheMergedDocumentAndOpensNothing)
{
    ProgramFolder program;
    program.write("kwo.config", R"({"tracking": {"max": 0}, "video": {"width": 640}})");
    program.write("station.config", R"({"tracking": {"objects": []}})");
    struct Case {
        std::vector<std::string> args;
        int max;        // tracking/max printed
        unsigned markers; // entries of tracking/objects printed
    };
    const Case cases[] = {
        {{"--print-config"}, 0, 4},
        {{"station.config", "--print-config"}, 2, 0},
        {{"--print-config", "station.config"}, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const auto result = runHeadless(program, c.args);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.err, "");
        const Json::Value config = kwo::test::parseJson(result.out);
        EXPECT_EQ(config["tracking"]["max"].asInt(), c.max);
        EXPECT_EQ(config["tracking"]["objects"].size(), c.markers);
        EXPECT_EQ(config["tracking"]["collisions"][0]["first"].asString(), "Quillmoth");
        EXPECT_EQ(config["video"]["width"].asInt(), c.max == 0 ? 640 : 320);
    }
    EXPECT_FALSE(program.exists("user.config"));
    EXPECT_FALSE(program.exists("ogre.log"));
}

TEST(Headless, PrintConfigOfABrokenDocumentNamesItAndReturnsOne)
{
    ProgramFolder program;
    program.write("kwo.config", "{");
    auto result = runHeadless(program, {"--print-config"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("Configuration file error (kwo.config)\n* Line 1, Column 2\n", 0), 0u) << result.err;
    EXPECT_EQ(result.err.find("Continue"), std::string::npos) << result.err;

    program.write("kwo.config", "[1]");
    result = runHeadless(program, {"--print-config"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Exception: kwo.config: the document must be a JSON object\n");
    EXPECT_FALSE(program.exists("user.config"));
}

} // namespace

namespace {

// Started where there is no display at all, the box cannot be shown and the
// fixed sentence blames the card; the line and the engine log say why.
TEST(Headless, NoDisplayNamesTheReasonInTheDetail)
{
    ProgramFolder program;
    program.write("kwo.config", R"({"window": {"fullscreen": false}})");
    TempDir elsewhere;
    const auto result = kwo::test::run({"env", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", program.executable()},
                                       elsewhere.path(), kwo::test::clipCameraEnvironment());
    EXPECT_EQ(result.exitCode, 1);
    const std::string line = "The video card do not support the required features (render window start-up failed: "
                             "no display: DISPLAY is not set)";
    EXPECT_EQ(result.err, "Exception: " + line + "\n");
    ASSERT_TRUE(program.exists("ogre.log"));
    EXPECT_NE(program.read("ogre.log").find(line), std::string::npos);
}

} // namespace
