// A creature on a card held still, in the whole viewer: the camera's noise
// makes each frame's pose estimate tremble; with tracking/smoothing on the
// creature's outline changes far less from frame to frame.
//
// The creature stands in its bind pose (no animation), so that any pixel of
// it that changes from one frame to the next was moved by its pose.
#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/support/screen.h"
#include "tests/support/viewer.h"
#include "tools/synthetic/lighting.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"
#include "video/clip_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iostream>
#include <utility>

namespace {

using kwo::test::Picture;

constexpr const char* title = "KWO steady creature under test";
constexpr int windowWidth = 800, windowHeight = 600;
constexpr int videoWidth = 320, videoHeight = 240;
constexpr int frameCount = 30; // the frames compared, one after the other
constexpr int settling = 5;    // frames after the creature appeared, not compared
constexpr int creatureLeast = 2000; // pixels: the creature is there

// Pixels that differ by more than the camera's noise can make them.
bool differ(const Picture::Pixel& p, const Picture::Pixel& q)
{
    return std::abs(p.r - q.r) + std::abs(p.g - q.g) + std::abs(p.b - q.b) > 90;
}

struct Captured {
    std::vector<Picture> frames;  // consecutive camera frames as the window showed them
    int creaturePixels = 0;       // in the first, pixels that are not the camera picture
};

class SteadyCreature : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARParam loaded;
        ASSERT_EQ(arParamLoad(KWO_PROGRAM_DIR "/tracking/camera.dat", 1, &loaded), 0);
        ASSERT_EQ(arParamChangeSize(&loaded, videoWidth, videoHeight, &camera), 0);
        // Held up nearly square-on, as visitors hold cards: where the
        // estimate's tilt trembles most.
        kwo::synthetic::PrintedMarker card;
        card.picture = kwo::synthetic::designPicture("Quillmoth");
        card.width = 83;
        kwo::synthetic::makePose(4, -3, 10, 0, 20, 400, card.pose);
        sharp = kwo::synthetic::renderFrame(camera, {card});
    }

    // The viewer on a looping clip of the still card, each frame with fresh
    // sensor noise (grey-level sigma 4) and JPEG compression; `smoothing` is
    // tracking/smoothing's value.
    Captured run(const std::string& smoothing)
    {
        kwo::test::ProgramFolder program;
        kwo::ClipFormat format;
        format.width = videoWidth;
        format.height = videoHeight;
        format.framesPerSecond = 30;
        format.frameCount = 60;
        kwo::writeClip(program.file("card.mkv"), format, [&](int index, std::uint8_t* bgrx) {
            const kwo::synthetic::SyntheticFrame noisy =
                kwo::synthetic::relit(sharp, 1.0, 4, 1000 + static_cast<std::uint32_t>(index));
            std::memcpy(bgrx, noisy.data(), noisy.pixels.size());
        });
        program.write("kwo.config", std::string(R"({"window": {"fullscreen": false, "title": ")") + title + R"("},
            "rendering": {"viewport": {"mode": "relative", "left": 0, "top": 0, "width": 1, "height": 1}},
            "media": {"locations": ["./media/graphics/Core.dat", "./media/graphics/Quillmoth.dat"]},
            "graphics": {"objects": [{"name": "Quillmoth", "character": {"mesh": "Quillmoth.mesh",
                "orientation": {"w": 0, "x": 0, "y": 1, "z": 0}}}]},
            "video": {"width": 320, "height": 240},
            "tracking": {"max": 0, "collisions": [], "smoothing": )" + smoothing + R"(,
                "objects": [{"name": "Quillmoth", "pattern": {"file": "tracking/Quillmoth.pattern", "size": 83}}]},
            "misc": {"fix_video": false}})");

        Captured result;
        kwo::test::Process viewer({program.executable()}, "", {"KWO_CLIP_CAMERAS=" + program.file("card.mkv")});
        kwo::test::pictureOfRun(viewer, title, [&](const std::string& window) {
            // Once the creature shows, the card was found.
            Picture last = kwo::test::captureDrawnWindow(window);
            const auto found = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (notThePicture(last) < creatureLeast && std::chrono::steady_clock::now() < found)
                last = kwo::test::captureWindow(window);
            ASSERT_GE(notThePicture(last), creatureLeast) << "no creature showed";
            // Each new camera frame brings new noise to the picture around
            // the card: a capture whose background changed shows a new
            // frame. The first half second lets the filter settle from the
            // single frame it started on.
            for (int frame = 0; frame < settling + frameCount; ++frame) {
                const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                Picture next;
                do
                    next = kwo::test::captureWindow(window);
                while (!newFrame(next, last) && std::chrono::steady_clock::now() < giveUp);
                ASSERT_TRUE(newFrame(next, last)) << "the picture stood still";
                last = std::move(next);
                if (frame >= settling)
                    result.frames.push_back(last);
            }
        });
        if (!result.frames.empty())
            result.creaturePixels = notThePicture(result.frames.front());
        return result;
    }

    // The background's top rows, away from the card: the same pixels in two
    // captures of different noisy frames are almost never all equal.
    static bool newFrame(const Picture& a, const Picture& b)
    {
        if (a.width != b.width || a.height != b.height)
            return false;
        return !std::equal(a.rgb.begin(), a.rgb.begin() + 3 * a.width * 40, b.rgb.begin());
    }

    // Pixels of the window unlike the camera picture behind them.
    int notThePicture(const Picture& window) const
    {
        int count = 0;
        for (int y = 0; y < window.height; ++y)
            for (int x = 0; x < window.width; ++x) {
                const std::uint8_t* p = sharp.data() +
                                        4 * (static_cast<std::size_t>(y * videoHeight / windowHeight) * videoWidth +
                                             static_cast<std::size_t>(x * videoWidth / windowWidth));
                count += differ(window.at(x, y), {p[2], p[1], p[0]});
            }
        return count;
    }

    // The most pixels that changed from one frame to the next.
    static int worstChange(const Captured& run)
    {
        int worst = 0;
        for (std::size_t i = 1; i < run.frames.size(); ++i) {
            int changed = 0;
            for (int y = 0; y < windowHeight; ++y)
                for (int x = 0; x < windowWidth; ++x)
                    changed += differ(run.frames[i].at(x, y), run.frames[i - 1].at(x, y));
            worst = std::max(worst, changed);
        }
        return worst;
    }

    ARParam camera{};
    kwo::synthetic::SyntheticFrame sharp;
};

