#include "video/video_config.h"

#include "config/convert.h"

#include <sstream>

namespace kwo {
namespace {

bool isMember(const Json::Value& section, const char* key)
{
    return section.isObject() && section.isMember(key);
}

} // namespace

std::string buildVideoConfig(const Json::Value& video, const std::string& cameraName)
{
    std::ostringstream camera;
    camera << std::boolalpha;
    if (isMember(video, "dialog"))
        camera << " show_format_dialog=\"" << asBool(video["dialog"]) << '"';
    if (isMember(video, "width"))
        camera << " frame_width=\"" << asUInt(video["width"]) << '"';
    if (isMember(video, "height"))
        camera << " frame_height=\"" << asUInt(video["height"]) << '"';
    camera << " friendly_name=\"" << cameraName << '"';

    std::ostringstream pixel;
    pixel << std::boolalpha;
    if (isMember(video, "flip_horizontal"))
        pixel << " flip_h=\"" << asBool(video["flip_horizontal"]) << '"';
    if (isMember(video, "flip_vertical"))
        pixel << " flip_v=\"" << asBool(video["flip_vertical"]) << '"';

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
