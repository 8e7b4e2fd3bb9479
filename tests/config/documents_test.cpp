#include "config/documents.h"
#include "tests/support/json.h"
#include "config/exception.h"
#include "config/startup_notes.h"

#include "tests/support/files.h"

#include <gtest/gtest.h>
#include <json/reader.h>
#include <json/writer.h>

#include <filesystem>
#include <sstream>
#include <sys/stat.h>
#include <string>
#include <unistd.h>
#include <vector>
#include <optional>

namespace {

Json::Value defaults() { return kwo::test::parseJson(std::string(kwo::defaultDocument())); }

// Runs loadConfiguration inside a temporary folder holding the given files.
class Documents : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder.path());
    }
    void TearDown() override { std::filesystem::current_path(previous); }

    // Loads; `answer` is what the configuration error box replies (none: the
    // box must not appear).
    void load(std::optional<bool> answer = std::nullopt, const std::string& configPath = "")
    {
        asked.clear();
        kwo::loadConfiguration(configPath, config, userConfig, [&](const std::string& text) {
            asked = text;
            EXPECT_TRUE(answer.has_value()) << "unexpected box: " << text;
            return answer.value_or(false);
        });
    }

    kwo::test::TempDir folder;
    std::filesystem::path previous;
    Json::Value config, userConfig;
    std::string asked;
};

TEST(DefaultDocument, HoldsEverySection)
{
    const Json::Value d = defaults();
    for (const char* section : {"window", "rendering", "graphics", "tracking", "media", "video", "misc"})
        EXPECT_TRUE(d[section].isObject()) << section;
    EXPECT_EQ(d["graphics"]["objects"].size(), 4u);
    EXPECT_EQ(d["graphics"]["lights"].size(), 3u);
    EXPECT_EQ(d["tracking"]["objects"].size(), 4u);
    EXPECT_EQ(d["tracking"]["collisions"].size(), 1u);
    EXPECT_EQ(d["media"]["locations"].size(), 6u);
    EXPECT_EQ(d["window"]["title"].asString(), "Telvarin");
    EXPECT_EQ(d["video"]["width"].asInt(), 320);
    EXPECT_EQ(d["video"]["pixel"].getComment(Json::commentAfterOnSameLine), "// not used");
    EXPECT_FALSE(d["rendering"].isMember("pixel"));
    EXPECT_FALSE(d["video"].isMember("dialog"));
}

TEST(Merge, AddsReplacesAndNeverRemoves)
{
    Json::Value config = defaults();
    kwo::mergeConfig(config, kwo::test::parseJson(R"({"window": {"width": 1024}, "graphics": {"lights": [{"type": "spot"}]},
        "video": {"width": null, "dialog": null}, "extra": {"a": [1, 2]}})"));
    Json::Value expected = defaults();
    expected["window"]["width"] = 1024;
    expected["graphics"]["lights"] = kwo::test::parseJson(R"([{"type": "spot"}])");
    expected["video"]["dialog"] = Json::Value();
    expected["extra"] = kwo::test::parseJson(R"({"a": [1, 2]})");
    EXPECT_EQ(config, expected);
    EXPECT_TRUE(config["video"].isMember("dialog"));
    EXPECT_EQ(config["video"]["width"].asInt(), 320);
}

