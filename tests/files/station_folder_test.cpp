// The station tools in a folder their group shares (as the package makes
// /opt/kwo/tracking: root:kwo, mode 2775), run by a member of the group and
// by a user outside it: a member's files are the group's to replace; anyone
// else is told why nothing was written.
#include "tests/support/files.h"
#include "tests/support/process.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using kwo::test::ProcessResult;

struct ToolRun {
    const char* what;
    std::vector<std::string> arguments; // "@" stands for the shared folder
    std::vector<std::string> made;      // files a member makes there
};

TEST(StationFolder, AMemberMakesGroupFilesAndAnOutsiderIsToldWhy)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to run the tools as other users";
    kwo::test::TempDir dir;
    fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
    const std::string home = dir.file("home");
    fs::create_directory(home);
    ASSERT_EQ(chmod(home.c_str(), 0777), 0);

    const std::string programs = KWO_PROGRAM_DIR;
    const std::vector<ToolRun> runs{
        {"board", {programs + "/kwo-calibrate", "--print-board", "@/board.pdf"}, {"board.pdf"}},
        {"marker", {programs + "/kwo-make-marker", "--text", "F", "--output", "@/F", "--no-station"},
         {"F.pattern", "F.png", "F.pdf"}},
        {"clip", {KWO_MAKE_CLIP, "--size", "64x48", "--frames", "2", "@/clip.mkv"}, {"clip.mkv"}},
        // The calibration's output is checked before any camera or video.
        {"calibration", {programs + "/kwo-calibrate", "--video", "@/none.mkv", "--output", "@/camera.dat"}, {}},
    };
    const std::string outsider = "members of the group 'daemon' may, and you (nobody) are not one of them";
    for (const bool member : {true, false}) {
        // A folder for each user: the member's files would be the outsider's
        // own (both are nobody here).
        const std::string shared = dir.file(member ? "tracking" : "other-tracking");
        fs::create_directory(shared);
        ASSERT_EQ(chown(shared.c_str(), 0, 1), 0); // root:daemon, as root:kwo on a station
        ASSERT_EQ(chmod(shared.c_str(), 02775), 0);
        for (const ToolRun& run : runs) {
            if (member && run.made.empty())
                continue;
            // A umask that would keep the group out: the folder lets it in.
            std::vector<std::string> command{"sh", "-c", "umask 022; exec \"$@\"", "sh", "setpriv", "--reuid=65534",
                                             "--regid=65534", member ? "--groups=1" : "--clear-groups"};
            for (std::string argument : run.arguments) {
                if (const auto at = argument.find('@'); at != std::string::npos)
                    argument.replace(at, 1, shared);
                command.push_back(argument);
            }
            const ProcessResult result =
                kwo::test::run(command, home, {"HOME=" + home, "KWO_CLIP_CAMERAS="}, std::chrono::minutes(2));
            if (member) {
                EXPECT_EQ(result.exitCode, 0) << run.what << "\n" << result.err;
                for (const std::string& name : run.made) {
                    struct stat status {};
                    ASSERT_EQ(stat((shared + "/" + name).c_str(), &status), 0) << name;
                    EXPECT_EQ(status.st_gid, 1u) << name;
                    EXPECT_EQ(status.st_mode & 0777, 0664u) << name;
                }
            } else {
                EXPECT_EQ(result.exitCode, 1) << run.what << "\n" << result.err;
                EXPECT_NE(result.err.find(outsider), std::string::npos) << run.what << "\n" << result.err;
            }
        }
    }
}

} // namespace
