#pragma once

// The station package as a technician gets it: built by CPack from the
// release tree once per test program (packing strips and compresses the
// whole program folder, which is the slow part), unpacked into a scratch
// root and run from there.
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace kwo::test {

class Package : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    // A field of the package's control file, with its line end.
    static std::string field(const std::string& name);
    // The package unpacked once into the scratch root; the root's path
    // (the program folder is its opt/kwo).
    static std::string unpacked();
    // The scratch folder the package and its unpacked root are in.
    static const TempDir& scratchFolder() { return *scratch; }

    static std::unique_ptr<TempDir> scratch;
    static std::string deb;
    static std::string setUpProblem;
};

} // namespace kwo::test
