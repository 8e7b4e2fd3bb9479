// The entry point of every test program. GoogleTest returns 0 when every test
// passed or was skipped, and ctest would then count a program whose tests
// were skipped as passed: a program that skipped tests and failed none
// returns 77 instead, which tests/CMakeLists.txt gives ctest as the
// SKIP_RETURN_CODE, so the summary shows it as skipped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {
constexpr int skippedExitCode = 77;
}

int main(int argc, char** argv)
{
    testing::InitGoogleMock(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (result == 0 && testing::UnitTest::GetInstance()->skipped_test_count() > 0)
        return skippedExitCode;
    return result;
}
