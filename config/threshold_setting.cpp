#include "config/threshold_setting.h"

#include "config/convert.h"
#include "config/exception.h"

#include <stdexcept>

namespace kwo {

std::optional<int> readThreshold(const Setting& section, const std::string& key, int fallback)
{
    const Setting value = section[key];
    if (value.value().isString() && value.value().asString() == "auto")
        return std::nullopt;
    if (value.value().isString() || value.value().isObject() || value.value().isArray())
        throw Exception(value.path() + ": expected a number or \"auto\"");
    int threshold = fallback;
    try {
        threshold = section.getInt(key, fallback);
    } catch (const std::runtime_error& error) {
        throw Exception(value.path() + ": " + error.what());
    }
    // Below 0 nothing could be dark, and the detector's arithmetic assumes
    // 0 or more.
    if (threshold < 0)
        throw Exception(value.path() + ": " + std::to_string(threshold) + " is negative");
    return threshold;
}

} // namespace kwo
