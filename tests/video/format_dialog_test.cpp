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

#include <future>

namespace {

// Answers the first window titled `title` with `key` from another thread,
// while this one runs the modal dialog. True once the window was found.
std::future<bool> answerLater(const std::string& title, const std::string& key)
{
    return std::async(std::launch::async, [title, key] {
        const std::string window = kwo::test::waitForWindow(title);
        if (window.empty())
            return false;
        kwo::test::shell("xdotool windowactivate --sync " + window + " >/dev/null 2>&1; xdotool key " + key);
        return true;
    });
}

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
        std::future<bool> answered = answerLater("^Video format$", key);
        kwo::VideoCapture capture;
        ASSERT_TRUE(capture.open(kwo::buildVideoConfig(video, "clip.mkv")));
        EXPECT_TRUE(answered.get()) << "no format dialog";
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
        std::future<bool> answered = answerLater("^Video format$", c.keys);
        EXPECT_EQ(kwo::chooseCameraMode(modes, 1), c.expected);
        EXPECT_TRUE(answered.get());
    }
}

} // namespace
