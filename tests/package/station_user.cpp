#include "tests/package/station_user.h"

#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kwo::test {
namespace {

// An id no account and no group of the machine has, so that whatever the
// technician makes belongs to nobody else and is known to be theirs.
bool idUnused(unsigned id) { return getpwuid(id) == nullptr && getgrgid(id) == nullptr; }

// The stand-ins postinst meets instead of the system's bookkeeping: the
// group kwo exists with the technician's id, and dpkg's record of a folder's
// owner and mode is applied to the folder in the scratch root at once (an
// installed station gets the same from dpkg when it unpacks).
const char* const getentStandIn = R"(#!/bin/sh
if [ "$1" = group ] && [ "$2" = kwo ]; then
    echo "kwo:x:$KWO_STATION_GID:"
    exit 0
fi
exec /usr/bin/getent "$@"
)";

const char* const addgroupStandIn = R"(#!/bin/sh
echo "addgroup $*: the group kwo is there already; this must not run" >&2
exit 1
)";

const char* const statoverrideStandIn = R"(#!/bin/sh
case "$1" in
--list) exit 1 ;;
--update) shift ;;
esac
if [ "$1" != --add ] || [ "$3" != kwo ] || [ $# -ne 5 ]; then
    echo "dpkg-statoverride $*: not what the package's scripts do" >&2
    exit 2
fi
chgrp "$KWO_STATION_GID" "$KWO_SCRATCH_ROOT$5" && chmod "$4" "$KWO_SCRATCH_ROOT$5"
)";

} // namespace

StationUser::StationUser(const std::string& root, const std::string& postinst, const std::string& home)
    : homeFolder(home)
{
    switched = geteuid() == 0;
    if (switched) {
        unsigned id = 59999;
        while (id > 50000 && !idUnused(id))
            --id;
        if (!idUnused(id)) {
            trouble = "no unused user and group id between 50000 and 59999";
            return;
        }
        userId = id;
        groupId = id;
    } else {
        userId = geteuid();
        groupId = getegid();
    }

    // The stand-ins go beside the home folder, not in it: the technician
    // has no business with them.
    const std::string standIns = home + "-postinst-path";
    fs::create_directories(standIns);
    writeFile(standIns + "/getent", getentStandIn);
    writeFile(standIns + "/addgroup", addgroupStandIn);
    writeFile(standIns + "/dpkg-statoverride", statoverrideStandIn);
    for (const char* name : {"getent", "addgroup", "dpkg-statoverride"})
        fs::permissions(standIns + "/" + name, fs::perms::owner_all | fs::perms::group_read |
                                                   fs::perms::group_exec | fs::perms::others_read |
                                                   fs::perms::others_exec);
    const char* path = std::getenv("PATH");
    const ProcessResult configured =
        kwo::test::run({"sh", postinst, "configure"}, "",
                       {"PATH=" + standIns + ":" + (path ? path : "/usr/bin:/bin"),
                        "KWO_STATION_GID=" + std::to_string(groupId), "KWO_SCRATCH_ROOT=" + root});
    if (configured.exitCode != 0) {
        trouble = "the package's postinst failed on the scratch root:\n" + configured.out + configured.err;
        return;
    }

    if (switched) {
        const ProcessResult probe = kwo::test::run(commandLine({"true"}));
        if (probe.exitCode != 0) {
            trouble = "cannot run as " + describe() + ": " + probe.err;
            return;
        }
    }

    fs::create_directory(home);
    // Where the desktop's programs keep caches and sockets, the technician's
    // own, as a login would make them.
    for (const char* folder : {".cache", ".config", "runtime"})
        fs::create_directory(home + "/" + folder);
    fs::permissions(home + "/runtime", fs::perms::owner_all);
    // The display of the test belongs to root: the technician gets its key,
    // as a desktop session hands it to its user.
    if (const char* key = std::getenv("XAUTHORITY"); key && fs::exists(key))
        fs::copy_file(key, home + "/.Xauthority");
    for (const auto& entry : fs::recursive_directory_iterator(home))
        own(entry.path().string());
    own(home);

    // The technician must reach the root through the scratch folder the
    // test made (mkdtemp makes it for its owner alone).
    fs::permissions(fs::path(root).parent_path(), fs::perms::others_exec | fs::perms::group_exec,
                    fs::perm_options::add);
}

std::string StationUser::describe() const
{
    return (switched ? "an unknown user " : "the current user ") + std::to_string(userId) + " in group " +
           std::to_string(groupId);
}

void StationUser::own(const std::string& path) const
{
    if (switched && lchown(path.c_str(), userId, groupId) != 0)
        ADD_FAILURE() << "cannot give " << path << " to " << describe();
}

std::vector<std::string> StationUser::commandLine(const std::vector<std::string>& argv) const
{
    if (!switched)
        return argv;
    std::vector<std::string> line{"setpriv", "--reuid=" + std::to_string(userId), "--regid=" + std::to_string(groupId),
                                  "--groups=" + std::to_string(groupId), "--"};
    line.insert(line.end(), argv.begin(), argv.end());
    return line;
}

std::vector<std::string> StationUser::environmentWith(const std::vector<std::string>& extra) const
{
    std::vector<std::string> environment{"HOME=" + homeFolder, "XDG_CACHE_HOME=" + homeFolder + "/.cache",
                                         "XDG_CONFIG_HOME=" + homeFolder + "/.config",
                                         "XDG_RUNTIME_DIR=" + homeFolder + "/runtime", "NO_AT_BRIDGE=1"};
    if (fs::exists(homeFolder + "/.Xauthority"))
        environment.push_back("XAUTHORITY=" + homeFolder + "/.Xauthority");
    environment.insert(environment.end(), extra.begin(), extra.end());
    return environment;
}

ProcessResult StationUser::run(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                               std::chrono::milliseconds timeout) const
{
    return kwo::test::run(commandLine(argv), homeFolder, environmentWith(environment), timeout);
}

std::unique_ptr<Process> StationUser::start(const std::vector<std::string>& argv,
                                            const std::vector<std::string>& environment) const
{
    return std::make_unique<Process>(commandLine(argv), homeFolder, environmentWith(environment));
}

} // namespace kwo::test
