#include "tracking/steadying_setting.h"

#include "config/convert.h"
#include "config/exception.h"

#include <cmath>
#include <sstream>
#include <stdexcept>

namespace kwo {
namespace {

std::string shortText(double number)
{
    std::ostringstream text;
    text << number;
    return text.str();
}

// A number of the section, or `fallback` when absent (null reads as 0, as
// elsewhere); refused, naming the key, when not a number, negative, or 0
// where 0 is not allowed.
double readNumber(const Setting& section, const std::string& key, double fallback, bool zeroAllowed,
                  const std::string& unit)
{
    const Setting member = section[key];
    if (!section.has(key))
        return fallback;
    const Json::Value& value = member.value();
    if (!value.isNumeric() && !value.isNull())
        throw Exception(member.path() + ": expected a number (" + unit + ")");
    double number = 0;
    try {
        number = asDouble(value);
    } catch (const std::runtime_error& error) {
        throw Exception(member.path() + ": " + error.what());
    }
    if (!std::isfinite(number))
        throw Exception(member.path() + ": expected a finite number (" + unit + ")");
    if (number < 0 || (number == 0 && !zeroAllowed))
        throw Exception(member.path() + ": " + shortText(number) + (zeroAllowed ? " is negative" : " must be above 0"));
    return number;
}

std::optional<PoseFilterParameters> readSmoothing(const Setting& tracking)
{
    const Setting smoothing = tracking["smoothing"];
    const Json::Value& value = smoothing.value();
    if (value.isNull() || (value.isBool() && !value.asBool()))
        return std::nullopt;
    if (value.isBool())
        return PoseFilterParameters{};
    if (!value.isObject())
        throw Exception(smoothing.path() + ": expected true, false or an object");
    // A misspelt parameter would otherwise leave its default in force
    // without a word.
    for (const std::string& member : value.getMemberNames())
        if (member != "on" && member != "min_cutoff" && member != "beta" && member != "derivative_cutoff")
            throw Exception(smoothing[member].path() +
                            ": not a smoothing parameter (on, min_cutoff, beta, derivative_cutoff)");
    PoseFilterParameters parameters;
    parameters.minCutoff = readNumber(smoothing, "min_cutoff", parameters.minCutoff, false, "hertz");
    parameters.beta = readNumber(smoothing, "beta", parameters.beta, true, "hertz per mm/s");
    parameters.derivativeCutoff =
        readNumber(smoothing, "derivative_cutoff", parameters.derivativeCutoff, false, "hertz");
    if (smoothing.has("on")) {
        const Setting on = smoothing["on"];
        if (!on.value().isBool())
            throw Exception(on.path() + ": expected true or false");
        if (!on.value().asBool())
            return std::nullopt;
    }
    return parameters;
}

} // namespace

Steadying readSteadying(const Setting& tracking)
{
    Steadying steadying;
    steadying.smoothing = readSmoothing(tracking);
    steadying.hold = readNumber(tracking, "hold", 0, true, "milliseconds") / 1000;
    return steadying;
}

} // namespace kwo
