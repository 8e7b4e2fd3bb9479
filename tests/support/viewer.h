#pragma once

#include "tests/support/process.h"

#include <string>
#include <vector>

namespace kwo::test {

// The environment of a viewer run with one camera: a short still clip (made
// once per test program) played as a clip camera named "still.mkv".
std::vector<std::string> clipCameraEnvironment();

// A main document that starts quickly on the core media alone: windowed, no
// tracked objects.
extern const char* const coreOnlyDocument;

// Ends a running viewer the way a visitor does, with Escape in its window
// (titled `title`), and waits for it. A viewer that already ended is waited
// for as it is.
ProcessResult closeViewer(Process& viewer, const std::string& title = "Telvarin", double secondsToAppear = 30);

} // namespace kwo::test
