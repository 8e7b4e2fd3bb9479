#include "config/documents.h"

#include "config/exception.h"

#include <json/reader.h>
#include <json/writer.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <unistd.h>

extern const unsigned char defaultConfigDocument[];
extern const std::size_t defaultConfigDocumentSize;

namespace kwo {
namespace {

// The whole text of a file, or nothing when it cannot be read or is empty:
// both count as "no document".
std::optional<std::string> readDocument(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad() || text.empty())
        return std::nullopt;
    return text;
}

bool parse(const std::string& text, Json::Value& root, std::string* errors)
{
    Json::Reader reader;
    const bool ok = reader.parse(text.data(), text.data() + text.size(), root, true);
    if (!ok && errors)
        *errors = reader.getFormattedErrorMessages();
    return ok;
}

const char* kindOf(const Json::Value& value)
{
    switch (value.type()) {
    case Json::stringValue:
        return "a string";
    case Json::booleanValue:
        return "a boolean";
    case Json::arrayValue:
        return "an array";
    default:
        return "a number";
    }
}

} // namespace

std::string_view defaultDocument()
{
    return {reinterpret_cast<const char*>(defaultConfigDocument), defaultConfigDocumentSize};
}

void mergeConfig(Json::Value& target, const Json::Value& source, const std::string& path)
{
    if (!source.isNull() && !source.isObject()) {
        target = source;
        return;
    }
    if (source.isNull())
        return; // has no members: changes nothing
    if (!target.isNull() && !target.isObject())
        throw Exception((path.empty() ? std::string("document") : path) + ": expected " + kindOf(target));
    for (const std::string& name : source.getMemberNames()) {
        const std::string memberPath = path.empty() ? name : path + "/" + name;
        if (!target.isMember(name))
            target[name] = source[name];
        else
            mergeConfig(target[name], source[name], memberPath);
    }
}

void loadConfiguration(const std::string& configPath, Json::Value& config, Json::Value& userConfig,
                       const AskContinue& ask)
{
    const std::string_view builtIn = defaultDocument();
    parse(std::string(builtIn), config, nullptr);

    const std::string mainPath = configPath.empty() ? "kwo.config" : configPath;
    if (const auto text = readDocument(mainPath)) {
        std::string errors;
        if (parse(*text, userConfig, &errors)) {
            if (!userConfig.isObject() && !userConfig.isNull())
                throw Exception(mainPath + ": the document must be a JSON object");
            mergeConfig(config, userConfig);
        } else if (!ask(errors + "\nContinue with default settings?")) {
            throw ProcessExit{-1};
        }
    }

    // The user document only ever contributes "camera"; what it holds beyond
    // that is kept and written back untouched.
    if (const auto text = readDocument("user.config"))
        parse(*text, userConfig, nullptr);
    if (!userConfig.isNull() && !userConfig.isObject())
        userConfig = Json::Value(Json::objectValue);
}

void saveUserConfig(const Json::Value& userConfig)
{
    std::ostringstream text;
    Json::StyledStreamWriter("    ").write(text, userConfig);
    const std::string document = text.str();

    const char* path = "user.config";
    const char* temporary = "user.config.new";
    std::FILE* out = std::fopen(temporary, "w");
    if (!out)
        return;
    const bool written = std::fwrite(document.data(), 1, document.size(), out) == document.size() &&
                         std::fflush(out) == 0 && fsync(fileno(out)) == 0;
    const bool closed = std::fclose(out) == 0;
    if (!written || !closed || std::rename(temporary, path) != 0)
        std::remove(temporary);
}

} // namespace kwo
