#include "files/write_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace kwo {

namespace {

namespace fs = std::filesystem;

std::string folderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

std::string userName(uid_t uid) {
    if (const passwd* user = getpwuid(uid)) return user->pw_name;
    return std::to_string(uid);
}

std::string groupName(gid_t gid) {
    if (const group* g = getgrgid(gid)) return g->gr_name;
    return std::to_string(gid);
}

bool inGroup(gid_t gid) {
    if (getegid() == gid) return true;
    const int count = getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<std::size_t>(i)] == gid) return true;
    return false;
}

// "rwxrwsr-x", as ls shows it.
std::string modeText(mode_t mode) {
    std::string text = "---------";
    const mode_t bits[9] = {S_IRUSR, S_IWUSR, S_IXUSR, S_IRGRP, S_IWGRP, S_IXGRP, S_IROTH, S_IWOTH, S_IXOTH};
    for (int i = 0; i < 9; ++i)
        if (mode & bits[i]) text[static_cast<std::size_t>(i)] = "rwx"[i % 3];
    if (mode & S_ISGID) text[5] = (mode & S_IXGRP) ? 's' : 'S';
    return text;
}

bool exists(const std::string& path, struct stat& status) { return stat(path.c_str(), &status) == 0; }

// No permission: on the file when it exists and may not be written, else on
// its folder; who may write there, and the group the user lacks.
std::string permissionReason(const std::string& path) {
    struct stat status {};
    const bool fileExists = exists(path, status) && access(path.c_str(), W_OK) != 0;
    const std::string target = fileExists ? path : folderOf(path);
    if (!fileExists && !exists(target, status)) return "permission denied";
    std::string text = std::string("no permission to write ") + (fileExists ? "the file" : "in the folder") + " '" +
                       target + "' (owner " + userName(status.st_uid) + ", group " + groupName(status.st_gid) +
                       ", " + modeText(status.st_mode) + ")";
    if ((status.st_mode & S_IWGRP) && !inGroup(status.st_gid))
        text += ": members of the group '" + groupName(status.st_gid) + "' may, and you (" + userName(geteuid()) +
                ") are not one of them (after being added, log in again)";
    return text;
}

// What the file system holding the folder says: read-only, or full.
std::string fileSystemReason(const std::string& folder) {
    struct statvfs space {};
    if (statvfs(folder.c_str(), &space) != 0) return "";
    if (space.f_flag & ST_RDONLY) return "the file system is read-only";
    // Pseudo file systems (/proc) have no blocks at all: not full, just not files.
    if (space.f_blocks > 0 && space.f_bavail == 0) return "the disk is full";
    if (space.f_favail == 0 && space.f_files > 0) return "the disk has no room for another file";
    return "";
}

} // namespace

std::string whyNotWritable(const std::string& path) {
    const std::string folder = folderOf(path);
    struct stat status {};
    if (!exists(folder, status)) return "the folder '" + folder + "' does not exist";
    if (!S_ISDIR(status.st_mode)) return "'" + folder + "' is not a folder";
    if (exists(path, status) && S_ISDIR(status.st_mode)) return "it is a folder";
    if (access(folder.c_str(), W_OK | X_OK) != 0 && errno != EROFS) return permissionReason(path);
    if (exists(path, status) && access(path.c_str(), W_OK) != 0 && errno != EROFS) return permissionReason(path);
    return fileSystemReason(folder);
}

std::string writeFailureReason(const std::string& path, int error) {
    switch (error) {
    case 0: {
        const std::string reason = whyNotWritable(path);
        return reason.empty() ? "for a reason the system did not give" : reason;
    }
    case EACCES:
    case EPERM: return permissionReason(path);
    case ENOENT:
    case ENOTDIR: {
        const std::string reason = whyNotWritable(path);
        return reason.empty() ? std::strerror(error) : reason;
    }
    case ENOSPC:
    case EDQUOT: return "the disk is full";
    case EROFS: return "the file system is read-only";
    case EISDIR: return "it is a folder";
    default: return std::strerror(error);
    }
}

bool writeWholeFile(const std::string& path, const std::string& bytes, std::string* reason) {
    const auto fail = [&](int error) {
        if (reason) *reason = writeFailureReason(path, error);
        return false;
    };
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (file < 0) return fail(errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(file, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            const int error = written < 0 ? errno : ENOSPC;
            close(file);
            return fail(error);
        }
        done += static_cast<std::size_t>(written);
    }
    if (close(file) != 0) return fail(errno);
    return true;
}

void shareWithFolderGroup(const std::string& path) {
    struct stat folder {}, file {};
    if (!exists(folderOf(path), folder) || !exists(path, file)) return;
    // Only where the folder's group may write and the file is of that group
    // (a set-group-ID folder makes it so): another group is left alone.
    if (!(folder.st_mode & S_IWGRP) || file.st_gid != folder.st_gid || !S_ISREG(file.st_mode)) return;
    chmod(path.c_str(), (file.st_mode & 07777) | S_IRGRP | S_IWGRP);
}

} // namespace kwo
