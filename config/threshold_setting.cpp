#include "config/threshold_setting.h"

#include "config/exception.h"

namespace kwo {
namespace {

// "adaptive", or "adaptive" and one space before a whole number; false for
// any other text.
bool readAdaptive(const std::string& text, const std::string& path, ThresholdSetting& setting)
{
    const std::string word = "adaptive";
    if (text.compare(0, word.size(), word) != 0)
        return false;
    if (text.size() == word.size()) {
        setting.mode = ThresholdSetting::Mode::adaptive;
        return true;
    }
    const std::string number = text.substr(word.size() + 1);
    if (text[word.size()] != ' ' || number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    // Past three significant digits the number is out of range whatever
    // they are, and might not fit an int.
    const std::size_t first = number.find_first_not_of('0');
    const bool large = first != std::string::npos && number.size() - first > 3;
    const int offset = large ? maximumAdaptiveOffset + 1 : std::stoi(number);
    if (offset < minimumAdaptiveOffset || offset > maximumAdaptiveOffset)
        throw Exception(path + ": \"" + text + "\": the offset must be a whole number from " +
                        std::to_string(minimumAdaptiveOffset) + " to " + std::to_string(maximumAdaptiveOffset));
    setting.mode = ThresholdSetting::Mode::adaptive;
    setting.offset = offset;
    return true;
}

} // namespace

ThresholdSetting readThreshold(const Setting& section, const std::string& key, int fallback)
{
    const Setting value = section[key];
    ThresholdSetting setting;
    if (value.value().isString()) {
        const std::string text = value.value().asString();
        if (text == "auto") {
            setting.mode = ThresholdSetting::Mode::automatic;
            return setting;
        }
        if (readAdaptive(text, value.path(), setting))
            return setting;
    }
    // Read as a number, anything else fails as a number would, with the key,
    // the value and the words allowed in the detail.
    if (value.value().isString() || value.value().isObject() || value.value().isArray())
        throw Exception("Type is not convertible to int",
                        value.path() + ": " + value.written() + " is neither a number nor \"auto\" nor \"adaptive\"");
    setting.level = section.getInt(key, fallback);
    // Below 0 nothing could be dark, and the detector's arithmetic assumes
    // 0 or more.
    if (setting.level < 0)
        throw Exception(value.path() + ": " + std::to_string(setting.level) + " is negative");
    return setting;
}

} // namespace kwo
