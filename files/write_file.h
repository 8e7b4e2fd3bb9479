#pragma once

// Writing the files a station's technician makes (calibrations, patterns,
// pictures, printable sheets): a failure says why in words the technician can
// act on, and a file made in a folder the station's group shares can be
// replaced by the group's other members.

#include <string>

namespace kwo {

// Why a file cannot be written at `path`: the folder missing, no permission
// (saying who may write there, and when the folder's group may but the user
// is not in it, that group), the disk full, a read-only file system, a
// folder in the way. `error` is the errno of the call that failed; 0 when
// unknown, and then the reason is looked for. Never empty; names no path
// but the folder's or the file's owner.
std::string writeFailureReason(const std::string& path, int error = 0);

// The reason, or nothing (empty) when a file could be written at `path`
// now: checked before work whose result would otherwise be lost.
std::string whyNotWritable(const std::string& path);

// Writes `bytes` as the whole of `path` (created or emptied first) and
// closes it, checking every step, so a full disk is not taken for success.
// False with the reason in `reason`.
bool writeWholeFile(const std::string& path, const std::string& bytes, std::string* reason);

// A file just made in a folder its group may write in (a station's folders
// are root:kwo, mode 2775) gets group read and write permission too, whatever
// the umask, so another member can replace it. Elsewhere it stays as made.
void shareWithFolderGroup(const std::string& path);

} // namespace kwo
