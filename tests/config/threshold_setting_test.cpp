#include "config/exception.h"
#include "config/threshold_setting.h"
#include "tests/support/json.h"

#include <gtest/gtest.h>

namespace {

using Mode = kwo::ThresholdSetting::Mode;

kwo::ThresholdSetting level(int value)
{
    return {Mode::fixed, value, std::nullopt};
}

kwo::ThresholdSetting mode(Mode m, std::optional<int> offset = std::nullopt)
{
    kwo::ThresholdSetting setting;
    setting.mode = m;
    setting.offset = offset;
    return setting;
}

// tracking/threshold: a number as before, the word "auto", or "adaptive"
// with an optional offset; anything else stops the start-up: a value that
// is no number with the conversion's own text, the key and the value in the
// detail.
TEST(ReadThreshold, NumbersAutoAdaptiveAndRefusals)
{
    const char* const notInt = "Type is not convertible to int";
    const struct {
        const char* document;
        kwo::ThresholdSetting expected;
        const char* error;  // non-empty: refused with this message
        const char* detail; // and this detail (null: not checked)
    } cases[] = {
        {R"({"tracking": {"threshold": 100}})", level(100), "", nullptr},
        {R"({"tracking": {"threshold": 0}})", level(0), "", nullptr},
        {R"({"tracking": {}})", level(100), "", nullptr},                // missing: the fallback
        {R"({"tracking": {"threshold": null}})", level(0), "", nullptr}, // present null converts as 0, as other numbers do
        {R"({"tracking": {"threshold": 87.9}})", level(87), "", nullptr}, // truncated, as other integers are
        {R"({"tracking": {"threshold": true}})", level(1), "", nullptr},
        {R"({"tracking": {"threshold": "auto"}})", mode(Mode::automatic), "", nullptr},
        {R"({"tracking": {"threshold": "adaptive"}})", mode(Mode::adaptive), "", nullptr},
        {R"({"tracking": {"threshold": "adaptive 14"}})", mode(Mode::adaptive, 14), "", nullptr},
        {R"({"tracking": {"threshold": "adaptive 1"}})", mode(Mode::adaptive, 1), "", nullptr},
        {R"({"tracking": {"threshold": "adaptive 60"}})", mode(Mode::adaptive, 60), "", nullptr},
        {R"({"tracking": {"threshold": "adaptive 00007"}})", mode(Mode::adaptive, 7), "", nullptr},
        {R"({"tracking": {"threshold": "adaptive 0"}})", {},
         "tracking/threshold: \"adaptive 0\": the offset must be a whole number from 1 to 60", nullptr},
        {R"({"tracking": {"threshold": "adaptive 61"}})", {},
         "tracking/threshold: \"adaptive 61\": the offset must be a whole number from 1 to 60", nullptr},
        {R"({"tracking": {"threshold": "adaptive 99999999999"}})", {},
         "tracking/threshold: \"adaptive 99999999999\": the offset must be a whole number from 1 to 60", nullptr},
        {R"({"tracking": {"threshold": "adaptive -5"}})", {}, notInt, nullptr},
        {R"({"tracking": {"threshold": "adaptive 2.5"}})", {}, notInt, nullptr},
        {R"({"tracking": {"threshold": "adaptive "}})", {}, notInt, nullptr},
        {R"({"tracking": {"threshold": "adaptive  12"}})", {}, notInt, nullptr},
        {R"({"tracking": {"threshold": "adaptive12"}})", {}, notInt, nullptr},
        {R"({"tracking": {"threshold": "adaptively"}})", {}, notInt, nullptr},
        {R"({"tracking": {"threshold": -1}})", {}, "tracking/threshold: -1 is negative", nullptr},
        {R"({"tracking": {"threshold": "Auto"}})", {}, notInt,
         "tracking/threshold: \"Auto\" is neither a number nor \"auto\" nor \"adaptive\""},
        {R"({"tracking": {"threshold": "Adaptive"}})", {}, notInt,
         "tracking/threshold: \"Adaptive\" is neither a number nor \"auto\" nor \"adaptive\""},
        {R"({"tracking": {"threshold": "100"}})", {}, notInt,
         "tracking/threshold: \"100\" is neither a number nor \"auto\" nor \"adaptive\""},
        {R"({"tracking": {"threshold": ""}})", {}, notInt,
         "tracking/threshold: \"\" is neither a number nor \"auto\" nor \"adaptive\""},
        {R"({"tracking": {"threshold": [100]}})", {}, notInt,
         "tracking/threshold: an array is neither a number nor \"auto\" nor \"adaptive\""},
        {R"({"tracking": {"threshold": {"value": 1}}})", {}, notInt,
         "tracking/threshold: an object is neither a number nor \"auto\" nor \"adaptive\""},
        {R"({"tracking": {"threshold": 4294967295}})", {}, "integer out of signed integer range",
         "tracking/threshold: 4294967295 is not a number from -2147483648 to 2147483647"},
        {R"({"tracking": {"threshold": 1e12}})", {}, "Real out of signed integer range",
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
                if (c.detail) {
                    EXPECT_EQ(e.detail(), c.detail);
                }
            }
        } else {
            const kwo::ThresholdSetting read = kwo::readThreshold(tracking, "threshold", 100);
            EXPECT_TRUE(read == c.expected) << static_cast<int>(read.mode) << " " << read.level << " "
                                            << read.offset.value_or(-1);
        }
    }
}

} // namespace