TEST(Merge, ObjectOverAValueIsRefusedByKey)
{
    struct Case {
        const char* source;
        const char* message;
    };
    const Case cases[] = {
        {R"({"window": {"width": {"a": 1}}})", "window/width: expected a number"},
        {R"({"window": {"title": {}}})", "window/title: expected a string"},
        {R"({"media": {"locations": {"x": 1}}})", "media/locations: expected an array"},
        {R"({"misc": {"fix_video": {"x": 1}}})", "misc/fix_video: expected a boolean"},
    };
    for (const Case& c : cases) {
        Json::Value config = defaults();
        try {
            kwo::mergeConfig(config, kwo::test::parseJson(c.source));
            ADD_FAILURE() << c.source;
        } catch (const kwo::Exception& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    // The other way round is a plain replacement.
    Json::Value config = defaults();
    kwo::mergeConfig(config, kwo::test::parseJson(R"({"tracking": {"objects": 5}})"));
    EXPECT_EQ(config["tracking"]["objects"], Json::Value(5));
}

TEST_F(Documents, MissingOrEmptyMainDocumentIsSilent)
{
    load();
    EXPECT_EQ(config, defaults());
    EXPECT_TRUE(userConfig.isNull());
    folder.write("kwo.config", "");
    load();
    EXPECT_EQ(config, defaults());
}

// Whatever keeps a document from being read makes it absent, as a missing one
// is: no message, no exception, the defaults (or the main document) stand.
TEST_F(Documents, UnreadableDocumentsCountAsAbsent)
{
    const std::vector<std::string> files = {"kwo.config", "user.config"};
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        folder.write("kwo.config", R"({"window": {"width": 1024}})");
        std::filesystem::remove(folder.file("user.config"));
        std::filesystem::remove(folder.file(name));
        std::filesystem::create_directory(folder.file(name));
        ASSERT_NO_THROW(load());
        if (name == "kwo.config") {
            EXPECT_EQ(config, defaults());
            EXPECT_TRUE(userConfig.isNull());
        } else {
            EXPECT_EQ(config["window"]["width"].asInt(), 1024);
            EXPECT_EQ(userConfig["window"]["width"].asInt(), 1024);
        }
        std::filesystem::remove(folder.file(name));
    }
    if (geteuid() != 0) { // root reads whatever the permission bits say
        folder.write("user.config", R"({"camera": "secret"})");
        std::filesystem::permissions(folder.file("user.config"), std::filesystem::perms::none);
        ASSERT_NO_THROW(load());
        EXPECT_TRUE(userConfig["camera"].isNull());
    }
}

// The reader refuses a document nested deeper than its stack allows by
// throwing; the main document then shows the box with the reader's words, the
// user document is silently invalid and keeps nothing of the deep text.
TEST_F(Documents, DocumentsNestedTooDeep)
{
    const std::string deep = std::string(5000, '[') + std::string(5000, ']');
    folder.write("kwo.config", deep);
    load(true);
    EXPECT_EQ(asked, "Exceeded stackLimit in readValue().\n\nContinue with default settings?");
    EXPECT_EQ(config, defaults());
    EXPECT_TRUE(userConfig.isNull());

    folder.write("kwo.config", R"({"window": {"width": 1024}})");
    folder.write("user.config", "{\"camera\": " + deep + "}");
    ASSERT_NO_THROW(load());
    EXPECT_EQ(config["window"]["width"].asInt(), 1024);
    EXPECT_EQ(userConfig, kwo::test::parseJson(R"({"window": {"width": 1024}})"));
}

TEST_F(Documents, InvalidMainDocumentAsksAndContinuesOnDefaults)
{
    struct Case {
        const char* text;
        const char* start;
    };
    const Case cases[] = {
        {"{", "* Line 1, Column 2\n"},
        {" \n\n  ", "* Line 3, Column 3\n  Syntax error: value, object or array expected.\n"},
        {"{\"window\": {\"width\": 1024,}}", "* Line 1, Column 27\n"},
    };
    for (const Case& c : cases) {
        folder.write("kwo.config", c.text);
        load(true);
        EXPECT_EQ(asked.rfind(c.start, 0), 0u) << asked;
        const std::string end = "\n\nContinue with default settings?";
        ASSERT_GE(asked.size(), end.size());
        EXPECT_EQ(asked.substr(asked.size() - end.size()), end) << c.text;
        EXPECT_EQ(config, defaults()) << c.text;
    }
    try {
        load(false);
        ADD_FAILURE() << "Cancel must end the process";
    } catch (const kwo::ProcessExit& exit) {
        EXPECT_EQ(exit.code, -1);
    }
}

TEST_F(Documents, MainDocumentWithCommentsAndANamedPath)
{
    folder.write("station.config", "// a station\n{ /* width */ \"window\": {\"width\": 1024} // wide\n}");
    load(std::nullopt, "station.config");
    Json::Value expected = defaults();
    expected["window"]["width"] = 1024;
    EXPECT_EQ(config, expected);
    // On a first run the user document starts as the main document.
    EXPECT_EQ(userConfig["window"]["width"].asInt(), 1024);
}

TEST_F(Documents, MainDocumentThatIsNotAnObjectStops)
{
    folder.write("kwo.config", "[1, 2]");
    try {
        load();
        ADD_FAILURE();
    } catch (const kwo::Exception& e) {
        EXPECT_STREQ(e.what(), "kwo.config: the document must be a JSON object");
    }
}

TEST_F(Documents, UserDocumentReplacesKeepsOrIsDropped)
{
    folder.write("kwo.config", R"({"window": {"width": 1024}})");
    folder.write("user.config", R"({"camera": "Cam A", "note": 1})");
    load();
    EXPECT_EQ(userConfig, kwo::test::parseJson(R"({"camera": "Cam A", "note": 1})"));

    // A syntax error later in the text keeps what was read before it.
    folder.write("user.config", R"({"camera": "Cam B", "x": })");
    load();
    EXPECT_EQ(userConfig["camera"].asString(), "Cam B");

    // Text that does not start with a value leaves the main document.
    folder.write("user.config", "garbage");
    load();
    EXPECT_EQ(userConfig["window"]["width"].asInt(), 1024);

    // A root that cannot hold "camera" starts the user document afresh.
    folder.write("user.config", "[\"Cam C\"]");
    load();
    EXPECT_EQ(userConfig, Json::Value(Json::objectValue));
}

TEST_F(Documents, SaveWritesSortedIndentedAndReplacesWhole)
{
    folder.write("user.config", std::string(5000, 'x'));
    Json::Value user = kwo::test::parseJson("{\"zeta\": 1, // kept\n \"camera\": \"Cam A\"}");
    kwo::saveUserConfig(user);
    EXPECT_EQ(folder.read("user.config"), "{\n    \"camera\" : \"Cam A\",\n    \"zeta\" : 1 // kept\n}\n");
    EXPECT_FALSE(folder.exists("user.config.new"));
}

TEST_F(Documents, SaveFailureLeavesTheOldDocument)
{
    folder.write("user.config", "{\"camera\": \"old\"}");
    // A folder where the temporary file should go makes the write fail.
    std::filesystem::create_directory(folder.file("user.config.new"));
    kwo::saveUserConfig(kwo::test::parseJson(R"({"camera": "new"})"));
    EXPECT_EQ(folder.read("user.config"), "{\"camera\": \"old\"}");
}

} // namespace

