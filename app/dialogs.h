#pragma once

#include <string>

namespace kwo {

// Whether a display is there for dialogs. Without one every dialog falls back
// to the standard error stream.
bool displayAvailable();

// The modal "Error" box: error icon, the text, OK only. Returns when the user
// has dismissed it (at once without a display).
void showErrorBox(const std::string& text);

// The "Configuration file error" box about the document `file`: the text, OK
// (the default) and Cancel. True for OK. The caption with the file, then the
// text, also go to standard error (after the answer), since the box names no
// file and the journal of an unattended station keeps what it said. Without a
// display the answer is Cancel, since nobody can give it.
bool askContinueWithDefaults(const std::string& text, const std::string& file);

} // namespace kwo
