#include "config/setting.h"

#include "config/convert.h"
#include "config/exception.h"
#include "config/startup_notes.h"

#include <json/writer.h>

#include <iomanip>
#include <sstream>

namespace kwo {

std::string numberText(double value)
{
    std::ostringstream text;
    text << std::setprecision(15) << value;
    return text.str();
}

Setting::Setting(const Json::Value& value, std::string path, StartupNotes* notes)
    : node(&value), keyPath(std::move(path)), notesSink(notes)
{
}

void Setting::requireObject() const
{
    if (!node->isNull() && !node->isObject())
        throw Exception(keyPath + ": expected an object");
}

std::string Setting::childPath(const std::string& name) const
{
    return keyPath.empty() ? name : keyPath + "/" + name;
}

Setting Setting::operator[](const std::string& name) const
{
    requireObject();
    return Setting((*node)[name], childPath(name), notesSink);
}

Setting Setting::operator[](unsigned index) const
{
    if (!node->isNull() && !node->isArray())
        throw Exception(keyPath + ": expected an array");
    return Setting((*node)[index], keyPath + "[" + std::to_string(index) + "]", notesSink);
}

unsigned Setting::size() const
{
    if (!node->isNull() && !node->isArray())
        throw Exception(keyPath + ": expected an array");
    return node->size();
}

bool Setting::has(const std::string& name) const
{
    requireObject();
    return node->isMember(name);
}

std::string Setting::written() const
{
    switch (node->type()) {
    case Json::nullValue:
        return "null";
    case Json::intValue:
        return Json::valueToString(node->asLargestInt());
    case Json::uintValue:
        return Json::valueToString(node->asLargestUInt());
    case Json::realValue:
        return numberText(node->asDouble());
    case Json::booleanValue:
        return node->asBool() ? "true" : "false";
    case Json::arrayValue:
        return "an array";
    case Json::objectValue:
        return "an object";
    case Json::stringValue:
        break;
    }
    // A message is one line of readable length, whatever the string holds.
    const std::string text = node->asString();
    std::string shown;
    for (const char c : text.substr(0, 40))
        shown += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    return "\"" + shown + (text.size() > 40 ? "...\"" : "\"");
}

template <typename Convert>
auto Setting::converted(Convert convert, const char* expected) const
{
    try {
        return convert(*node);
    } catch (const std::runtime_error& error) {
        throw Exception(error.what(), keyPath + ": " + written() + " is not " + expected);
    }
}

bool Setting::asBool() const
{
    if (notesSink && node->isString()) {
        // The conversion stays what it has always been; the warning says
        // what it makes of the text, since "false" in quotes is true.
        const bool value = !node->asString().empty();
        notesSink->warn(keyPath + ": the string " + written() + " counts as " + (value ? "true" : "false") +
                        "; write true or false without quotes");
    }
    return converted(kwo::asBool, "a boolean");
}

int Setting::asInt() const
{
    return converted(kwo::asInt, "a number from -2147483648 to 2147483647");
}

unsigned Setting::asUInt() const
{
    return converted(kwo::asUInt, "a number from 0 to 4294967295");
}

double Setting::asDouble() const
{
    return converted(kwo::asDouble, "a number");
}

std::string Setting::asString() const
{
    return converted(kwo::asString, "a string");
}

bool Setting::getBool(const std::string& name, bool fallback) const
{
    return has(name) ? (*this)[name].asBool() : fallback;
}

int Setting::getInt(const std::string& name, int fallback) const
{
    return has(name) ? (*this)[name].asInt() : fallback;
}

unsigned Setting::getUInt(const std::string& name, unsigned fallback) const
{
    return has(name) ? (*this)[name].asUInt() : fallback;
}

double Setting::getDouble(const std::string& name, double fallback) const
{
    return has(name) ? (*this)[name].asDouble() : fallback;
}

std::string Setting::getString(const std::string& name, const std::string& fallback) const
{
    return has(name) ? (*this)[name].asString() : fallback;
}

std::string Setting::name(const std::string& key) const
{
    return (*this)[key].asString();
}

std::string Setting::text(const std::string& key) const
{
    const Setting member = (*this)[key];
    if (!member.value().isString())
        throw Exception(member.path() + ": expected a string");
    return member.value().asString();
}

} // namespace kwo
