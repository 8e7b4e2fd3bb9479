// The camera's format dialog, shown when the device text asks for it, in this
// test's own process under the virtual display.
#include "clip_fixtures.h"

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"
#include "video/clip_cameras.h"
#include "video/format_dialog.h"
#include "video/video_capture.h"
#include "video/video_config.h"

#include <gtest/gtest.h>
#include <json/value.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <thread>

namespace {

// Answers the first window titled `title` with `key` from another thread,
// while this one runs the modal dialog. Nothing but an answer ends a modal
// dialog, so a dialog still up a minute after it was due (its window not
// found, the key lost) ends the test program with a message instead of
// holding it until the test's time runs out.
class DialogAnswer {
public:
    DialogAnswer(const std::string& title, const std::string& key)
    {
        answered = std::async(std::launch::async, [this, title, key] {
            const std::string window = kwo::test::waitForWindow(title);
            if (!window.empty())
                kwo::test::shell("xdotool windowactivate --sync " + window + " >/dev/null 2>&1; xdotool key " + key);
            const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
            while (!dialogReturned && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!dialogReturned) {
                std::fprintf(stderr, "The dialog '%s' was never answered (%s): the test program ends here.\n",
                             title.c_str(), window.empty() ? "no such window" : ("keys " + key).c_str());
                std::_Exit(1);
            }
            return !window.empty();
        });
    }
    ~DialogAnswer()
    {
        dialogReturned = true;
        if (answered.valid())
            answered.wait();
    }
    DialogAnswer(const DialogAnswer&) = delete;
    DialogAnswer& operator=(const DialogAnswer&) = delete;

    // Once the dialog returned: whether its window was found and answered.
    bool found()
    {
        dialogReturned = true;
        return answered.get();
    }

private:
    std::atomic<bool> dialogReturned{false};
    std::future<bool> answered;
};

TEST(FormatDialog, TheClipsModeIsOfferedAndTheCaptureOpens)
{
    kwo::test::TempDir folder;
    kwo::test::writeCountingClip(folder.file("clip.mkv"), 3, 30, 80, 60);
    setenv(kwo::clipCamerasVariable, folder.file("clip.mkv").c_str(), 1);
    Json::Value video(Json::objectValue);
    video["dialog"] = true;
    video["width"] = 320;
    video["height"] = 240;
    for (const char* key : {"Return", "Escape"}) {
        SCOPED_TRACE(key);
        DialogAnswer answer("^Video format$", key);
        kwo::VideoCapture capture;
        ASSERT_TRUE(capture.open(kwo::buildVideoConfig(video, "clip.mkv")));
        EXPECT_TRUE(answer.found()) << "no format dialog";
        EXPECT_EQ(capture.size(), (kwo::FrameSize{80, 60}));
    }
    unsetenv(kwo::clipCamerasVariable);
}

TEST(FormatDialog, ReturnsTheModeChosenOrKeepsThePreselectedOne)
{
    const std::vector<kwo::CameraMode> modes = {
        {"video/x-raw", "YUY2", 640, 480, 30, 1},
        {"video/x-raw", "YUY2", 320, 240, 30, 1},
        {"image/jpeg", "", 1280, 720, 30, 1},
    };
    const struct {
        const char* keys;
        std::size_t expected;
    } cases[] = {
        {"Return", 1},
        {"Down Return", 2},
        {"Up Return", 0},
        {"Down Escape", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        DialogAnswer answer("^Video format$", c.keys);
        EXPECT_EQ(kwo::chooseCameraMode(modes, 1), c.expected);
        EXPECT_TRUE(answer.found());
    }
}

} // namespace
