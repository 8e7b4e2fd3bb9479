#pragma once

#include <json/value.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kwo {

class StartupNotes;

// Shows the reader's messages of an invalid main document and asks whether to
// go on with the built-in defaults; true means go on.
using AskContinue = std::function<bool(const std::string& message)>;

// The largest main document read: a station's configuration is a few
// kilobytes, and every byte is held several times over while it is read,
// merged and copied into the user document.
constexpr std::size_t mainDocumentLimit = 1 << 20;
// The largest user document read. On a first run it starts as a copy of the
// main document, which the writer's indentation makes a few times longer.
constexpr std::size_t userDocumentLimit = 8 << 20;

// The built-in document every run starts from (embedded in the program).
std::string_view defaultDocument();

// The main document's file name: `configPath`, or "kwo.config" when empty.
std::string mainDocumentPath(const std::string& configPath);

// Builds the effective configuration (`config`: the built-in document with the
// main document merged over it) and the user document tree (`userConfig`).
// The main document is mainDocumentPath(configPath); the user document is
// `userPath`; both relative to the working directory. A UTF-8 byte-order mark
// at the start of either is skipped. A missing or empty main document is
// silent; an invalid one asks `ask`, and a refusal throws ProcessExit{-1}; one
// larger than mainDocumentLimit, or whose root is not an object, stops with a
// message naming the file. With `notes`, every member the main document
// writes twice is warned about (the reader keeps the last), and so is a user
// document too large to read. The user document never stops anything.
void loadConfiguration(const std::string& configPath, Json::Value& config, Json::Value& userConfig,
                       const AskContinue& ask, StartupNotes* notes = nullptr,
                       const std::string& userPath = "user.config");

// Merges `source` into `target`: objects member by member, anything else
// replaces whole (arrays included). Never removes a member. An object can only
// be merged into an object or null; elsewhere the merge stops with a message
// naming the key (`path` is the key of `target`).
void mergeConfig(Json::Value& target, const Json::Value& source, const std::string& path = "");

// Writes the user document to `path`, indented by four spaces. The text goes
// to a temporary file that then replaces the old one, so an interrupted write
// never leaves a truncated document. A new file is writable for the group
// where the folder is group-shared (see files/new_file.h). Returns why the
// document could not be written (the system's words, "Permission denied"),
// in which case the old file is left as it was.
std::optional<std::string> saveUserConfig(const Json::Value& userConfig, const std::string& path = "user.config");

} // namespace kwo
