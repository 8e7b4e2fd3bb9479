#pragma once

#include "config/setting.h"

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
// an object" (kwo::Exception); a value that does not convert stops with the
// conversion's text and its key in the detail (kwo::Exception, a
// std::runtime_error).
std::string buildVideoConfig(const Json::Value& video, const std::string& cameraName);
// The same for the section as a setting: its path names the keys, its notes
// hear of booleans written as strings.
std::string buildVideoConfig(const Setting& video, const std::string& cameraName);

} // namespace kwo
