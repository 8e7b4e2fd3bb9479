#pragma once

// The tracker library's published sample files (a calibration, patterns and
// the artwork they were made from), kept outside the repository in the folder
// that KWO_TEST_DATA names. A developer without the folder sees the tests that
// need it skipped; scripts/test, which is what CI runs and where the folder is
// always present, sets KWO_REQUIRE_TEST_DATA so that a missing folder fails
// them instead of letting them pass unseen.
#include <gtest/gtest.h>

#include <string>

namespace kwo::test {

// The sample folder, or empty when KWO_TEST_DATA is not set.
std::string sampleDataFolder();
// The path of `name` in the sample folder, or empty when it is not there.
std::string sampleFile(const std::string& name);
// Whether a missing sample file fails the test rather than skipping it.
bool sampleDataRequired();

} // namespace kwo::test

// Ends the current test, skipped or failed (see above), unless the sample
// file `name` exists.
#define KWO_NEED_SAMPLE_FILE(name)                                                                            \
    do {                                                                                                      \
        if (kwo::test::sampleFile(name).empty()) {                                                            \
            if (kwo::test::sampleDataRequired())                                                              \
                FAIL() << "sample file " << (name) << " not found in KWO_TEST_DATA='"                         \
                       << kwo::test::sampleDataFolder() << "' (KWO_REQUIRE_TEST_DATA is set)";                \
            GTEST_SKIP() << "sample file " << (name) << " not found (KWO_TEST_DATA='"                         \
                         << kwo::test::sampleDataFolder() << "')";                                            \
        }                                                                                                     \
    } while (false)
