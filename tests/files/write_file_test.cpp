// Writing a technician's files: the whole file or the reason it could not be
// written, and files made in a folder the station's group shares left
// writable for that group.
#include "files/write_file.h"

#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using kwo::test::TempDir;

TEST(WriteFile, WritesTheWholeFileOrSaysWhyNot)
{
    TempDir dir;
    dir.write("a-file", "x");
    fs::create_directory(dir.file("a-folder"));
    std::string reason;
    ASSERT_TRUE(kwo::writeWholeFile(dir.file("made"), std::string(100000, 'k'), &reason)) << reason;
    EXPECT_EQ(dir.read("made"), std::string(100000, 'k'));
    ASSERT_TRUE(kwo::writeWholeFile(dir.file("made"), "shorter", &reason)) << reason;
    EXPECT_EQ(dir.read("made"), "shorter");

    struct Case {
        std::string path, reason;
    };
    for (const Case& c : {Case{"/dev/full", "the disk is full"},
                          Case{dir.file("no/such/file"), "the folder '" + dir.file("no/such") + "' does not exist"},
                          Case{dir.file("a-folder"), "it is a folder"},
                          Case{dir.file("a-file/below"), "'" + dir.file("a-file") + "' is not a folder"}}) {
        reason.clear();
        EXPECT_FALSE(kwo::writeWholeFile(c.path, "bytes", &reason)) << c.path;
        EXPECT_EQ(reason, c.reason) << c.path;
    }
    // Asked before writing: the same reasons, and none where a file can go.
    EXPECT_EQ(kwo::whyNotWritable(dir.file("no/such/file")), "the folder '" + dir.file("no/such") + "' does not exist");
    EXPECT_EQ(kwo::whyNotWritable(dir.file("new")), "");
    EXPECT_EQ(kwo::whyNotWritable("relative-name-here"), "");
}

// Runs `check` as the user nobody (group nogroup, no other group) and returns
// what it returned: permissions cannot be tried as root, who may write
// anywhere.
std::string asNobody(const std::function<std::string()>& check)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return "no pipe";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        std::string answer = "cannot become nobody";
        if (setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0)
            answer = check();
        [[maybe_unused]] const ssize_t written = write(pipeEnds[1], answer.data(), answer.size());
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string answer;
    char buffer[512];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, static_cast<std::size_t>(got));
    close(pipeEnds[0]);
    waitpid(child, nullptr, 0);
    return answer;
}

TEST(WriteFile, NoPermissionSaysWhoMayWriteThere)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to act as another user";
    TempDir dir;
    // The temporary folder itself lets nobody through to the ones below.
    fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
    const std::string own = dir.file("own"), shared = dir.file("shared");
    fs::create_directory(own);
    fs::create_directory(shared);
    ASSERT_EQ(chown(shared.c_str(), 0, 1), 0); // root:daemon
    ASSERT_EQ(chmod(shared.c_str(), 02775), 0);
    dir.write("own/kept", "x");
    ASSERT_EQ(chmod(own.c_str(), 0777), 0);

    EXPECT_EQ(asNobody([&] { return kwo::whyNotWritable(shared + "/camera.dat"); }),
              "no permission to write in the folder '" + shared +
                  "' (owner root, group daemon, rwxrwsr-x): members of the group 'daemon' may, and you (nobody) are "
                  "not one of them (after being added, log in again)");
    // A file that may not be written, in a folder that may.
    EXPECT_EQ(asNobody([&] {
                  std::string reason;
                  kwo::writeWholeFile(own + "/kept", "y", &reason);
                  return reason;
              }),
              "no permission to write the file '" + own + "/kept' (owner root, group root, rw-r--r--)");
    EXPECT_EQ(dir.read("own/kept"), "x");
}

mode_t modeOf(const std::string& path)
{
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

TEST(WriteFile, FilesMadeInAGroupSharedFolderAreTheGroups)
{
    TempDir dir;
    const std::string shared = dir.file("shared"), plain = dir.file("plain");
    fs::create_directory(shared);
    fs::create_directory(plain);
    ASSERT_EQ(chmod(shared.c_str(), 02775), 0);
    ASSERT_EQ(chmod(plain.c_str(), 0755), 0);
    const mode_t mask = umask(022);
    for (const std::string& folder : {shared, plain}) {
        std::string reason;
        ASSERT_TRUE(kwo::writeWholeFile(folder + "/made", "x", &reason)) << reason;
        ASSERT_EQ(modeOf(folder + "/made"), 0644u);
        kwo::shareWithFolderGroup(folder + "/made");
    }
    umask(mask);
    EXPECT_EQ(modeOf(shared + "/made"), 0664u);
    EXPECT_EQ(modeOf(plain + "/made"), 0644u);
}

} // namespace
