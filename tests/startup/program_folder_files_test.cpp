// The files the viewer writes into its folder, "ogre.log" and "user.config":
// in a folder nobody may write to the show runs all the same and standard
// error says once which file could not be written and why; in a folder a
// group shares, they are made writable for the group whatever the umask.
#include "tests/app/viewer_session.h"
#include "tests/support/viewer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace kwo::test {
namespace {

std::size_t count(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

TEST(ProgramFolderFiles, AReadOnlyFolderStillRunsTheShowAndSaysWhatCannotBeWritten)
{
    ProgramFolder program;
    program.write("kwo.config", viewerDocument());
    std::vector<std::string> command;
    std::string reason;
    if (::geteuid() == 0) {
        // Permissions do not hold root back; a read-only mount of the folder does.
        if (run({"unshare", "-m", "true"}).exitCode != 0)
            GTEST_SKIP() << "running as root without mount namespaces";
        command = {"unshare", "-m", "sh", "-c", "mount --bind -o ro \"$0\" \"$0\" && exec \"$0/kwo\"", program.path()};
        reason = "Read-only file system";
    } else {
        std::filesystem::permissions(program.path(), std::filesystem::perms(0555));
        command = {program.executable()};
        reason = "Permission denied";
    }
    Process viewer(command, program.path(), clipCameraEnvironment());
    const ProcessResult result = closeViewer(viewer, viewerTitle);
    std::filesystem::permissions(program.path(), std::filesystem::perms(0755));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string logLine = "Warning: ogre.log cannot be written (" + reason + "); the engine log is not kept\n";
    const std::string userLine =
        "Warning: user.config cannot be written (" + reason + "); the camera choice is not remembered\n";
    EXPECT_EQ(count(result.err, logLine), 1u) << result.err;
    EXPECT_EQ(count(result.err, userLine), 1u) << result.err;
    EXPECT_EQ(result.err.find("Exception"), std::string::npos) << result.err;
    EXPECT_FALSE(program.exists("ogre.log"));
    EXPECT_FALSE(program.exists("user.config"));
    EXPECT_FALSE(program.exists("user.config.new"));
}

TEST(ProgramFolderFiles, AGroupSharedFolderGetsFilesTheGroupCanRewrite)
{
    ProgramFolder program;
    program.write("kwo.config", viewerDocument());
    std::filesystem::permissions(program.path(), std::filesystem::perms(02775));
    // The usual umask, which alone would make both files 0644.
    const mode_t oldMask = ::umask(022);
    Process viewer({program.executable()}, program.path(), clipCameraEnvironment());
    ::umask(oldMask);
    const ProcessResult result = closeViewer(viewer, viewerTitle);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    for (const char* file : {"ogre.log", "user.config"}) {
        struct stat status {};
        ASSERT_EQ(::stat(program.file(file).c_str(), &status), 0) << file;
        EXPECT_EQ(status.st_mode & 0777, 0664u) << file;
    }
    // A later run keeps what the first made, and the engine log is rewritten.
    EXPECT_NE(program.read("ogre.log").find("Display refresh rate"), std::string::npos);
}

} // namespace
} // namespace kwo::test
