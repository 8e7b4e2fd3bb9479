#include "config/exception.h"
#include "config/threshold_setting.h"
#include "tests/support/json.h"

#include <gtest/gtest.h>

namespace {

// tracking/threshold: a number as before, or the word "auto"; anything else
// stops the start-up: a value that is no number with the conversion's own
// text, the key and the value in the detail.
TEST(ReadThreshold, NumbersAutoAndRefusals)
{
    const struct {
        const char* document;
        std::optional<int> expected; // nullopt: "auto"
        const char* error;           // non-empty: refused with this message
        const char* detail = "";
    } cases[] = {
        {R"({"tracking": {"threshold": 100}})", 100, ""},
        {R"({"tracking": {"threshold": 0}})", 0, ""},
        {R"({"tracking": {}})", 100, ""},                       // missing: the fallback
        {R"({"tracking": {"threshold": null}})", 0, ""},        // present null converts as 0, as other numbers do
        {R"({"tracking": {"threshold": 87.9}})", 87, ""},       // truncated, as other integers are
        {R"({"tracking": {"threshold": true}})", 1, ""},
        {R"({"tracking": {"threshold": "auto"}})", std::nullopt, ""},
        {R"({"tracking": {"threshold": -1}})", 0, "tracking/threshold: -1 is negative"},
        {R"({"tracking": {"threshold": "Auto"}})", 0, "Type is not convertible to int",
         "tracking/threshold: \"Auto\" is neither a number nor \"auto\""},
        {R"({"tracking": {"threshold": "100"}})", 0, "Type is not convertible to int",
         "tracking/threshold: \"100\" is neither a number nor \"auto\""},
        {R"({"tracking": {"threshold": ""}})", 0, "Type is not convertible to int",
         "tracking/threshold: \"\" is neither a number nor \"auto\""},
        {R"({"tracking": {"threshold": [100]}})", 0, "Type is not convertible to int",
         "tracking/threshold: an array is neither a number nor \"auto\""},
        {R"({"tracking": {"threshold": {"value": 1}}})", 0, "Type is not convertible to int",
         "tracking/threshold: an object is neither a number nor \"auto\""},
        {R"({"tracking": {"threshold": 4294967295}})", 0, "integer out of signed integer range",
         "tracking/threshold: 4294967295 is not a number from -2147483648 to 2147483647"},
        {R"({"tracking": {"threshold": 1e12}})", 0, "Real out of signed integer range",
         "tracking/threshold: 1000000000000 is not a number from -2147483648 to 2147483647"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.document);
        const Json::Value root = kwo::test::parseJson(c.document);
        const kwo::Setting tracking = kwo::Setting(root, "")["tracking"];
        if (*c.error) {
            try {
                kwo::readThreshold(tracking, "threshold", 100);
                ADD_FAILURE() << "accepted";
            } catch (const kwo::Exception& e) {
                EXPECT_STREQ(e.what(), c.error);
                EXPECT_EQ(e.detail(), c.detail);
            }
        } else {
            EXPECT_EQ(kwo::readThreshold(tracking, "threshold", 100), c.expected);
        }
    }
}

} // namespace
