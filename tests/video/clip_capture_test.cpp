#include "clip_fixtures.h"

#include "tests/support/files.h"
#include "video/ar_video.h"
#include "video/camera_list.h"
#include "video/clip_cameras.h"
#include "video/clip_writer.h"
#include "video/gst_frame_source.h"
#include "video/video_capture.h"
#include "video/video_config.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using kwo::test::TempDir;
using kwo::test::waitForFrame;
using Clock = std::chrono::steady_clock;

Json::Value section(const std::string& text)
{
    Json::Value value;
    Json::Reader reader;
    EXPECT_TRUE(reader.parse(text, value)) << text;
    return value;
}

// The clip cameras of this process, as the viewer would find them.
void useClips(const std::string& paths)
{
    setenv(kwo::clipCamerasVariable, paths.c_str(), 1);
}

std::string text(const std::string& camera, const std::string& video = R"({"width": 320, "height": 240})")
{
    return kwo::buildVideoConfig(section(video), camera);
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rgb& c)
{
    return out << "(" << c.r << "," << c.g << "," << c.b << ")";
}

// A pixel of the picture as the viewer shows it: the frame holds the
// picture's top row first, and (x, y) counts from the top left.
Rgb pixel(const std::uint8_t* bgrx, int width, int x, int y)
{
    const std::uint8_t* p = bgrx + (static_cast<std::size_t>(y) * width + x) * 4;
    return {p[2], p[1], p[0]};
}

class ClipCapture : public testing::Test {
protected:
    void TearDown() override { unsetenv(kwo::clipCamerasVariable); }
    TempDir folder;
};

TEST_F(ClipCapture, ClipsAreListedAfterTheCamerasByFileName)
{
    kwo::CameraList before;
    unsetenv(kwo::clipCamerasVariable);
    kwo::listCameras(before); // whatever real cameras this machine has
    useClips(folder.file("one.mkv") + ":" + folder.file("two.mkv"));
    kwo::CameraList after;
    kwo::listCameras(after);
    kwo::CameraList expected = before;
    expected.push_back("one.mkv");
    expected.push_back("two.mkv");
    EXPECT_EQ(after, expected);
}

// A clip is opened by the name it is listed under, whatever that name holds:
// markup characters travel escaped through the device text, and a file name
// that is not UTF-8 is listed (and remembered) in its UTF-8 display form
// while the file itself is opened by its own bytes.
TEST_F(ClipCapture, EveryListedNameOpens)
{
    const struct {
        const char* file;
        const char* listed;
    } cases[] = {
        {"a&b.mkv", "a&b.mkv"},
        {"it's \"<new>\".mkv", "it's \"<new>\".mkv"},
        {"caf\xe9.mkv", "caf\xef\xbf\xbd.mkv"}, // Latin-1 e acute
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listed);
        kwo::test::writeCountingClip(folder.file(c.file), 3, 30, 160, 120);
        useClips(folder.file(c.file));
        kwo::CameraList cameras;
        kwo::listCameras(cameras);
        ASSERT_FALSE(cameras.empty());
        EXPECT_EQ(cameras.back(), c.listed);
        kwo::VideoCapture capture;
        ASSERT_TRUE(capture.open(text(cameras.back())));
        EXPECT_EQ(capture.size(), (kwo::FrameSize{160, 120}));
    }
}

TEST_F(ClipCapture, ReportsTheClipsOwnSizeWhateverWasRequested)
{
    kwo::test::writeCountingClip(folder.file("small.mkv"), 3, 30, 160, 120);
    useClips(folder.file("small.mkv"));
    for (const char* video : {R"({"width": 320, "height": 240})", R"({"width": 160, "height": 120})", "{}"}) {
        SCOPED_TRACE(video);
        kwo::VideoCapture capture;
        ASSERT_TRUE(capture.open(text("small.mkv", video)));
        EXPECT_EQ(capture.size(), (kwo::FrameSize{160, 120}));
    }
}

