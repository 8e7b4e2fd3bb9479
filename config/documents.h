#pragma once

#include <json/value.h>

#include <functional>
#include <string>
#include <string_view>

namespace kwo {

// Shows the reader's messages of an invalid main document and asks whether to
// go on with the built-in defaults; true means go on.
using AskContinue = std::function<bool(const std::string& message)>;

// The built-in document every run starts from (embedded in the program).
std::string_view defaultDocument();

// Builds the effective configuration (`config`: the built-in document with the
// main document merged over it) and the user document tree (`userConfig`).
// The main document is `configPath`, or "kwo.config" when empty; the user
// document is "user.config"; both relative to the working directory. A
// missing or empty main document is silent; an invalid one asks `ask`, and a
// refusal throws ProcessExit{-1}. The user document never produces a message.
void loadConfiguration(const std::string& configPath, Json::Value& config, Json::Value& userConfig,
                       const AskContinue& ask);

// Merges `source` into `target`: objects member by member, anything else
// replaces whole (arrays included). Never removes a member. An object can only
// be merged into an object or null; elsewhere the merge stops with a message
// naming the key (`path` is the key of `target`).
void mergeConfig(Json::Value& target, const Json::Value& source, const std::string& path = "");

// Writes the user document to "user.config", indented by four spaces. The text
// goes to a temporary file that then replaces the old one, so an interrupted
// write never leaves a truncated document. Failures are silent.
void saveUserConfig(const Json::Value& userConfig);

} // namespace kwo
