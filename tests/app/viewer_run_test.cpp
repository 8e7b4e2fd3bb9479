// The run as a visitor ends it, and what it leaves behind.
#include "tests/app/viewer_session.h"
#include "video/clip_writer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <cstring>
#include <iostream>

#include <regex>
#include <thread>

namespace kwo::test {
namespace {

void expectCleanEnd(ProcessResult result)
{
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.err.find("Exception"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Unknow error"), std::string::npos) << result.err;
}

TEST(ViewerRun, EscapeEndsTheRunWithoutABox)
{
    // Shadows and the shadow view take their own engine resources down.
    for (const char* overrides : {"{}", R"({"rendering": {"shadow": {"technique": "additive"}}})",
                                  R"({"rendering": {"shadow": {"technique": "modulative", "debug": true}}})"}) {
        SCOPED_TRACE(overrides);
        ViewerSession viewer(viewerDocument(overrides));
        ASSERT_NE(viewer.start(), "");
        // Other keys do nothing.
        viewer.press("a Return space");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_TRUE(viewer.process().running());
        viewer.press("Escape");
        // A box would keep the process waiting for an answer, past the timeout.
        expectCleanEnd(viewer.finish());
    }
}

TEST(ViewerRun, ClosingTheWindowEndsTheRunWithoutABox)
{
    ViewerSession viewer;
    ASSERT_NE(viewer.start(), "");
    viewer.press("alt+F4"); // the window manager's close: the same message as the close box
    expectCleanEnd(viewer.finish());
}

TEST(ViewerRun, WindowCarriesTheIcon)
{
    ViewerSession viewer;
    ASSERT_NE(viewer.start(), "");
    const std::string icon = shell("xprop -id " + viewer.window() + " _NET_WM_ICON 2>/dev/null | head -c 200");
    EXPECT_NE(icon.find("Icon (128 x 128)"), std::string::npos) << icon;
    viewer.press("Escape");
    expectCleanEnd(viewer.finish());
}

TEST(ViewerRun, TerminationSignalEndsTheRunLikeTheCloseBox)
{
    // How scripts stop a viewer running unattended.
    ViewerSession viewer;
    ASSERT_NE(viewer.start(), "");
    kill(viewer.process().pid(), SIGTERM);
    expectCleanEnd(viewer.finish());
}

TEST(ViewerRun, MinimisedWindowIdles)
{
    ViewerSession viewer;
    ASSERT_NE(viewer.start(), "");
    const int pid = viewer.process().pid();
    const auto cpuOver = [pid](double seconds) {
        const double before = cpuSeconds(pid);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        return cpuSeconds(pid) - before;
    };
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double drawing = cpuOver(1.5);
    shell("xdotool windowminimize --sync " + viewer.window());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double minimised = cpuOver(1.5);
    // Rendering keeps a core busy; a minimised window only sleeps and pumps.
    // The bounds leave room for a machine busy with other tests.
    EXPECT_GT(drawing, 0.2);
    EXPECT_LT(minimised, drawing / 3) << "drawing " << drawing << " s, minimised " << minimised << " s";

    // Restored, it draws again and still ends on Escape.
    shell("xdotool windowactivate --sync " + viewer.window());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double restored = cpuOver(1.5);
    EXPECT_GT(restored, 2 * minimised) << "restored " << restored << " s, minimised " << minimised << " s";
    viewer.press("Escape");
    expectCleanEnd(viewer.finish());
}

TEST(ViewerRun, WritesTheEngineLogInTheProgramFolder)
{
    ViewerSession viewer;
    TempDir elsewhere;
    ASSERT_NE(viewer.start(elsewhere.path()), "");
    viewer.press("Escape");
    expectCleanEnd(viewer.finish());
    ASSERT_TRUE(viewer.folder.exists("ogre.log"));
    const std::string log = viewer.folder.read("ogre.log");
    EXPECT_NE(log.find("Core.dat"), std::string::npos);
    EXPECT_FALSE(elsewhere.exists("ogre.log"));
    // The closing line counts the frames the run drew and divides by the
    // run's own time.
    std::smatch closing;
    ASSERT_TRUE(std::regex_search(log, closing,
                                  std::regex(R"(Run ended: (\d+) frames drawn in ([0-9.]+) s, ([0-9.]+) frames per second)")))
        << log;
    const double frames = std::stod(closing[1]), seconds = std::stod(closing[2]), rate = std::stod(closing[3]);
    EXPECT_GT(frames, 0);
    // The time is printed to a tenth of a second, the rate from the exact one.
    EXPECT_LE(frames / (seconds + 0.051), rate + 0.051);
    if (seconds > 0.1) {
        EXPECT_GE(frames / (seconds - 0.051), rate - 0.051);
    }
    // Camera pictures are counted as they are shown: at most one a frame.
    std::smatch shown;
    ASSERT_TRUE(std::regex_search(log, shown, std::regex(R"(, (\d+) camera pictures shown, ([0-9.]+) per second)")))
        << log;
    const double pictures = std::stod(shown[1]);
    EXPECT_LE(pictures, frames);
    if (seconds > 0.1) {
        EXPECT_LE(pictures / (seconds + 0.051), std::stod(shown[2]) + 0.051);
        EXPECT_GE(pictures / (seconds - 0.051), std::stod(shown[2]) - 0.051);
    }
}

// The share of a core a thread that never sleeps gets over `time`.
double busyThreadShare(std::chrono::steady_clock::duration time)
{
    double share = 0;
    std::thread busy([&] {
        const auto threadSeconds = [] {
            timespec now{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
            return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
        };
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadSeconds();
        while (std::chrono::steady_clock::now() - start < time) {
        }
        share = (threadSeconds() - cpuStart) /
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
    busy.join();
    return share;
}

TEST(ViewerRun, DrawsAtThePaceItStatesAndSleepsBetweenFrames)
{
    // A camera at 15 fps, far below the display's 60 Hz.
    TempDir clips;
    const std::string clip = clips.file("camera.mkv");
    ClipFormat format;
    format.width = 320;
    format.height = 240;
    format.framesPerSecond = 15;
    format.frameCount = 15;
    format.encoding = ClipEncoding::Raw;
    writeClip(clip, format, [&](int index, std::uint8_t* bgrx) {
        std::memset(bgrx, 100 + index, static_cast<std::size_t>(format.width) * format.height * 4);
    });
    const struct {
        const char* frameRate;
        const char* stated; // the pace in ogre.log
        double mostFps;
    } cases[] = {
        // The virtual display's renderer is a software one.
        {R"("auto")", "Frames drawn once per camera picture, at most at the display's refresh", 15},
        {"20", "Frames drawn at most 20 frames per second", 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frameRate);
        ViewerSession viewer(viewerDocument(std::string(R"({"window": {"frame_rate": )") + c.frameRate + "}}"),
                             {"KWO_CLIP_CAMERAS=" + clip});
        ASSERT_NE(viewer.start(), "");
        const int pid = viewer.process().pid();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const auto wallStart = std::chrono::steady_clock::now();
        const double mainStart = cpuSeconds(pid, pid);

        // What a thread that never sleeps gets of a core meanwhile: on a busy
        // machine a loop that never sleeps gets no more.
        const double busyShare = busyThreadShare(std::chrono::seconds(2));

        const double mainShare = (cpuSeconds(pid, pid) - mainStart) /
                                 std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        viewer.press("Escape");
        expectCleanEnd(viewer.finish());
        const std::string log = viewer.folder.read("ogre.log");
        EXPECT_NE(log.find(c.stated), std::string::npos) << log;
        std::smatch closing;
        ASSERT_TRUE(std::regex_search(log, closing, std::regex(R"(Run ended: \d+ frames drawn in [0-9.]+ s, ([0-9.]+) frames per second)")))
            << log;
        // A loop that does not wait draws hundreds of frames a second; a busy
        // machine only makes a sleeping loop slower. The margin is for the
        // frames that carry no new picture (the start, the quiet periods).
        const double fps = std::stod(closing[1]);
        EXPECT_LE(fps, c.mostFps * 1.15 + 1);
        EXPECT_GT(fps, 2);
        // Between frames the main thread sleeps: a loop that looks for news
        // without sleeping keeps it busy all the time.
        // The X server and the renderer's threads make even a loop that
        // never sleeps wait now and then, so with the processor shared many
        // ways the two cannot be told apart: then only the frame rate counts.
        if (busyShare >= 0.5) {
            EXPECT_LT(mainShare, busyShare / 3) << "main thread CPU-s per second; a busy thread's " << busyShare;
        } else {
            std::cerr << "machine too busy to judge the main thread's sleep: a busy thread got " << busyShare
                      << " of a core, the main thread " << mainShare << std::endl;
        }
    }
}

} // namespace
} // namespace kwo::test
