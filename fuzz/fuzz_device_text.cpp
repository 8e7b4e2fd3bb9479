// The device text: any text is refused with a message or read; any camera
// name and "video" section either fail to convert or build a text that reads
// back to the same name and values.
#include "video/device_request.h"
#include "video/video_config.h"

#include <json/reader.h>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

namespace {

// True when `text` is strict UTF-8 made only of characters XML 1.0 allows in
// a document (control characters other than tab and line ends excluded, no
// surrogates, no U+FFFE or U+FFFF). The device text cannot carry anything
// else, escaped or not, and every name the camera list produces is such text.
bool isXmlText(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        int length = lead < 0x80 ? 1 : (lead & 0xe0) == 0xc0 ? 2 : (lead & 0xf0) == 0xe0 ? 3 : (lead & 0xf8) == 0xf0 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        unsigned code = length == 1 ? lead : lead & (0xff >> (length + 1));
        for (int k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xc0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3f);
        }
        const unsigned shortest = length == 1 ? 0 : length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (code < shortest || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff) || code == 0xfffe ||
            code == 0xffff || (code < 0x20 && code != '\t' && code != '\n' && code != '\r'))
            return false;
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    try {
        kwo::parseDeviceRequest(input);
    } catch (const std::runtime_error&) {
    }

    // First line: the camera name; the rest: the "video" section.
    const std::size_t newline = input.find('\n');
    const std::string name = input.substr(0, newline);
    const std::string section = newline == std::string::npos ? "{}" : input.substr(newline + 1);
    Json::Value video;
    Json::Reader reader;
    try {
        if (!reader.parse(section, video, false))
            return 0;
    } catch (const std::exception&) {
        return 0; // nested too deep
    }
    std::string text;
    try {
        text = kwo::buildVideoConfig(video, name);
    } catch (const std::exception&) {
        return 0; // conversion errors and a section that is no object
    }
    // The text declares UTF-8 and is XML; other names cannot be in it.
    if (!isXmlText(name))
        return 0;
    kwo::DeviceRequest request;
    try {
        request = kwo::parseDeviceRequest(text);
    } catch (const std::runtime_error&) {
        std::abort();
    }
    if (request.friendlyName != name)
        std::abort();
    return 0;
}
