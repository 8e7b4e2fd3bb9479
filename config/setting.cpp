#include "config/setting.h"

#include "config/convert.h"
#include "config/exception.h"

namespace kwo {

Setting::Setting(const Json::Value& value, std::string path) : node(&value), keyPath(std::move(path)) {}

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
    return Setting((*node)[name], childPath(name));
}

Setting Setting::operator[](unsigned index) const
{
    if (!node->isNull() && !node->isArray())
        throw Exception(keyPath + ": expected an array");
    return Setting((*node)[index], keyPath + "[" + std::to_string(index) + "]");
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

bool Setting::getBool(const std::string& name, bool fallback) const
{
    return has(name) ? asBool((*node)[name]) : fallback;
}

int Setting::getInt(const std::string& name, int fallback) const
{
    return has(name) ? asInt((*node)[name]) : fallback;
}

unsigned Setting::getUInt(const std::string& name, unsigned fallback) const
{
    return has(name) ? asUInt((*node)[name]) : fallback;
}

double Setting::getDouble(const std::string& name, double fallback) const
{
    return has(name) ? asDouble((*node)[name]) : fallback;
}

std::string Setting::getString(const std::string& name, const std::string& fallback) const
{
    return has(name) ? asString((*node)[name]) : fallback;
}

std::string Setting::name(const std::string& key) const
{
    return asString((*this)[key].value());
}

std::string Setting::text(const std::string& key) const
{
    const Setting member = (*this)[key];
    if (!member.value().isString())
        throw Exception(member.path() + ": expected a string");
    return member.value().asString();
}

} // namespace kwo