TEST_F(SteadyCreature, StillCardStillCreatureWithSmoothing)
{
    const Captured steadied = run(R"({"min_cutoff": 0.4, "beta": 0.08})");
    const Captured unsteadied = run("false");
    ASSERT_EQ(steadied.frames.size(), static_cast<std::size_t>(frameCount));
    ASSERT_EQ(unsteadied.frames.size(), static_cast<std::size_t>(frameCount));
    kwo::test::savePicture(steadied.frames.front(), "steady-creature.png");
    const int steadyChange = worstChange(steadied), unsteadyChange = worstChange(unsteadied);
    std::cout << "creature pixels " << steadied.creaturePixels << ", most changed from frame to frame: steadied "
              << steadyChange << ", unsteadied " << unsteadyChange << "\n";
    // The creature is there, over a good part of the window.
    EXPECT_GT(steadied.creaturePixels, creatureLeast);
    EXPECT_GT(unsteadied.creaturePixels, creatureLeast);
    // Without smoothing its outline trembles from frame to frame; with it,
    // far less (about a third in the worst pair of frames on this clip: the
    // outline still flickers by a pixel here and there).
    EXPECT_GT(unsteadyChange, 200);
    EXPECT_LT(2 * steadyChange, unsteadyChange);
}

} // namespace
