#include "config/exception.h"
#include "tests/support/json.h"
#include "tracking/steadying_setting.h"

#include <gtest/gtest.h>

namespace {

// tracking/smoothing and tracking/hold: absent or off leaves each creature
// placed from its own frame's marker; values are checked at start-up, and a
// refusal names the key.
TEST(ReadSteadying, ValuesDefaultsAndRefusals)
{
    const kwo::PoseFilterParameters defaults;
    const struct {
        const char* tracking;
        bool smoothing;
        double minCutoff, beta, derivativeCutoff; // when smoothing
        double hold;                               // seconds
        const char* error;                         // non-empty: refused with this message
    } cases[] = {
        {R"({})", false, 0, 0, 0, 0, ""},
        {R"({"smoothing": false, "hold": 0})", false, 0, 0, 0, 0, ""},
        {R"({"smoothing": null})", false, 0, 0, 0, 0, ""},
        {R"({"smoothing": true})", true, defaults.minCutoff, defaults.beta, defaults.derivativeCutoff, 0, ""},
        {R"({"smoothing": {}})", true, defaults.minCutoff, defaults.beta, defaults.derivativeCutoff, 0, ""},
        {R"({"smoothing": {"min_cutoff": 1.5, "beta": 0, "derivative_cutoff": 2}, "hold": 150})", true, 1.5, 0, 2,
         0.15, ""},
        {R"({"smoothing": {"beta": 0.3}})", true, defaults.minCutoff, 0.3, defaults.derivativeCutoff, 0, ""},
        {R"({"smoothing": {"on": true, "beta": 0.3}})", true, defaults.minCutoff, 0.3, defaults.derivativeCutoff, 0,
         ""},
        // Turned off with its values kept for later.
        {R"({"smoothing": {"on": false, "beta": 0.3}, "hold": 99.5})", false, 0, 0, 0, 0.0995, ""},
        {R"({"hold": null})", false, 0, 0, 0, 0, ""},
        {R"({"smoothing": 1})", false, 0, 0, 0, 0, "tracking/smoothing: expected true, false or an object"},
        {R"({"smoothing": "on"})", false, 0, 0, 0, 0, "tracking/smoothing: expected true, false or an object"},
        {R"({"smoothing": {"on": 1}})", false, 0, 0, 0, 0, "tracking/smoothing/on: expected true or false"},
        {R"({"smoothing": {"min_cutoff": 0}})", false, 0, 0, 0, 0,
         "tracking/smoothing/min_cutoff: 0 must be above 0"},
        {R"({"smoothing": {"derivative_cutoff": -2}})", false, 0, 0, 0, 0,
         "tracking/smoothing/derivative_cutoff: -2 must be above 0"},
        {R"({"smoothing": {"beta": -0.5}})", false, 0, 0, 0, 0, "tracking/smoothing/beta: -0.5 is negative"},
        {R"({"smoothing": {"beta": "0.1"}})", false, 0, 0, 0, 0,
         "tracking/smoothing/beta: expected a number (hertz per mm/s)"},
        // Refused even while off: the document is wrong either way.
        {R"({"smoothing": {"on": false, "min_cuttoff": 1}})", false, 0, 0, 0, 0,
         "tracking/smoothing/min_cuttoff: not a smoothing parameter (on, min_cutoff, beta, derivative_cutoff)"},
        {R"({"hold": -1})", false, 0, 0, 0, 0, "tracking/hold: -1 is negative"},
        {R"({"hold": "150"})", false, 0, 0, 0, 0, "tracking/hold: expected a number (milliseconds)"},
        {R"({"hold": [150]})", false, 0, 0, 0, 0, "tracking/hold: expected a number (milliseconds)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tracking);
        const Json::Value root = kwo::test::parseJson(std::string(R"({"tracking": )") + c.tracking + "}");
        const kwo::Setting tracking = kwo::Setting(root, "")["tracking"];
        if (*c.error) {
            try {
                kwo::readSteadying(tracking);
                ADD_FAILURE() << "accepted";
            } catch (const kwo::Exception& e) {
                EXPECT_STREQ(e.what(), c.error);
            }
            continue;
        }
        const kwo::Steadying steadying = kwo::readSteadying(tracking);
        EXPECT_EQ(steadying.hold, c.hold);
        ASSERT_EQ(steadying.smoothing.has_value(), c.smoothing);
        if (c.smoothing) {
            EXPECT_EQ(steadying.smoothing->minCutoff, c.minCutoff);
            EXPECT_EQ(steadying.smoothing->beta, c.beta);
            EXPECT_EQ(steadying.smoothing->derivativeCutoff, c.derivativeCutoff);
            // Not in the document: the filter's own.
            EXPECT_EQ(steadying.smoothing->turnBreak, defaults.turnBreak);
            EXPECT_EQ(steadying.smoothing->glideRate, defaults.glideRate);
            EXPECT_EQ(steadying.smoothing->lever, defaults.lever);
        }
    }
}

} // namespace
