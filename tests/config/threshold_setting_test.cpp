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
// with an optional offset; anything else stops the start-up naming the key.
TEST(ReadThreshold, NumbersAutoAdaptiveAndRefusals)
{
    const char* const refused = "tracking/threshold: expected a number, \"auto\" or \"adaptive\"";
    const struct {
        const char* document;
        kwo::ThresholdSetting expected;
        const char* error; // non-empty: refused with this message
    } cases[] = {
        {R"({"tracking": {"threshold": 100}})", level(100), ""},
        {R"({"tracking": {"threshold": 0}})", level(0), ""},
        {R"({"tracking": {}})", level(100), ""},                 // missing: the fallback
        {R"({"tracking": {"threshold": null}})", level(0), ""},  // present null converts as 0, as other numbers do
        {R"({"tracking": {"threshold": 87.9}})", level(87), ""}, // truncated, as other integers are
        {R"({"tracking": {"threshold": true}})", level(1), ""},
        {R"({"tracking": {"threshold": "auto"}})", mode(Mode::automatic), ""},
        {R"({"tracking": {"threshold": "adaptive"}})", mode(Mode::adaptive), ""},
        {R"({"tracking": {"threshold": "adaptive 14"}})", mode(Mode::adaptive, 14), ""},
        {R"({"tracking": {"threshold": "adaptive 1"}})", mode(Mode::adaptive, 1), ""},
        {R"({"tracking": {"threshold": "adaptive 60"}})", mode(Mode::adaptive, 60), ""},
        {R"({"tracking": {"threshold": "adaptive 00007"}})", mode(Mode::adaptive, 7), ""},
        {R"({"tracking": {"threshold": "adaptive 0"}})", {},
         "tracking/threshold: \"adaptive 0\": the offset must be a whole number from 1 to 60"},
        {R"({"tracking": {"threshold": "adaptive 61"}})", {},
         "tracking/threshold: \"adaptive 61\": the offset must be a whole number from 1 to 60"},
        {R"({"tracking": {"threshold": "adaptive 999"}})", {},
         "tracking/threshold: \"adaptive 999\": the offset must be a whole number from 1 to 60"},
        {R"({"tracking": {"threshold": "adaptive 99999999999"}})", {},
         "tracking/threshold: \"adaptive 99999999999\": the offset must be a whole number from 1 to 60"},
        {R"({"tracking": {"threshold": "adaptive -5"}})", {}, refused},
        {R"({"tracking": {"threshold": "adaptive 2.5"}})", {}, refused},
        {R"({"tracking": {"threshold": "adaptive "}})", {}, refused},
        {R"({"tracking": {"threshold": "adaptive  12"}})", {}, refused},
        {R"({"tracking": {"threshold": "adaptive12"}})", {}, refused},
        {R"({"tracking": {"threshold": "adaptively"}})", {}, refused},
        {R"({"tracking": {"threshold": "Adaptive"}})", {}, refused},
        {R"({"tracking": {"threshold": -1}})", {}, "tracking/threshold: -1 is negative"},
        {R"({"tracking": {"threshold": "Auto"}})", {}, refused},
        {R"({"tracking": {"threshold": "100"}})", {}, refused},
        {R"({"tracking": {"threshold": ""}})", {}, refused},
        {R"({"tracking": {"threshold": [100]}})", {}, refused},
        {R"({"tracking": {"threshold": {"value": 1}}})", {}, refused},
        {R"({"tracking": {"threshold": 4294967295}})", {}, "tracking/threshold: integer out of signed integer range"},
        {R"({"tracking": {"threshold": 1e12}})", {}, "tracking/threshold: Real out of signed integer range"},
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
            const kwo::ThresholdSetting read = kwo::readThreshold(tracking, "threshold", 100);
            EXPECT_TRUE(read == c.expected) << static_cast<int>(read.mode) << " " << read.level << " "
                                            << read.offset.value_or(-1);
        }
    }
}

} // namespace
