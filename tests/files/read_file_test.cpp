#include "files/read_file.h"

#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using kwo::FileBytes;
using kwo::test::TempDir;

TEST(ReadFileBytes, ReadsUpToTheLimitAndTellsWhetherTheFileGoesOn)
{
    TempDir dir;
    dir.write("ten", "0123456789");
    dir.write("empty", "");
    const struct {
        const char* name;
        std::size_t limit;
        const char* bytes;
        bool truncated;
    } cases[] = {
        {"ten", 100, "0123456789", false},
        {"ten", 10, "0123456789", false},
        {"ten", 9, "012345678", true},
        {"ten", 0, "", true},
        {"empty", 10, "", false},
        {"empty", 0, "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " limit " + std::to_string(c.limit));
        const FileBytes file = kwo::readFileBytes(dir.file(c.name), c.limit);
        ASSERT_TRUE(file.read()) << file.reason;
        EXPECT_EQ(file.bytes, c.bytes);
        EXPECT_EQ(file.truncated, c.truncated);
    }
    EXPECT_EQ(kwo::readFileBytes(dir.file("ten"), 4).size, 10u);
}

TEST(ReadFileBytes, EndlessDevicesStopAtTheLimit)
{
    const FileBytes file = kwo::readFileBytes("/dev/zero", 100000);
    ASSERT_TRUE(file.read());
    EXPECT_EQ(file.bytes, std::string(100000, '\0'));
    EXPECT_TRUE(file.truncated);
    EXPECT_FALSE(file.size); // a device has no size to trust
}

TEST(ReadFileBytes, FoldersAndMissingFilesAreUnreadableWithTheSystemsWords)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("folder"));
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {dir.file("folder"), "Is a directory"},
        {dir.file("missing"), "No such file or directory"},
        {dir.file("missing/below"), "No such file or directory"},
        {"", "No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const FileBytes file = kwo::readFileBytes(c.path, 100);
        EXPECT_FALSE(file.read());
        EXPECT_EQ(file.reason, c.reason);
        EXPECT_TRUE(file.bytes.empty());
    }
}

} // namespace
