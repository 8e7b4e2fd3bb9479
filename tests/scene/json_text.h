#pragma once

#include <json/reader.h>
#include <json/value.h>

#include <stdexcept>
#include <string>

namespace kwo::test {

inline Json::Value json(const std::string& text)
{
    Json::Value value;
    if (!Json::Reader().parse(text, value))
        throw std::runtime_error("bad JSON in test: " + text);
    return value;
}

} // namespace kwo::test
