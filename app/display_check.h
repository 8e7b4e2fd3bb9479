#pragma once

#include "app/check_report.h"

namespace kwo {

// Whether the show's window could be opened from where the check runs: the
// display DISPLAY names is reached (and let go at once; no window is made).
// A warning, not an error, when it cannot: a technician often checks from a
// shell outside the desktop session, where the kiosk unit starts the viewer.
void checkDisplay(CheckReport& report);

} // namespace kwo