namespace {

std::filesystem::perms permissionsOf(const std::string& path)
{
    return std::filesystem::status(path).permissions();
}

// The station may keep "user.config" elsewhere through a symbolic link, and
// may have narrowed or widened its permission bits: a rewrite changes the
// content and nothing else.
TEST_F(Documents, SaveWritesThroughLinksAndKeepsPermissions)
{
    std::filesystem::create_directory(folder.file("shared"));
    folder.write("shared/station.user", "{\"camera\": \"old\"}");
    std::filesystem::create_symlink("shared/station.user", folder.file("user.config"));
    std::filesystem::permissions(folder.file("shared/station.user"), std::filesystem::perms(0660));

    kwo::saveUserConfig(kwo::test::parseJson(R"({"camera": "new"})"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.file("user.config")));
    EXPECT_EQ(folder.read("shared/station.user"), "{\n    \"camera\" : \"new\"\n}\n");
    EXPECT_EQ(permissionsOf(folder.file("shared/station.user")), std::filesystem::perms(0660));
    EXPECT_FALSE(folder.exists("shared/station.user.new"));
    EXPECT_FALSE(folder.exists("user.config.new"));

    // A link whose target does not exist yet: the target is created.
    std::filesystem::remove(folder.file("shared/station.user"));
    kwo::saveUserConfig(kwo::test::parseJson(R"({"camera": "first"})"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder.file("user.config")));
    EXPECT_EQ(folder.read("shared/station.user"), "{\n    \"camera\" : \"first\"\n}\n");
}

TEST_F(Documents, SaveNeverFollowsALinkAtTheTemporaryName)
{
    folder.write("user.config", "{\"camera\": \"old\"}");
    folder.write("victim", "untouched");
    std::filesystem::create_symlink("victim", folder.file("user.config.new"));
    kwo::saveUserConfig(kwo::test::parseJson(R"({"camera": "new"})"));
    EXPECT_EQ(folder.read("victim"), "untouched");
    EXPECT_EQ(folder.read("user.config"), "{\n    \"camera\" : \"new\"\n}\n");
    EXPECT_FALSE(std::filesystem::is_symlink(folder.file("user.config")));
}

} // namespace

