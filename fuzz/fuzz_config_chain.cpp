// The configuration chain as a start-up runs it: the main document and the
// user document (the input split at its first NUL byte; without one there is
// no user document) are read from disk and merged over the built-in document,
// every value every stage reads is read and checked as the start-up does
// before it opens the camera and the window, the camera is set as the camera
// choice sets it, the "video" section becomes the device text, and the user
// document is written back. Invariants: only the viewer's own error type
// escapes, and every refusal of a value names a section of the document in
// its message or detail; the invalid-document box ends with its question;
// and the rewritten user document reads back as the same tree whenever its
// strings are UTF-8 (the writer replaces other bytes with U+FFFD, a known
// limit of the JSON library's styled writer).
#include "app/settings_check.h"
#include "config/documents.h"
#include "config/exception.h"
#include "config/startup_notes.h"
#include "video/video_config.h"

#include "fuzz/scratch_file.h"

#include <json/reader.h>
#include <libxml/xmlstring.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace {

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool isUtf8(const std::string& text)
{
    return xmlCheckUTF8(reinterpret_cast<const xmlChar*>(text.c_str())) != 0 && text.find('\0') == std::string::npos;
}

bool allStringsUtf8(const Json::Value& value)
{
    if (value.isString())
        return isUtf8(value.asString());
    if (value.isObject())
        for (const std::string& name : value.getMemberNames())
            if (!isUtf8(name) || !allStringsUtf8(value[name]))
                return false;
    if (value.isArray())
        for (const Json::Value& element : value)
            if (!allStringsUtf8(element))
                return false;
    return true;
}

// A refusal must say which value it refuses: every key starts with its section.
bool namesASection(const kwo::Exception& error)
{
    const std::string said = std::string(error.what()) + " " + error.detail();
    for (const char* section : {"window", "rendering", "graphics", "tracking", "media", "video", "misc"})
        if (said.find(section) != std::string::npos)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The documents are named by full paths: the target never changes its
    // working directory, so the fuzzer's own relative paths stay good.
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    static const kwo::fuzz::ScratchFile mainFile("kwo.config");
    static const kwo::fuzz::ScratchFile userFile("user.config");
    const std::string mainText = input.substr(0, split);
    mainFile.write(reinterpret_cast<const std::uint8_t*>(mainText.data()), mainText.size());
    if (split == std::string::npos) {
        unlink(userFile.path().c_str());
    } else {
        const std::string userText = input.substr(split + 1);
        userFile.write(reinterpret_cast<const std::uint8_t*>(userText.data()), userText.size());
    }

    Json::Value config, userConfig;
    std::ostringstream warnings;
    kwo::StartupNotes notes(warnings);
    try {
        kwo::loadConfiguration(
            mainFile.path(), config, userConfig,
            [](const std::string& message) {
                if (!endsWith(message, "\nContinue with default settings?"))
                    std::abort();
                return true;
            },
            &notes, userFile.path());
    } catch (const kwo::Exception&) {
        return 0; // a document of the wrong shape or size, named by its key or file
    }

    // Every stage's reading and checking, short of the camera and the window.
    try {
        kwo::checkSettings(config, notes);
    } catch (const kwo::Exception& error) {
        if (!namesASection(error))
            std::abort();
    }

    // The camera choice: the remembered name, read as the dialog reads it.
    std::string camera = "Cam";
    try {
        if (userConfig.isObject() && userConfig.isMember("camera") && userConfig["camera"].isString())
            camera = userConfig["camera"].asString() + "+";
    } catch (const std::exception&) {
    }
    if (!userConfig.isObject())
        userConfig = Json::Value(Json::objectValue);
    Json::Value chosen(camera);
    userConfig["camera"].swapPayload(chosen);

    try {
        kwo::buildVideoConfig(config["video"], camera);
    } catch (const kwo::Exception&) {
    }

    if (kwo::saveUserConfig(userConfig, userFile.path()))
        std::abort(); // the scratch folder is writable
    Json::Value reread;
    Json::Reader reader;
    std::string written;
    if (std::FILE* in = std::fopen(userFile.path().c_str(), "rb")) {
        char buffer[65536];
        std::size_t count;
        while ((count = std::fread(buffer, 1, sizeof buffer, in)) > 0)
            written.append(buffer, count);
        std::fclose(in);
    }
    if (!reader.parse(written, reread, true))
        std::abort();
    if (allStringsUtf8(userConfig) && reread != userConfig)
        std::abort();
    return 0;
}
