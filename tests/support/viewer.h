#pragma once

#include "tests/support/process.h"
#include "tests/support/screen.h"

#include <functional>
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

// Presses `keys` (xdotool's key names) in the window `windowId`. Without a
// window manager, or before one is up, activation is refused: focus will do.
void pressKeys(const std::string& windowId, const std::string& keys);

// The picture a running viewer shows in its window titled `title`: waits up
// to 60 s for the window, lets `beforeCapture` (given the window's id) run,
// captures the client area, ends the run with Escape and expects a clean
// exit. Empty, with a failure recorded, when no window showed.
Picture pictureOfRun(Process& viewer, const std::string& title,
                     const std::function<void(const std::string& windowId)>& beforeCapture);

// The same, the picture taken once `ready` holds for it: polled up to
// `seconds`; when it never holds, a failure is recorded and the last capture
// returned.
Picture pictureOfRunWhen(Process& viewer, const std::string& title, const std::function<bool(const Picture&)>& ready,
                         double seconds = 60);

} // namespace kwo::test
