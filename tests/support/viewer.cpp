#include "tests/support/viewer.h"

#include "tests/support/files.h"
#include "tests/support/screen.h"
#include "video/clip_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

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
            pressKeys(window, "--clearmodifiers Escape");
            break;
        }
    }
    return viewer.wait(std::chrono::seconds(30));
}

void pressKeys(const std::string& windowId, const std::string& keys)
{
    shell("xdotool windowactivate --sync " + windowId + " key " + keys + " 2>/dev/null || xdotool windowfocus --sync " +
          windowId + " key " + keys + " 2>/dev/null");
}

namespace {

// Waits for the window titled `title`, takes its picture with `take` (given
// the window's id), ends the run with Escape and expects a clean exit.
Picture takePicture(Process& viewer, const std::string& title, const std::function<Picture(const std::string&)>& take)
{
    const std::string window = waitForWindow("^" + title + "$", 60);
    if (window.empty()) {
        ADD_FAILURE() << "no window titled \"" << title << "\"; the viewer said:\n"
                      << viewer.wait(std::chrono::seconds(5)).err;
        return {};
    }
    Picture picture = take(window);
    pressKeys(window, "Escape");
    const ProcessResult result = viewer.wait(std::chrono::seconds(30));
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return picture;
}

} // namespace

Picture pictureOfRun(Process& viewer, const std::string& title,
                     const std::function<void(const std::string& windowId)>& beforeCapture)
{
    return takePicture(viewer, title, [&](const std::string& window) {
        beforeCapture(window);
        return captureWindow(window);
    });
}

Picture pictureOfRunWhen(Process& viewer, const std::string& title, const std::function<bool(const Picture&)>& ready,
                         double seconds)
{
    return takePicture(viewer, title, [&](const std::string& window) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        Picture picture = captureWindow(window);
        while (!(!picture.empty() && ready(picture)) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            picture = captureWindow(window);
        }
        if (picture.empty() || !ready(picture))
            ADD_FAILURE() << "the window never showed what the test waited for in " << seconds << " s";
        return picture;
    });
}

} // namespace kwo::test
