#include "config/convert.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <variant>

namespace {

Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader reader;
    EXPECT_TRUE(reader.parse("[" + text + "]", value)) << text;
    return value[0];
}

// Each cell is either the expected result or the expected error text.
struct Error {
    const char* message;
};
template <typename T>
using Cell = std::variant<T, Error>;

struct Row {
    const char* json;
    Cell<std::string> asString;
    Cell<double> asDouble;
    Cell<int> asInt;
    Cell<unsigned> asUInt;
    bool asBool;
};

const Error notString{"Type is not convertible to string"};
const Error notDouble{"Type is not convertible to double"};
const Error notInt{"Type is not convertible to int"};
const Error notUInt{"Type is not convertible to uint"};
const Error negative{"Negative integer can not be converted to unsigned integer"};
const Error signedRange{"integer out of signed integer range"};
const Error realSigned{"Real out of signed integer range"};
const Error realUnsigned{"Real out of unsigned integer range"};

const Row rows[] = {
    {"null", std::string(""), 0.0, 0, 0u, false},
    {"0", notString, 0.0, 0, 0u, false},
    {"42", notString, 42.0, 42, 42u, true},
    {"-1", notString, -1.0, -1, negative, true},
    {"2147483647", notString, 2147483647.0, 2147483647, 2147483647u, true},
    {"-2147483648", notString, -2147483648.0, -2147483647 - 1, negative, true},
    // Larger than a signed integer and within 32 bits: an unsigned integer.
    {"3000000000", notString, 3000000000.0, signedRange, 3000000000u, true},
    {"4294967295", notString, 4294967295.0, signedRange, 4294967295u, true},
    // Longer digit strings are reals.
    {"4294967296", notString, 4294967296.0, realSigned, realUnsigned, true},
    {"-3000000000", notString, -3000000000.0, realSigned, realUnsigned, true},
    {"800.7", notString, 800.7, 800, 800u, true},
    {"-0.5", notString, -0.5, 0, realUnsigned, true},
    {"-1.5", notString, -1.5, -1, realUnsigned, true},
    {"0.0", notString, 0.0, 0, 0u, false},
    {"1e10", notString, 1e10, realSigned, realUnsigned, true},
    {"\"\"", std::string(""), notDouble, notInt, notUInt, false},
    {"\"no\"", std::string("no"), notDouble, notInt, notUInt, true},
    {"\"800\"", std::string("800"), notDouble, notInt, notUInt, true},
    {"true", std::string("true"), 1.0, 1, 1u, true},
    {"false", std::string("false"), 0.0, 0, 0u, false},
    {"[]", notString, notDouble, notInt, notUInt, false},
    {"[0]", notString, notDouble, notInt, notUInt, true},
    {"{}", notString, notDouble, notInt, notUInt, false},
    {"{\"a\": 1}", notString, notDouble, notInt, notUInt, true},
};

template <typename T>
void expectCell(const Cell<T>& expected, const std::function<T()>& convert, const std::string& where)
{
    if (const Error* error = std::get_if<Error>(&expected)) {
        try {
            const T result = convert();
            ADD_FAILURE() << where << ": expected the error \"" << error->message << "\", got " << result;
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), error->message) << where;
        }
    } else {
        EXPECT_EQ(convert(), std::get<T>(expected)) << where;
    }
}

TEST(Conversions, EveryCellOfTheTable)
{
    for (const Row& row : rows) {
        const Json::Value value = parse(row.json);
        const std::string where = std::string("value ") + row.json;
        expectCell<std::string>(row.asString, [&] { return kwo::asString(value); }, where + " as string");
        expectCell<double>(row.asDouble, [&] { return kwo::asDouble(value); }, where + " as double");
        expectCell<int>(row.asInt, [&] { return kwo::asInt(value); }, where + " as int");
        expectCell<unsigned>(row.asUInt, [&] { return kwo::asUInt(value); }, where + " as unsigned");
        EXPECT_EQ(kwo::asBool(value), row.asBool) << where << " as bool";
    }
}

} // namespace
