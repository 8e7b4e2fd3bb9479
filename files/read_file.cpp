#include "files/read_file.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kwo {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd; }

private:
    int fd;
};

FileBytes unreadable(int error)
{
    FileBytes result;
    result.reason = std::strerror(error);
    return result;
}

} // namespace

FileBytes readFileBytes(const std::string& path, std::size_t limit)
{
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (file.get() < 0)
        return unreadable(errno);
    struct stat status {};
    if (::fstat(file.get(), &status) != 0)
        return unreadable(errno);
    if (S_ISDIR(status.st_mode))
        return unreadable(EISDIR);

    FileBytes result;
    if (S_ISREG(status.st_mode))
        result.size = static_cast<std::size_t>(status.st_size);
    // One byte beyond the limit tells a file of exactly `limit` bytes from a
    // longer one.
    const std::size_t wanted = limit == std::numeric_limits<std::size_t>::max() ? limit : limit + 1;
    // A regular file's size is known, so it is read into one buffer of that
    // size (and one byte more, for a file that grew); anything else grows as
    // it comes.
    const std::size_t initial = result.size ? std::min(wanted, *result.size + 1) : std::min<std::size_t>(wanted, 1 << 16);
    result.bytes.resize(initial);
    std::size_t filled = 0;
    while (filled < wanted) {
        if (filled == result.bytes.size())
            result.bytes.resize(std::min(wanted, result.bytes.size() * 2 + 4096));
        const ssize_t count = ::read(file.get(), result.bytes.data() + filled, result.bytes.size() - filled);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return unreadable(errno);
        }
        if (count == 0)
            break;
        filled += static_cast<std::size_t>(count);
    }
    result.bytes.resize(filled);
    if (filled > limit) {
        result.bytes.resize(limit);
        result.truncated = true;
    }
    result.status = FileBytes::Status::Read;
    return result;
}

} // namespace kwo
