#include "config/threshold_setting.h"

#include "config/exception.h"

namespace kwo {

std::optional<int> readThreshold(const Setting& section, const std::string& key, int fallback)
{
    const Setting value = section[key];
    if (value.value().isString() && value.value().asString() == "auto")
        return std::nullopt;
    // Read as a number, anything else fails as a number would, with the key,
    // the value and the words allowed in the detail.
    if (value.value().isString() || value.value().isObject() || value.value().isArray())
        throw Exception("Type is not convertible to int",
                        value.path() + ": " + value.written() + " is neither a number nor \"auto\"");
    const int threshold = section.getInt(key, fallback);
    // Below 0 nothing could be dark, and the detector's arithmetic assumes
    // 0 or more.
    if (threshold < 0)
        throw Exception(value.path() + ": " + std::to_string(threshold) + " is negative");
    return threshold;
}

} // namespace kwo
