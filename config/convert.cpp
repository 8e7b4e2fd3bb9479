#include "config/convert.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace kwo {
namespace {

enum class Kind { Null, Integer, Unsigned, Real, String, Boolean, Container };

struct Classified {
    Kind kind;
    std::int64_t integer = 0; // Integer, Unsigned
    double real = 0;          // Real
};

Classified classify(const Json::Value& value)
{
    switch (value.type()) {
    case Json::nullValue:
        return {Kind::Null};
    case Json::intValue: {
        const std::int64_t v = value.asInt64();
        if (v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max())
            return {Kind::Integer, v};
        if (v > 0 && v <= std::numeric_limits<std::uint32_t>::max())
            return {Kind::Unsigned, v};
        return {Kind::Real, 0, static_cast<double>(v)};
    }
    case Json::uintValue: {
        const std::uint64_t v = value.asUInt64();
        if (v <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
            return {Kind::Integer, static_cast<std::int64_t>(v)};
        if (v <= std::numeric_limits<std::uint32_t>::max())
            return {Kind::Unsigned, static_cast<std::int64_t>(v)};
        return {Kind::Real, 0, static_cast<double>(v)};
    }
    case Json::realValue:
        return {Kind::Real, 0, value.asDouble()};
    case Json::stringValue:
        return {Kind::String};
    case Json::booleanValue:
        return {Kind::Boolean, value.asBool() ? 1 : 0};
    case Json::arrayValue:
    case Json::objectValue:
        return {Kind::Container};
    }
    return {Kind::Container};
}

[[noreturn]] void fail(const char* message) { throw std::runtime_error(message); }

} // namespace

std::string asString(const Json::Value& value)
{
    const Classified c = classify(value);
    switch (c.kind) {
    case Kind::Null:
        return "";
    case Kind::String:
        return value.asString();
    case Kind::Boolean:
        return c.integer ? "true" : "false";
    default:
        fail("Type is not convertible to string");
    }
}

double asDouble(const Json::Value& value)
{
    const Classified c = classify(value);
    switch (c.kind) {
    case Kind::Null:
        return 0;
    case Kind::Integer:
    case Kind::Unsigned:
    case Kind::Boolean:
        return static_cast<double>(c.integer);
    case Kind::Real:
        return c.real;
    default:
        fail("Type is not convertible to double");
    }
}

int asInt(const Json::Value& value)
{
    const Classified c = classify(value);
    switch (c.kind) {
    case Kind::Null:
        return 0;
    case Kind::Integer:
    case Kind::Boolean:
        return static_cast<int>(c.integer);
    case Kind::Unsigned:
        fail("integer out of signed integer range");
    case Kind::Real:
        if (!(c.real >= -2147483648.0 && c.real <= 2147483647.0))
            fail("Real out of signed integer range");
        return static_cast<int>(std::trunc(c.real));
    default:
        fail("Type is not convertible to int");
    }
}

unsigned asUInt(const Json::Value& value)
{
    const Classified c = classify(value);
    switch (c.kind) {
    case Kind::Null:
        return 0;
    case Kind::Integer:
        if (c.integer < 0)
            fail("Negative integer can not be converted to unsigned integer");
        return static_cast<unsigned>(c.integer);
    case Kind::Unsigned:
    case Kind::Boolean:
        return static_cast<unsigned>(c.integer);
    case Kind::Real:
        if (!(c.real >= 0.0 && c.real <= 4294967295.0))
            fail("Real out of unsigned integer range");
        return static_cast<unsigned>(std::trunc(c.real));
    default:
        fail("Type is not convertible to uint");
    }
}

bool asBool(const Json::Value& value)
{
    const Classified c = classify(value);
    switch (c.kind) {
    case Kind::Null:
        return false;
    case Kind::Integer:
    case Kind::Unsigned:
    case Kind::Boolean:
        return c.integer != 0;
    case Kind::Real:
        return c.real != 0.0;
    case Kind::String:
        return !value.asString().empty();
    case Kind::Container:
        return value.size() != 0;
    }
    return false;
}

} // namespace kwo
