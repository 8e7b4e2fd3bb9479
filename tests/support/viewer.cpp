#include "tests/support/viewer.h"

#include "tests/support/files.h"
#include "tests/support/screen.h"
#include "video/clip_writer.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace kwo::test {

const char* const coreOnlyDocument = R"({
    "window": {"fullscreen": false},
    "media": {"locations": ["./media/graphics/Core.dat"]},
    "tracking": {"objects": [], "collisions": []}
})";

std::vector<std::string> clipCameraEnvironment()
{
    static const auto folder = std::make_unique<TempDir>();
    static const std::string clip = [] {
        const std::string path = folder->file("still.mkv");
        kwo::ClipFormat format;
        format.width = 320;
        format.height = 240;
        format.frameCount = 10;
        format.encoding = kwo::ClipEncoding::Raw;
        kwo::writeClip(path, format, [&](int, std::uint8_t* bgrx) {
            std::memset(bgrx, 128, static_cast<std::size_t>(format.width) * format.height * 4);
        });
        return path;
    }();
    return {"KWO_CLIP_CAMERAS=" + clip};
}

ProcessResult closeViewer(Process& viewer, const std::string& title, double secondsToAppear)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(secondsToAppear);
    while (viewer.running() && std::chrono::steady_clock::now() < deadline) {
        // A start-up error shows its box instead: answer it, so the error
        // reaches standard error where the test can see it.
        const std::string error = waitForWindow("^Error$", 0.1);
        if (!error.empty()) {
            shell("xdotool windowactivate --sync " + error + " >/dev/null 2>&1; xdotool key --clearmodifiers Return");
            break;
        }
        const std::string window = waitForWindow("^" + title + "$", 0.2);
        if (!window.empty()) {
            shell("xdotool windowactivate --sync " + window + " >/dev/null 2>&1; xdotool key --clearmodifiers Escape");
            break;
        }
    }
    return viewer.wait(std::chrono::seconds(30));
}

} // namespace kwo::test
