#pragma once

#include <json/value.h>
#include <string>

namespace kwo {

// Conversions of configuration values. JsonCpp 1.9 turns numbers into strings
// and works in 64-bit integers; the viewer's rules differ, so every access to a
// configuration value converts through these. Errors are std::runtime_error
// with the texts the user sees in the error box.
//
// A number is classified as the reader of the documents defines it: digits
// only and within the signed 32-bit range is an integer, larger and positive
// within 32 bits is an unsigned integer, anything else is a real.
std::string asString(const Json::Value& value);
double asDouble(const Json::Value& value);
int asInt(const Json::Value& value);
unsigned asUInt(const Json::Value& value);
bool asBool(const Json::Value& value);

} // namespace kwo
