#pragma once

#include <string>

namespace kwo {

// Whether a display is there for dialogs. Without one every dialog falls back
// to the standard error stream.
bool displayAvailable();

// The modal "Error" box: error icon, the text, OK only. Returns when the user
// has dismissed it (at once without a display).
void showErrorBox(const std::string& text);

// The "Configuration file error" box: the text, OK (the default) and Cancel.
// True for OK. Without a display the text goes to standard error and the
// answer is Cancel, since nobody can answer it.
bool askContinueWithDefaults(const std::string& text);

} // namespace kwo
