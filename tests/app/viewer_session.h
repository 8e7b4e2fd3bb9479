#pragma once

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"

#include <json/value.h>

#include <memory>
#include <string>
#include <vector>

namespace kwo::test {

// The main document the viewer tests start from: a window that is not full
// screen, with a title no other window has, only the core media (the
// creatures' archives come later), no tracked objects and no blanked video
// row. `overrides` (JSON text) is merged over it.
std::string viewerDocument(const std::string& overrides = "{}");

constexpr const char* viewerTitle = "KWO viewer under test";

// One run of the built viewer from a temporary program folder, driven as a
// visitor would drive it: through its window. Without an environment of its
// own it plays the shared still grey clip as its camera.
class ViewerSession {
public:
    // `arguments` follow the program's name on its command line.
    explicit ViewerSession(const std::string& document = viewerDocument(),
                           std::vector<std::string> environment = {}, std::vector<std::string> arguments = {});

    ProgramFolder folder;

    // Starts the viewer (from `workingDirectory`, the program folder when
    // empty) and waits for its window to show; the window id, or "" when no
    // window showed.
    std::string start(const std::string& workingDirectory = "");
    // Starts the viewer without waiting for anything.
    void launch(const std::string& workingDirectory = "");
    const std::string& window() const { return windowId; }
    Process& process() { return *running; }

    // The client area after the viewer has drawn a few frames.
    Picture capture(double settleSeconds = 1.0);

    // Focuses the window and presses `keys` (xdotool's key names).
    void press(const std::string& keys);

    // Waits for the end of the run.
    ProcessResult finish(double seconds = 30);

private:
    std::vector<std::string> environment;
    std::vector<std::string> arguments;
    std::unique_ptr<Process> running;
    std::string windowId;
};

// CPU seconds a process has used so far (user and system); with `thread`,
// that thread's alone (the main thread's id is the process id).
double cpuSeconds(int pid, int thread = 0);

// Frame extents (left, right, top, bottom) the window manager put around a window.
struct Extents {
    int left = 0, right = 0, top = 0, bottom = 0;
};
Extents frameExtents(const std::string& windowId);

// The backdrop as the build drew it.
Picture backdropPicture();

// True when every channel is at most `level`.
inline bool isBlack(const Picture::Pixel& p, int level = 6) { return p.r <= level && p.g <= level && p.b <= level; }
inline bool near(const Picture::Pixel& a, const Picture::Pixel& b, int tolerance = 3)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

} // namespace kwo::test
