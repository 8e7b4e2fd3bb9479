#pragma once

#include <json/value.h>

#include <string>

namespace kwo {

// The device text the video library is opened with: an XML document naming
// the camera, the requested frame size, whether to show the camera's format
// dialog and the flips. `video` is the "video" section of the effective
// configuration; an attribute is written exactly when its key is a member of
// the section (a null member writes false or 0). The camera name is escaped
// as an XML attribute value (& < > " ' and tab, line feed, carriage return),
// otherwise written byte for byte, so
// a name without those characters gives the same text as an unescaped one.
// A section that is neither an object nor null stops with "video: expected
// an object" (kwo::Exception); conversion errors of the values pass through
// (std::runtime_error).
std::string buildVideoConfig(const Json::Value& video, const std::string& cameraName);

} // namespace kwo
