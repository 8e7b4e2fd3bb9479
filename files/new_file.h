#pragma once

#include <optional>
#include <string>

namespace kwo {

// Files the viewer writes into its folder ("user.config", "ogre.log") are
// rewritten by whoever runs the station next. A station's program folder is
// shared by a group for that (group-writable, usually with the set-group-ID
// bit so new files belong to the group); a file made there must then be
// writable for the group whatever the umask of the user who made it.

// Whether files made in `folder` are meant for its group as well: the
// folder is group-writable or passes its group on to new files (setgid).
bool isGroupShared(const std::string& folder);

// Creates `path` as a new file open for writing, never through a symbolic
// link and never over an existing file: permission bits 0666 narrowed by the
// umask, and readable and writable for the group where the folder is
// group-shared. The descriptor, or -1 with errno set.
int createNewFile(const std::string& path);

// Makes sure a program that rewrites `path` itself (the engine its log) can:
// the file is created as createNewFile creates it when missing, and an
// existing one must open for writing (it is not changed). Nothing when it can
// be written, else the reason in the system's words ("Permission denied",
// "No space left on device").
std::optional<std::string> prepareForWriting(const std::string& path);

} // namespace kwo
