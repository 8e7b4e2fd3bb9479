#include "files/new_file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kwo {
namespace {

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

bool isGroupShared(const std::string& folder)
{
    struct stat status {};
    if (::stat(folder.empty() ? "." : folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return false;
    return (status.st_mode & (S_IWGRP | S_ISGID)) != 0;
}

int createNewFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 || !isGroupShared(folderOf(path)))
        return fd;
    // The umask (often 022) took the group's write permission; the folder
    // says the group shares what is made in it.
    struct stat status {};
    if (::fstat(fd, &status) == 0)
        ::fchmod(fd, (status.st_mode & 07777) | S_IRGRP | S_IWGRP);
    return fd;
}

std::optional<std::string> prepareForWriting(const std::string& path)
{
    int fd = createNewFile(path);
    if (fd < 0 && errno == EEXIST)
        fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::string(std::strerror(errno));
    ::close(fd);
    return std::nullopt;
}

} // namespace kwo
