#pragma once

#include <gtest/gtest.h>
#include <json/reader.h>

#include <string>

namespace kwo::test {

// A JSON text as the viewer's reader takes it (comments allowed); a text that
// does not parse fails the test that gave it.
inline Json::Value parseJson(const std::string& text)
{
    Json::Value value;
    Json::Reader reader;
    EXPECT_TRUE(reader.parse(text, value)) << text;
    return value;
}

} // namespace kwo::test
