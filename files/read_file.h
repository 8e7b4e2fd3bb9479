#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kwo {

// What reading a file gave: its first bytes, or why there are none.
struct FileBytes {
    enum class Status {
        Read,       // `bytes` holds the file, or its first `limit` bytes when `truncated`
        Unreadable, // missing, a folder, no permission, a read error: `reason` says which
    };
    Status status = Status::Unreadable;
    std::string bytes;
    bool truncated = false;          // the file goes on beyond `limit`
    std::optional<std::size_t> size; // a regular file's size as the folder records it
    std::string reason;              // for Unreadable: the system's words ("Is a directory")

    bool read() const { return status == Status::Read; }
};

// Reads at most `limit` bytes of `path` (and one more to tell whether the file
// goes on). Never throws for a bad file and never reads past the limit, so a
// device such as /dev/zero or a pipe cannot exhaust memory. A folder is
// unreadable, like a file the process may not open.
FileBytes readFileBytes(const std::string& path, std::size_t limit);

} // namespace kwo
