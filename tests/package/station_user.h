#pragma once

// A technician of an installed station: not root, a member of the group
// kwo, working on the package's files unpacked in a scratch root. The
// station folders are given to the group by the package's own postinst, run
// against the scratch root with dpkg's and the system's bookkeeping replaced
// by stand-ins, so nothing on the machine changes.
//
// Run as root (as CI does), the technician is a user and group id that the
// machine does not know, and every step runs under them (setpriv). Run as
// anyone else, the steps run as that user, the folders given to the user's
// own primary group: the same path, without the switch of user.
#include "tests/support/process.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kwo::test {

class StationUser {
public:
    // Gives `root`'s station folders to the group as `postinst` (the
    // package's maintainer script) does on configure, and makes the
    // technician's home folder `home` (it must not exist yet). `problem()`
    // says what went wrong when it could not.
    StationUser(const std::string& root, const std::string& postinst, const std::string& home);

    const std::string& problem() const { return trouble; }
    bool switchesUser() const { return switched; }
    uid_t uid() const { return userId; }
    gid_t gid() const { return groupId; }
    const std::string& home() const { return homeFolder; }
    // Who the steps run as, for messages.
    std::string describe() const;

    // Runs a command as the technician in the home folder; `environment`
    // entries are added to the technician's own.
    ProcessResult run(const std::vector<std::string>& argv, const std::vector<std::string>& environment = {},
                      std::chrono::milliseconds timeout = std::chrono::seconds(60)) const;
    std::unique_ptr<Process> start(const std::vector<std::string>& argv,
                                   const std::vector<std::string>& environment = {}) const;

    // Gives a file the test made in the home folder to the technician.
    void own(const std::string& path) const;

private:
    std::vector<std::string> commandLine(const std::vector<std::string>& argv) const;
    std::vector<std::string> environmentWith(const std::vector<std::string>& extra) const;

    std::string homeFolder;
    std::string trouble;
    bool switched = false;
    uid_t userId = 0;
    gid_t groupId = 0;
};

} // namespace kwo::test
