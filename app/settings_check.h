#pragma once

#include "config/setting.h"

#include <json/value.h>

namespace kwo {

class StartupNotes;

// Reads and checks every value of the effective configuration that the
// start-up stages read, in their order and with their own readers, short of
// opening the camera and the window and of reading the files it names
// (calibration, patterns, media). A value that would stop a stage stops here,
// before anything is opened, with the stage's own message; the warnings of
// the reading (a boolean written as a string, a colour outside 0..1) go to
// `notes`, once.
void checkSettings(const Json::Value& config, StartupNotes& notes);

// The side of a marker's black square, "tracking/objects[]/pattern/size", in
// millimetres: every pose is scaled by it, so it must be above 0.
double readMarkerSize(const Setting& pattern);

} // namespace kwo