TEST_F(ClipCapture, DeliversBlueGreenRedPadWithPackedRowsTopFirst)
{
    // An odd width: a row of 4-byte pixels is not a multiple of 8 bytes, so a
    // padded stride would show.
    kwo::test::writeQuarterClip(folder.file("quarters.mkv"), 62, 40);
    useClips(folder.file("quarters.mkv"));
    kwo::VideoCapture capture;
    ASSERT_TRUE(capture.open(text("quarters.mkv")));
    ASSERT_EQ(capture.size(), (kwo::FrameSize{62, 40}));
    capture.start();
    const std::uint8_t* frame = waitForFrame(capture);
    ASSERT_NE(frame, nullptr);
    // The first bytes are the top left pixel (red), in the order B, G, R.
    EXPECT_EQ(frame[0], 0);
    EXPECT_EQ(frame[1], 0);
    EXPECT_EQ(frame[2], 255);
    // The last row in memory is the picture's bottom: blue then white.
    const std::uint8_t* bottom = frame + 39 * 62 * 4;
    EXPECT_EQ(bottom[0], 255);
    EXPECT_EQ(bottom[2], 0);
    EXPECT_EQ(bottom[61 * 4 + 1], 255);
    // Every pixel where it belongs: a row pitch other than width * 4 would
    // shift the quarters' edges row by row.
    int wrong = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 62; ++x) {
            const bool right = x >= 31, bottom = y >= 20;
            const Rgb expected = !right && !bottom ? Rgb{255, 0, 0}
                                 : right && !bottom ? Rgb{0, 255, 0}
                                 : !right           ? Rgb{0, 0, 255}
                                                    : Rgb{255, 255, 255};
            wrong += pixel(frame, 62, x, y) != expected;
        }
    EXPECT_EQ(wrong, 0);
}

TEST_F(ClipCapture, AppliesTheRequestedFlips)
{
    kwo::test::writeQuarterClip(folder.file("quarters.mkv"));
    useClips(folder.file("quarters.mkv"));
    const Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255};
    const struct {
        const char* video;
        Rgb topLeft, topRight, bottomLeft;
    } cases[] = {
        {R"({"flip_horizontal": false, "flip_vertical": false})", red, green, blue},
        {R"({"flip_horizontal": true, "flip_vertical": false})", green, red, white},
        {R"({"flip_horizontal": false, "flip_vertical": true})", blue, white, red},
        {R"({"flip_horizontal": true, "flip_vertical": true})", white, blue, green},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.video);
        kwo::VideoCapture capture;
        ASSERT_TRUE(capture.open(text("quarters.mkv", c.video)));
        capture.start();
        const std::uint8_t* frame = waitForFrame(capture);
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(pixel(frame, 64, 1, 1), c.topLeft);
        EXPECT_EQ(pixel(frame, 64, 62, 1), c.topRight);
        EXPECT_EQ(pixel(frame, 64, 1, 46), c.bottomLeft);
    }
}

