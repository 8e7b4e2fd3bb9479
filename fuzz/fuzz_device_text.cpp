// The device text: any text is refused with a message or read; any camera
// name and "video" section either fail to convert or build a text that reads
// back to the same name and values.
#include "video/device_request.h"
#include "video/video_config.h"

#include <json/reader.h>
#include <libxml/xmlstring.h>

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

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
    // The text declares UTF-8; a name that is not UTF-8 cannot be in it.
    if (xmlCheckUTF8(reinterpret_cast<const xmlChar*>(name.c_str())) == 0 || name.find('\0') != std::string::npos)
        return 0;
    kwo::DeviceRequest request;
    try {
        request = kwo::parseDeviceRequest(text);
    } catch (const std::runtime_error&) {
        // XML 1.0 forbids the other control characters, even as references.
        for (const unsigned char c : name)
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                return 0;
        std::abort();
    }
    if (request.friendlyName != name)
        std::abort();
    return 0;
}
