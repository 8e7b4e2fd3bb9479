// Showing a dialog must leave the process's locale alone: the viewer reads
// numbers after the camera dialog, and GTK would switch to the user's locale
// (a decimal comma in many) when it starts. Its own program, so that GTK
// starts here for the first time.
#include "video/gtk_list_dialog.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace {

TEST(DialogLocale, StartingTheToolkitKeepsTheProgramsLocale)
{
    // A locale the user's environment asks for, present on every Debian system.
    setenv("LC_ALL", "C.UTF-8", 1);
    ASSERT_NE(std::setlocale(LC_ALL, "C"), nullptr);
    if (!kwo::gtkAvailable())
        GTEST_SKIP() << "no display";
    EXPECT_EQ(std::string(std::setlocale(LC_ALL, nullptr)), "C");
    EXPECT_EQ(std::atof("0.5"), 0.5);
}

} // namespace
