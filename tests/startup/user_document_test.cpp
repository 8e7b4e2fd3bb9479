// The user document across real runs of the viewer.
#include "tests/support/files.h"
#include "tests/support/json.h"
#include "tests/support/process.h"
#include "tests/support/viewer.h"

#include <gtest/gtest.h>
#include <json/reader.h>

namespace {

using kwo::test::ProgramFolder;

kwo::test::ProcessResult runAndClose(const ProgramFolder& program)
{
    kwo::test::TempDir elsewhere;
    kwo::test::Process viewer({program.executable()}, elsewhere.path(), kwo::test::clipCameraEnvironment());
    return kwo::test::closeViewer(viewer);
}

TEST(UserDocument, FirstRunHoldsTheMainDocumentAndTheCamera)
{
    ProgramFolder program;
    program.write("kwo.config", std::string("// station\n") + kwo::test::coreOnlyDocument);
    const auto result = runAndClose(program);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    Json::Value expected = kwo::test::parseJson(kwo::test::coreOnlyDocument);
    expected["camera"] = "still.mkv";
    const std::string written = program.read("user.config");
    EXPECT_EQ(kwo::test::parseJson(written), expected);
    // Four-space indentation, members in ascending order, comments kept.
    EXPECT_EQ(written.rfind("// station\n{\n    \"camera\" : \"still.mkv\",\n    \"media\" : ", 0), 0u) << written;
    EXPECT_FALSE(program.exists("user.config.new"));
}

TEST(UserDocument, ExtraMembersAreKeptAndSyntaxErrorsRewritten)
{
    struct Case {
        const char* before;
        const char* member; // a member the rewritten document must still hold ("" for none)
    };
    const Case cases[] = {
        {R"({"camera": "gone", "note": "kept", "list": [1, 2]})", "note"},
        {R"({"camera": "old", "note": 1, )", "note"},
        {"not json at all", ""},
    };
    for (const Case& c : cases) {
        ProgramFolder program;
        program.write("kwo.config", kwo::test::coreOnlyDocument);
        program.write("user.config", c.before);
        const auto result = runAndClose(program);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        const Json::Value after = kwo::test::parseJson(program.read("user.config"));
        EXPECT_EQ(after["camera"].asString(), "still.mkv") << c.before;
        if (*c.member) {
            EXPECT_TRUE(after.isMember(c.member)) << c.before;
        }
    }
}

TEST(UserDocument, FailedStartUpLeavesItAsItWas)
{
    ProgramFolder program;
    program.write("kwo.config", R"({"window": {"fullscreen": false}, "tracking": {"params": "missing.dat"},
        "media": {"locations": ["./media/graphics/Core.dat"]}})");
    program.write("user.config", "{\"camera\": \"old\"}");
    const auto result = runAndClose(program);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("Exception: "), std::string::npos) << result.err;
    EXPECT_EQ(program.read("user.config"), "{\"camera\": \"old\"}");
}

} // namespace