TEST_F(ClipCapture, LoopsWithoutLosingAFrameInRealTime)
{
    // 8 frames at 40 fps: one pass takes 200 ms, so 0.7 s come round the
    // clip three times. Polling every millisecond sees every frame, unless
    // this process was held up for longer than a frame: only then may the
    // newest frame have replaced one not yet taken.
    kwo::test::writeCountingClip(folder.file("count.mkv"), 8, 40);
    useClips(folder.file("count.mkv"));
    kwo::VideoCapture capture;
    ASSERT_TRUE(capture.open(text("count.mkv")));
    capture.start();
    const auto frameTime = 25ms;
    int previous = -1, played = 0, taken = 0;
    Clock::duration longestPause{};
    auto lastPoll = Clock::now();
    const auto start = lastPoll;
    while (Clock::now() - start < 700ms) {
        const auto now = Clock::now();
        longestPause = std::max(longestPause, now - lastPoll);
        lastPoll = now;
        if (const std::uint8_t* frame = capture.newestFrame()) {
            const int index = kwo::test::frameIndex(frame, 64, 48);
            capture.release();
            ASSERT_GE(index, 0) << "not a frame of the clip";
            if (previous < 0) {
                EXPECT_EQ(index, 0) << "the clip starts at its first frame";
                played = 1;
            } else {
                const int step = (index - previous + 8) % 8;
                if (step != 1) {
                    EXPECT_GT(longestPause, frameTime * 3 / 4)
                        << "frame " << previous << " was followed by " << index << " while polling kept up";
                }
                played += step == 0 ? 8 : step;
            }
            previous = index;
            ++taken;
            longestPause = {};
        }
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_GE(taken, 20);
    // Real time: 28 frames in 0.7 s; far more means no pacing, far fewer a stall.
    EXPECT_GE(played, 22);
    EXPECT_LE(played, 31);
}

TEST_F(ClipCapture, NoNewFrameGivesNullAndTheHeldFrameIsTheProgramsUntilReleased)
{
    kwo::test::writeCountingClip(folder.file("count.mkv"), 4, 5);
    useClips(folder.file("count.mkv"));
    kwo::VideoCapture capture;
    EXPECT_EQ(capture.newestFrame(), nullptr) << "closed";
    ASSERT_TRUE(capture.open(text("count.mkv")));
    EXPECT_EQ(capture.newestFrame(), nullptr) << "not started";
    capture.start();
    std::uint8_t* frame = waitForFrame(capture);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(kwo::test::frameIndex(frame, 64, 48), 0);
    // The program writes into the frame (the viewer blanks a row in place);
    // the next frame of the clip arrives meanwhile but must not overwrite it.
    std::fill(frame, frame + 64 * 48 * 4, 7);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(capture.newestFrame(), nullptr) << "a frame is still held";
    EXPECT_EQ(frame[0], 7);
    EXPECT_EQ(frame[64 * 48 * 4 - 1], 7);
    capture.release();
    std::uint8_t* next = capture.newestFrame();
    ASSERT_NE(next, nullptr) << "the frame that came meanwhile";
    EXPECT_GE(kwo::test::frameIndex(next, 64, 48), 1);
    capture.release();
    // At 5 fps nothing new comes for another 100 ms.
    EXPECT_EQ(capture.newestFrame(), nullptr);
    capture.stop();
    capture.close();
    EXPECT_EQ(capture.newestFrame(), nullptr);
}

TEST_F(ClipCapture, RefusesUnknownNamesMalformedTextsAndMissingFiles)
{
    kwo::test::writeCountingClip(folder.file("count.mkv"), 2, 30);
    kwo::test::writeFile(folder.file("junk.mkv"), std::string(5000, 'x'));
    useClips(folder.file("count.mkv") + ":" + folder.file("gone.mkv") + ":" + folder.file("junk.mkv"));
    const struct {
        const char* what;
        std::string text;
        const char* message;
    } cases[] = {
        {"unknown name", text("other.mkv"), "no video device named \"other.mkv\""},
        {"name differs in case", text("COUNT.MKV"), "no video device named"},
        {"malformed text", text("count.mkv").substr(0, 80), "Video device text"},
        {"unknown name with markup", text("count<.mkv"), "no video device named \"count<.mkv\""},
        {"missing file", text("gone.mkv"), "gone.mkv"},
        {"not a clip", text("junk.mkv"), "junk.mkv"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        kwo::VideoCapture capture;
        testing::internal::CaptureStderr();
        EXPECT_FALSE(capture.open(c.text));
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_FALSE(capture.isOpen());
        EXPECT_EQ(capture.size(), (kwo::FrameSize{0, 0}));
    }
}

TEST_F(ClipCapture, TheFirstDeviceOfTheNameIsOpened)
{
    std::filesystem::create_directory(folder.file("a"));
    std::filesystem::create_directory(folder.file("b"));
    kwo::test::writeCountingClip(folder.file("a/same.mkv"), 2, 30, 32, 16);
    kwo::test::writeCountingClip(folder.file("b/same.mkv"), 2, 30, 48, 16);
    useClips(folder.file("a/same.mkv") + ":" + folder.file("b/same.mkv"));
    kwo::VideoCapture capture;
    ASSERT_TRUE(capture.open(text("same.mkv")));
    EXPECT_EQ(capture.size(), (kwo::FrameSize{32, 16}));
}

TEST_F(ClipCapture, AClipRuinedWhilePlayingReportsOnceAndGoesQuiet)
{
    kwo::test::writeCountingClip(folder.file("count.mkv"), 4, 40);
    useClips(folder.file("count.mkv"));
    kwo::VideoCapture capture;
    ASSERT_TRUE(capture.open(text("count.mkv")));
    capture.start();
    ASSERT_NE(waitForFrame(capture), nullptr);
    capture.release();
    // Rewrite the open file in place: the next pass reads garbage.
    kwo::test::writeFile(folder.file("count.mkv"), std::string(100000, '\x5a'));
    testing::internal::CaptureStderr();
    int framesAfter = 0;
    bool quiet = false;
    const auto start = Clock::now();
    while (Clock::now() - start < 1500ms) {
        if (capture.newestFrame()) {
            ++framesAfter;
            capture.release();
            quiet = false;
        } else {
            quiet = true;
        }
        std::this_thread::sleep_for(1ms);
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(quiet);
    EXPECT_LE(framesAfter, 8) << "at most what was read ahead before the file changed";
    const std::size_t first = err.find("Video: ");
    ASSERT_NE(first, std::string::npos) << "no message";
    EXPECT_NE(err.find("count.mkv"), std::string::npos) << err;
    EXPECT_EQ(err.find("Video: ", first + 1), std::string::npos) << "reported more than once:\n" << err;
    // Stopping and closing a failed device is harmless.
    capture.stop();
    capture.close();
}

TEST_F(ClipCapture, AClipDeletedWhilePlayingPlaysOnFromItsOpenFile)
{
    kwo::test::writeCountingClip(folder.file("count.mkv"), 4, 40);
    useClips(folder.file("count.mkv"));
    kwo::VideoCapture capture;
    ASSERT_TRUE(capture.open(text("count.mkv")));
    capture.start();
    ASSERT_NE(waitForFrame(capture), nullptr);
    capture.release();
    std::filesystem::remove(folder.file("count.mkv"));
    testing::internal::CaptureStderr();
    // Every frame handed out is a new one, so a frame that does not come
    // after the one before it in the clip means the clip started over.
    // Frames may be skipped on a busy machine; the starts cannot be.
    int last = -1, starts = 0;
    const auto end = Clock::now() + 20s;
    while (Clock::now() < end && starts < 2) {
        if (const std::uint8_t* frame = capture.newestFrame()) {
            const int index = kwo::test::frameIndex(frame, 64, 48);
            EXPECT_GE(index, 0);
            starts += last >= 0 && index <= last;
            last = index;
            capture.release();
        }
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(starts, 2) << "the clip did not play on through its end";
}

TEST_F(ClipCapture, TheViewersCallsRunTheWholeLifecycle)
{
    kwo::test::writeCountingClip(folder.file("count.mkv"), 6, 30, 80, 60);
    useClips(folder.file("count.mkv"));
    int width = -1, height = -1;
    EXPECT_LT(arVideoInqSize(&width, &height), 0) << "closed";
    EXPECT_LT(arVideoOpen(text("nothing.mkv").c_str()), 0);
    ASSERT_GE(arVideoOpen(text("count.mkv").c_str()), 0);
    ASSERT_GE(arVideoInqSize(&width, &height), 0);
    EXPECT_EQ(width, 80);
    EXPECT_EQ(height, 60);
    arVideoCapStart();
    unsigned char* frame = nullptr;
    for (int i = 0; i < 5000 && !frame; ++i) {
        frame = arVideoGetImage();
        std::this_thread::sleep_for(1ms);
    }
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(kwo::test::frameIndex(frame, 80, 60), 0);
    arVideoCapNext();
    arVideoCapStop();
    arVideoClose();
    EXPECT_EQ(arVideoGetImage(), nullptr);
    EXPECT_LT(arVideoInqSize(&width, &height), 0);
}

TEST_F(ClipCapture, MotionJpegClipsPlayToo)
{
    // Most clips recorded from a camera are motion JPEG: lossy, so compare loosely.
    const kwo::ClipFormat format{96, 64, 30, 3, kwo::ClipEncoding::Mjpeg};
    kwo::writeClip(folder.file("jpeg.mkv"), format, [](int, std::uint8_t* frame) {
        for (int i = 0; i < 96 * 64; ++i) {
            frame[i * 4 + 0] = 200; // blue
            frame[i * 4 + 1] = 40;
            frame[i * 4 + 2] = 10;
        }
    });
    useClips(folder.file("jpeg.mkv"));
    kwo::VideoCapture capture;
    ASSERT_TRUE(capture.open(text("jpeg.mkv")));
    EXPECT_EQ(capture.size(), (kwo::FrameSize{96, 64}));
    capture.start();
    const std::uint8_t* frame = waitForFrame(capture);
    ASSERT_NE(frame, nullptr);
    const Rgb centre = pixel(frame, 96, 48, 32);
    EXPECT_NEAR(centre.b, 200, 12);
    EXPECT_NEAR(centre.g, 40, 12);
    EXPECT_NEAR(centre.r, 10, 12);
}

TEST_F(ClipCapture, AClipReadOnceGivesEveryFrameInOrderThenEnds)
{
    // 12 frames at 40 fps, read far slower than they play: a clip read once
    // waits for its reader, so none is passed over, and its end is told
    // only after the last frame was taken. Stopping while the pipeline waits
    // for the reader must not hang.
    kwo::test::writeCountingClip(folder.file("count.mkv"), 12, 40);
    kwo::VideoDevice device;
    device.kind = kwo::VideoDevice::Kind::Clip;
    device.name = device.location = folder.file("count.mkv");
    kwo::SourceOptions options;
    options.readOnce = true;
    for (const bool stopEarly : {false, true}) {
        SCOPED_TRACE(stopEarly ? "stopped after 3 frames" : "read to the end");
        std::unique_ptr<kwo::VideoSource> source = kwo::openGstSource(device, {}, options, nullptr);
        source->start();
        std::vector<int> seen;
        const auto start = Clock::now();
        while (Clock::now() - start < 20s && source->failure().empty()) {
            if (const std::uint8_t* frame = source->takeNewestFrame()) {
                seen.push_back(kwo::test::frameIndex(frame, 64, 48));
                source->releaseFrame();
                if (stopEarly && seen.size() == 3)
                    break;
            }
            std::this_thread::sleep_for(40ms);
        }
        if (stopEarly) {
            source->stop();
            EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
            continue;
        }
        EXPECT_EQ(source->failure(), kwo::clipEnded);
        EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    }
}

} // namespace