namespace {

// What a technician's editor or a careless copy puts into a document: a
// byte-order mark is skipped, a member written twice is warned about with
// both lines, a document far beyond any station's size is refused by name.
TEST_F(Documents, ByteOrderMarkDuplicatesAndSizeAsTheTechnicianWritesThem)
{
    std::ostringstream said;
    kwo::StartupNotes notes(said);
    const auto loadWithNotes = [&] {
        kwo::loadConfiguration("", config, userConfig, [](const std::string&) { return true; }, &notes);
    };

    folder.write("kwo.config", "\xEF\xBB\xBF{\"window\": {\"fullscreen\": false}}");
    folder.write("user.config", "\xEF\xBB\xBF{\"camera\": \"Cam A\"}");
    loadWithNotes();
    EXPECT_FALSE(config["window"]["fullscreen"].asBool());
    EXPECT_EQ(userConfig["camera"].asString(), "Cam A");
    EXPECT_EQ(said.str(), "");

    std::filesystem::remove(folder.file("user.config"));
    folder.write("kwo.config", "{\n  \"window\": {\"fullscreen\": false},\n  \"window\": {\"width\": 1024}\n}");
    loadWithNotes();
    EXPECT_TRUE(config["window"]["fullscreen"].asBool()); // the reader kept only the second
    EXPECT_EQ(said.str(), "Warning: kwo.config line 3: \"window\" is written again; the one on line 2 is ignored\n");

    said.str("");
    folder.write("kwo.config", "{\"tracking\": {\"params\": \"" + std::string(kwo::mainDocumentLimit, 'x') + "\"}}");
    try {
        loadWithNotes();
        ADD_FAILURE() << "a document above 1 MB was read";
    } catch (const kwo::Exception& e) {
        EXPECT_STREQ(e.what(), "kwo.config: the document is larger than 1 MB");
    }

    folder.write("kwo.config", "{}");
    folder.write("user.config", "{\"camera\": \"Cam B\", \"x\": \"" + std::string(kwo::userDocumentLimit, 'x') + "\"}");
    loadWithNotes();
    EXPECT_FALSE(userConfig.isMember("camera"));
    EXPECT_EQ(said.str(), "Warning: user.config is larger than 8 MB and is not read; it is rewritten at the end of "
                          "the start-up\n");

    said.str("");
    folder.write("kwo.config", "{");
    loadWithNotes();
    EXPECT_EQ(said.str(), "Warning: kwo.config is not valid JSON; the built-in defaults apply\n");
}

// Whoever runs the station next must be able to rewrite the user document:
// made new in a folder its group shares, it is writable for the group
// whatever the umask; elsewhere the umask stands.
TEST_F(Documents, SaveMakesANewDocumentWritableForAGroupSharingTheFolder)
{
    const mode_t oldMask = ::umask(022);
    std::filesystem::create_directory(folder.file("shared"));
    std::filesystem::permissions(folder.file("shared"), std::filesystem::perms(02775));
    std::filesystem::create_directory(folder.file("private"));
    std::filesystem::permissions(folder.file("private"), std::filesystem::perms(0755));
    EXPECT_EQ(kwo::saveUserConfig(kwo::test::parseJson(R"({"camera": "A"})"), folder.file("shared/user.config")),
              std::nullopt);
    EXPECT_EQ(kwo::saveUserConfig(kwo::test::parseJson(R"({"camera": "A"})"), folder.file("private/user.config")),
              std::nullopt);
    ::umask(oldMask);
    EXPECT_EQ(permissionsOf(folder.file("shared/user.config")), std::filesystem::perms(0664));
    EXPECT_EQ(permissionsOf(folder.file("private/user.config")), std::filesystem::perms(0644));
}

TEST_F(Documents, SaveSaysWhyItCouldNotWrite)
{
    EXPECT_EQ(kwo::saveUserConfig(kwo::test::parseJson(R"({"camera": "A"})"), folder.file("missing/user.config")),
              std::optional<std::string>("No such file or directory"));
    // The temporary name taken by a folder: the old document stays.
    folder.write("user.config", "{\"camera\": \"old\"}");
    std::filesystem::create_directory(folder.file("user.config.new"));
    EXPECT_EQ(kwo::saveUserConfig(kwo::test::parseJson(R"({"camera": "new"})")),
              std::optional<std::string>("File exists"));
    EXPECT_EQ(folder.read("user.config"), "{\"camera\": \"old\"}");
}

} // namespace
