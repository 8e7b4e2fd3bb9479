#include "config/exception.h"
#include "config/threshold_setting.h"
#include "tests/support/json.h"

#include <gtest/gtest.h>

namespace {

// tracking/threshold: a number as before, or the word "auto"; anything else
// stops the start-up naming the key.
TEST(ReadThreshold, NumbersAutoAndRefusals)
{
    const struct {
        const char* document;
        std::optional<int> expected; // nullopt: "auto"
        const char* error;           // non-empty: refused with this message
    } cases[] = {
        {R"({"tracking": {"threshold": 100}})", 100, ""},
        {R"({"tracking": {"threshold": 0}})", 0, ""},
        {R"({"tracking": {}})", 100, ""},                       // missing: the fallback
        {R"({"tracking": {"threshold": null}})", 0, ""},        // present null converts as 0, as other numbers do
        {R"({"tracking": {"threshold": 87.9}})", 87, ""},       // truncated, as other integers are
        {R"({"tracking": {"threshold": true}})", 1, ""},
        {R"({"tracking": {"threshold": "auto"}})", std::nullopt, ""},
        {R"({"tracking": {"threshold": -1}})", 0, "tracking/threshold: -1 is negative"},
        {R"({"tracking": {"threshold": "Auto"}})", 0, "tracking/threshold: expected a number or \"auto\""},
        {R"({"tracking": {"threshold": "100"}})", 0, "tracking/threshold: expected a number or \"auto\""},
        {R"({"tracking": {"threshold": ""}})", 0, "tracking/threshold: expected a number or \"auto\""},
        {R"({"tracking": {"threshold": [100]}})", 0, "tracking/threshold: expected a number or \"auto\""},
        {R"({"tracking": {"threshold": {"value": 1}}})", 0, "tracking/threshold: expected a number or \"auto\""},
        {R"({"tracking": {"threshold": 4294967295}})", 0, "tracking/threshold: integer out of signed integer range"},
        {R"({"tracking": {"threshold": 1e12}})", 0, "tracking/threshold: Real out of signed integer range"},
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
            }
        } else {
            EXPECT_EQ(kwo::readThreshold(tracking, "threshold", 100), c.expected);
        }
    }
}

} // namespace
