// Every configuration example of the README and the manual pages, merged
// over the built-in defaults as a start-up merges it, passes the start-up's
// checks: a technician who copies one gets a station that starts.
#include "app/settings_check.h"
#include "config/documents.h"
#include "config/exception.h"
#include "config/startup_notes.h"
#include "tests/support/files.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using kwo::test::linesOf;

struct Example {
    std::string where; // file and line, for the failure message
    std::string text;
};

// Code blocks of a Markdown text: runs of indented lines (a list item's
// included) and fenced blocks, each with the line it starts on.
std::vector<Example> markdownBlocks(const std::string& file, const std::string& text)
{
    std::vector<Example> blocks;
    const std::vector<std::string> lines = linesOf(text);
    for (std::size_t i = 0; i < lines.size();) {
        const std::size_t start = i;
        std::string block;
        if (lines[i].rfind("```", 0) == 0) {
            for (++i; i < lines.size() && lines[i].rfind("```", 0) != 0; ++i)
                block += lines[i] + "\n";
            ++i;
        } else if (lines[i].rfind("    ", 0) == 0 && (i == 0 || lines[i - 1].find_first_not_of(' ') == std::string::npos)) {
            for (; i < lines.size() && (lines[i].rfind("    ", 0) == 0 || lines[i].empty()); ++i)
                block += lines[i] + "\n";
        } else {
            ++i;
            continue;
        }
        blocks.push_back({file + " line " + std::to_string(start + 1), block});
    }
    return blocks;
}

// The no-fill blocks of a manual page (.nf to .fi), roff escapes undone.
std::vector<Example> manualBlocks(const std::string& file, const std::string& text)
{
    std::vector<Example> blocks;
    const std::vector<std::string> lines = linesOf(text);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != ".nf")
            continue;
        const std::size_t start = i;
        std::string block;
        for (++i; i < lines.size() && lines[i] != ".fi"; ++i)
            block += std::regex_replace(lines[i], std::regex(R"(\\-)"), "-") + "\n";
        blocks.push_back({file + " line " + std::to_string(start + 1), block});
    }
    return blocks;
}

bool parseObject(const std::string& text, Json::Value& document)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), &document, &errors) && document.isObject();
}

// A block is a configuration example when it is a JSON object, or members of
// one ("tracking": {...}) that become one when wrapped in braces. A block
// that looks like one (it starts with { or ") and is neither is a broken
// example.
enum class Kind { notJson, document, broken };
Kind readExample(const std::string& text, Json::Value& document)
{
    const std::size_t first = text.find_first_not_of(" \n\t");
    if (first == std::string::npos || (text[first] != '{' && text[first] != '"'))
        return Kind::notJson;
    if (parseObject(text, document) || parseObject("{" + text + "}", document))
        return Kind::document;
    return Kind::broken;
}

TEST(DocumentedExamples, EveryConfigurationExamplePassesTheStartUpChecks)
{
    std::vector<Example> blocks = markdownBlocks("README.md", kwo::test::readFile(KWO_SOURCE_DIR "/README.md"));
    for (const char* page : {"kwo.1", "kwo-make-marker.1", "kwo-make-clip.1", "kwo-calibrate.1"})
        for (Example& block : manualBlocks(page, kwo::test::readFile(KWO_SOURCE_DIR "/packaging/" + std::string(page))))
            blocks.push_back(std::move(block));

    int checked = 0;
    for (const Example& block : blocks) {
        SCOPED_TRACE(block.where + ":\n" + block.text);
        Json::Value example;
        const Kind kind = readExample(block.text, example);
        EXPECT_NE(kind, Kind::broken) << "looks like a configuration example but is not valid JSON";
        if (kind != Kind::document)
            continue;
        Json::Value config;
        Json::Value unused;
        kwo::loadConfiguration("/nonexistent/kwo.config", config, unused, [](const std::string&) { return false; });
        std::ostringstream said;
        kwo::StartupNotes notes(said);
        try {
            kwo::mergeConfig(config, example);
            kwo::checkSettings(config, notes);
        } catch (const kwo::Exception& error) {
            ADD_FAILURE() << error.what() << " (" << error.detail() << ")";
        }
        EXPECT_EQ(said.str(), "");
        ++checked;
    }
    // The README's steadying and new-marker examples and the two manual
    // examples at least: an extraction that finds nothing proves nothing.
    EXPECT_GE(checked, 4);
}

} // namespace
