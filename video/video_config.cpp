#include "video/video_config.h"

#include "config/exception.h"

#include <sstream>

namespace kwo {
namespace {

// The name as an attribute value: the five characters XML gives meaning to,
// and the three white-space characters a reader would turn into blanks,
// become references, so any name reads back as it was written and none can
// end the attribute early. Everything else goes in byte for byte.
std::string escapeAttribute(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&apos;";
            break;
        // A reader turns these into blanks unless they are references.
        case '\t':
            escaped += "&#9;";
            break;
        case '\n':
            escaped += "&#10;";
            break;
        case '\r':
            escaped += "&#13;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

} // namespace

std::string buildVideoConfig(const Json::Value& video, const std::string& cameraName)
{
    return buildVideoConfig(Setting(video, "video"), cameraName);
}

std::string buildVideoConfig(const Setting& video, const std::string& cameraName)
{
    if (!video.isAbsent() && !video.value().isObject())
        throw Exception(video.path() + ": expected an object");
    std::ostringstream camera;
    camera << std::boolalpha;
    if (video.has("dialog"))
        camera << " show_format_dialog=\"" << video["dialog"].asBool() << '"';
    if (video.has("width"))
        camera << " frame_width=\"" << video["width"].asUInt() << '"';
    if (video.has("height"))
        camera << " frame_height=\"" << video["height"].asUInt() << '"';
    camera << " friendly_name=\"" << escapeAttribute(cameraName) << '"';

    std::ostringstream pixel;
    pixel << std::boolalpha;
    if (video.has("flip_horizontal"))
        pixel << " flip_h=\"" << video["flip_horizontal"].asBool() << '"';
    if (video.has("flip_vertical"))
        pixel << " flip_v=\"" << video["flip_vertical"].asBool() << '"';

    std::ostringstream text;
    text << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         << "<dsvl_input xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
            " xsi:noNamespaceSchemaLocation=\"DsVideoLib.xsd\">\n"
         << "  <camera" << camera.str() << ">\n"
         << "    <pixel_format>\n"
         << "      <RGB32" << pixel.str() << "/>\n"
         << "    </pixel_format>\n"
         << "  </camera>\n"
         << "</dsvl_input>\n";
    return text.str();
}

} // namespace kwo
