// Cameras as a station meets them: described by ranges and lists, changing
// their size midway, stopping and coming back.
#include "clip_fixtures.h"

#include "tests/support/files.h"
#include "video/clip_writer.h"
#include "video/device_request.h"
#include "video/video_capture.h"
#include "video/video_config.h"

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <json/reader.h>

#include <malloc.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's own count of live heap bytes (its runtime exports it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using kwo::test::TempDir;
using kwo::test::waitForFrame;

std::string deviceText(const std::string& camera, unsigned width = 320, unsigned height = 240)
{
    Json::Value video;
    video["width"] = width;
    video["height"] = height;
    return kwo::buildVideoConfig(video, camera);
}

// GStreamer's test source describes itself as a webcam that offers anything:
// every size and rate as a range, the formats as a list.
std::string testSourceCaps()
{
    gst_init(nullptr, nullptr);
    GstElement* element = gst_element_factory_make("videotestsrc", nullptr);
    GstPad* pad = gst_element_get_static_pad(element, "src");
    GstCaps* caps = gst_pad_query_caps(pad, nullptr);
    gchar* text = gst_caps_to_string(caps);
    std::string result = text;
    g_free(text);
    gst_caps_unref(caps);
    gst_object_unref(pad);
    gst_object_unref(element);
    return result;
}

// A camera double listed among the devices: `source` is the GStreamer source
// standing in for the device.
kwo::VideoDevice cameraDouble(const std::string& name, const std::string& source)
{
    kwo::VideoDevice device;
    device.kind = kwo::VideoDevice::Kind::Camera;
    device.name = name;
    device.source = source;
    device.caps = testSourceCaps();
    return device;
}

kwo::VideoCapture captureOf(std::vector<kwo::VideoDevice> devices, kwo::CaptureTimes times = {})
{
    return kwo::VideoCapture([devices] { return devices; }, kwo::openDefaultSource, times);
}

// Polls like the frame cycle until `done` holds or `limit` passes; true when it held.
template <typename Done>
bool pollUntil(kwo::VideoCapture& capture, Done done, std::chrono::milliseconds limit)
{
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (capture.newestFrame())
            capture.release();
        if (done())
            return true;
        std::this_thread::sleep_for(2ms);
    }
    return false;
}

TEST(CameraDouble, OpensAtTheSizeAsked)
{
    const struct {
        unsigned width, height;
    } cases[] = {{320, 240}, {200, 150}, {640, 480}, {33, 17}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        kwo::VideoCapture capture = captureOf({cameraDouble("Test camera", "videotestsrc is-live=true")});
        ASSERT_TRUE(capture.open(deviceText("Test camera", c.width, c.height)));
        EXPECT_EQ(capture.size(), (kwo::FrameSize{static_cast<int>(c.width), static_cast<int>(c.height)}));
        capture.start();
        EXPECT_NE(waitForFrame(capture), nullptr);
    }
}

struct Rgb {
    int r, g, b;
};
// The pixel at (x, y) of a frame.
Rgb colourAt(const std::uint8_t* frame, int width, int x, int y)
{
    const std::uint8_t* p = frame + (static_cast<std::size_t>(y) * width + x) * 4;
    return {p[2], p[1], p[0]};
}
bool isRed(const Rgb& c) { return c.r > 200 && c.g < 60 && c.b < 60; }

TEST(CameraDouble, AStreamThatChangesItsSizeIsScaledToTheOpenedSize)
{
    // A clip of joined pieces: red at 64x48, then colour bars at 96x48.
    TempDir folder;
    const std::string first = folder.file("first.mjpg"), second = folder.file("second.mjpg");
    const std::string piece = "videotestsrc num-buffers=10 pattern=%s ! video/x-raw,width=%d,height=48,"
                              "framerate=30/1 ! jpegenc ! multipartmux ! filesink location=%s";
    for (const auto& [pattern, width, path] : {std::tuple{"red", 64, first}, std::tuple{"smpte100", 96, second}}) {
        char text[512];
        std::snprintf(text, sizeof text, piece.c_str(), pattern, width, path.c_str());
        gst_init(nullptr, nullptr);
        GstElement* writer = gst_parse_launch(text, nullptr);
        ASSERT_NE(writer, nullptr);
        gst_element_set_state(writer, GST_STATE_PLAYING);
        GstBus* bus = gst_element_get_bus(writer);
        GstMessage* end =
            gst_bus_timed_pop_filtered(bus, 60 * GST_SECOND, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        const bool written = end && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
        if (end)
            gst_message_unref(end);
        gst_object_unref(bus);
        gst_element_set_state(writer, GST_STATE_NULL);
        gst_object_unref(writer);
        ASSERT_TRUE(written) << text;
    }
    std::ofstream joined(folder.file("joined.mjpg"), std::ios::binary);
    joined << std::ifstream(first, std::ios::binary).rdbuf() << std::ifstream(second, std::ios::binary).rdbuf();
    joined.close();

    kwo::VideoDevice clip;
    clip.kind = kwo::VideoDevice::Kind::Clip;
    clip.name = "joined.mjpg";
    clip.location = folder.file("joined.mjpg");
    kwo::VideoCapture capture = captureOf({clip});
    ASSERT_TRUE(capture.open(deviceText("joined.mjpg")));
    ASSERT_EQ(capture.size(), (kwo::FrameSize{64, 48}));
    capture.start();
    // Multipart frames carry no times: each pass comes as fast as it is
    // decoded and only the newest frame is handed out, so which red frames
    // are seen depends on the machine's load, but every pass ends on a frame
    // of bars, which stays until it is taken. The file cannot be sought back
    // to its start, so the capture reopens it every 2 s: three frames of bars
    // come within three passes however busy the machine is.
    int bars = 0;
    const auto end = Clock::now() + 30s;
    while (Clock::now() < end && bars < 3) {
        if (const std::uint8_t* frame = capture.newestFrame()) {
            if (isRed(colourAt(frame, 64, 32, 24))) {
                for (int x : {4, 59})
                    EXPECT_TRUE(isRed(colourAt(frame, 64, x, 24))) << "x " << x;
            } else {
                // Seven bars across the whole width: white, yellow, cyan,
                // green, magenta, red, blue. Scaled, the bars' centres are
                // where they were; cropped, the right edge would show
                // magenta. (The picture keeps its shape: a wider stream
                // shows between black rows above and below.)
                ++bars;
                const Rgb white = colourAt(frame, 64, 4, 24), green = colourAt(frame, 64, 32, 24),
                          blue = colourAt(frame, 64, 59, 24);
                EXPECT_TRUE(white.r > 200 && white.g > 200 && white.b > 200)
                    << white.r << "," << white.g << "," << white.b;
                EXPECT_TRUE(green.g > 200 && green.r < 60 && green.b < 60)
                    << green.r << "," << green.g << "," << green.b;
                EXPECT_TRUE(blue.b > 200 && blue.r < 60 && blue.g < 60) << blue.r << "," << blue.g << "," << blue.b;
            }
            capture.release();
        }
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_GE(bars, 3) << "the frames after the size change did not come through";
    EXPECT_FALSE(capture.isLost());
}

// Lines the capture reports, kept for the test.
struct Lines {
    std::vector<std::string> all;
    kwo::VideoCapture::MessageSink sink()
    {
        return [this](const std::string& line) { all.push_back(line); };
    }
    int count(const std::string& part) const
    {
        int n = 0;
        for (const std::string& line : all)
            n += line.find(part) != std::string::npos;
        return n;
    }
};

TEST(CameraLoss, ACameraThatStopsIsReportedAndComesBackByItself)
{
    // The double ends its stream after a few frames, as an unplugged camera
    // does; every reopen starts a fresh stream.
    kwo::VideoCapture capture = captureOf(
        {cameraDouble("Desk camera", "videotestsrc is-live=true num-buffers=15")}, {2000ms, 300ms});
    Lines lines;
    capture.setMessageSink(lines.sink());
    ASSERT_TRUE(capture.open(deviceText("Desk camera", 160, 120)));
    capture.start();
    ASSERT_NE(waitForFrame(capture), nullptr);
    capture.release();
    ASSERT_TRUE(pollUntil(capture, [&] { return capture.isLost(); }, 3s));
    ASSERT_EQ(lines.all.size(), 1u);
    EXPECT_NE(lines.all[0].find("\"Desk camera\" lost (the stream ended)"), std::string::npos) << lines.all[0];
    EXPECT_EQ(capture.newestFrame(), nullptr) << "no frame while lost";
    ASSERT_TRUE(pollUntil(capture, [&] { return !capture.isLost(); }, 3s));
    ASSERT_EQ(lines.all.size(), 2u);
    EXPECT_NE(lines.all[1].find("\"Desk camera\" is back"), std::string::npos) << lines.all[1];
    const std::uint8_t* frame = waitForFrame(capture);
    ASSERT_NE(frame, nullptr) << "the picture resumes";
    EXPECT_EQ(capture.size(), (kwo::FrameSize{160, 120}));
}

TEST(CameraLoss, AClipReplacedByATruncatedCopyWhilePlayingComesBackWhenItIsWholeAgain)
{
    TempDir folder;
    const std::string path = folder.file("count.mkv");
    kwo::test::writeCountingClip(path, 6, 30);
    const std::string whole = kwo::test::readFile(path);
    kwo::VideoDevice clip;
    clip.kind = kwo::VideoDevice::Kind::Clip;
    clip.name = "count.mkv";
    clip.location = path;
    kwo::VideoCapture capture = captureOf({clip}, {2000ms, 200ms});
    Lines lines;
    capture.setMessageSink(lines.sink());
    ASSERT_TRUE(capture.open(deviceText("count.mkv")));
    capture.start();
    ASSERT_NE(waitForFrame(capture), nullptr);
    capture.release();

    // Overwritten in place, as a copy over the old file does: the player's
    // open file now ends after its header.
    kwo::test::writeFile(path, whole.substr(0, 600));
    ASSERT_TRUE(pollUntil(capture, [&] { return capture.isLost(); }, 4s)) << "the loss went unnoticed";
    ASSERT_EQ(lines.count("\"count.mkv\" lost ("), 1) << lines.all.front();
    // Attempts on the broken file fail quietly.
    EXPECT_FALSE(pollUntil(capture, [&] { return !capture.isLost(); }, 700ms));
    EXPECT_EQ(lines.all.size(), 1u);

    kwo::test::writeFile(path, whole);
    ASSERT_TRUE(pollUntil(capture, [&] { return !capture.isLost(); }, 3s));
    EXPECT_EQ(lines.count("\"count.mkv\" is back"), 1);
    const std::uint8_t* frame = waitForFrame(capture);
    ASSERT_NE(frame, nullptr);
    EXPECT_GE(kwo::test::frameIndex(frame, 64, 48), 0);
}

TEST(CameraLoss, AClipThatWaitedForTheViewerIsNotLost)
{
    // A clip starts over only when the viewer asks for frames: a viewer held
    // up longer than the silence (a slow first frame) finds it waiting at its
    // end, not lost.
    TempDir folder;
    kwo::test::writeCountingClip(folder.file("short.mkv"), 3, 30);
    kwo::VideoDevice clip;
    clip.kind = kwo::VideoDevice::Kind::Clip;
    clip.name = "short.mkv";
    clip.location = folder.file("short.mkv");
    kwo::VideoCapture capture = captureOf({clip}, {300ms, 400ms});
    Lines lines;
    capture.setMessageSink(lines.sink());
    ASSERT_TRUE(capture.open(deviceText("short.mkv")));
    capture.start();
    // The clip's last frame taken, then a pause: its end comes meanwhile
    // and no frame after it until the viewer asks again.
    int index = -1;
    for (int i = 0; i < 20 && index != 2; ++i) {
        const std::uint8_t* frame = waitForFrame(capture);
        ASSERT_NE(frame, nullptr);
        index = kwo::test::frameIndex(frame, 64, 48);
        capture.release();
    }
    ASSERT_EQ(index, 2);
    std::this_thread::sleep_for(1s);
    EXPECT_FALSE(pollUntil(capture, [&] { return capture.isLost(); }, 800ms));
    EXPECT_TRUE(lines.all.empty()) << lines.all.front();
    EXPECT_NE(waitForFrame(capture), nullptr);
}

// A source the test drives by hand: how many frames arrived and whether it
// failed; it tells whether its frame is out and whether it is still there.
struct Script {
    std::uint64_t arrived = 0;
    std::string failure;
    bool frameOut = false;
    bool destroyed = false;
};

class ScriptedSource : public kwo::VideoSource {
public:
    ScriptedSource(std::shared_ptr<Script> script, kwo::FrameSize size)
        : script(std::move(script)), frameSize(size),
          pixels(static_cast<std::size_t>(size.width) * size.height * 4)
    {
    }
    ~ScriptedSource() override { script->destroyed = true; }
    kwo::FrameSize size() const override { return frameSize; }
    void start() override {}
    void stop() override {}
    std::uint8_t* takeNewestFrame() override
    {
        if (script->frameOut || script->arrived == taken || !script->failure.empty())
            return nullptr;
        taken = script->arrived;
        pixels[0] = static_cast<std::uint8_t>(taken);
        script->frameOut = true;
        return pixels.data();
    }
    void releaseFrame() override { script->frameOut = false; }
    std::uint64_t framesArrived() const override { return script->arrived; }
    std::string failure() override { return script->failure; }

private:
    std::shared_ptr<Script> script;
    kwo::FrameSize frameSize;
    std::uint64_t taken = 0;
    std::vector<std::uint8_t> pixels;
};

// Every source opened, with the options it was opened with.
struct Opened {
    std::shared_ptr<Script> script;
    kwo::SourceOptions options;
};

class SilentCamera : public testing::Test {
protected:
    kwo::VideoCapture capture{
        [this] { return listed ? std::vector<kwo::VideoDevice>{device()} : std::vector<kwo::VideoDevice>{}; },
        [this](const kwo::VideoDevice&, const kwo::DeviceRequest&, const kwo::SourceOptions& o) {
            opened.push_back({std::make_shared<Script>(), o});
            return std::make_unique<ScriptedSource>(opened.back().script, o.frameSize.value_or(kwo::FrameSize{8, 4}));
        },
        {300ms, 400ms, 1000ms}};
    std::vector<Opened> opened;
    Lines lines;
    bool listed = true;

    static kwo::VideoDevice device()
    {
        kwo::VideoDevice d;
        d.name = "Scripted";
        return d;
    }
    void SetUp() override
    {
        capture.setMessageSink(lines.sink());
        ASSERT_TRUE(capture.open(deviceText("Scripted")));
        capture.start();
    }
    // Polls for `time`, a frame arriving every 10 ms while `flowing`.
    void run(std::chrono::milliseconds time, bool flowing)
    {
        const auto end = Clock::now() + time;
        while (Clock::now() < end) {
            if (flowing)
                ++opened.back().script->arrived;
            if (capture.newestFrame())
                capture.release();
            std::this_thread::sleep_for(10ms);
        }
    }
};

TEST_F(SilentCamera, NoFrameForTheSilenceMeansLostAndAttemptsFollowUntilOneGivesFrames)
{
    run(600ms, true);
    EXPECT_FALSE(capture.isLost()) << "frames flow";
    run(500ms, false);
    ASSERT_TRUE(capture.isLost());
    ASSERT_EQ(lines.all.size(), 1u);
    EXPECT_EQ(lines.all[0], "Video: camera \"Scripted\" lost (no picture for 0.3 s); looking for it every 0.4 s");
    // Attempts that give nothing are given up once they had their time to
    // start, and another follows; all in the background and at the size
    // the viewer was built for.
    run(1500ms, false);
    ASSERT_GE(opened.size(), 3u);
    EXPECT_LE(opened.size(), 6u);
    for (std::size_t i = 1; i < opened.size(); ++i) {
        EXPECT_TRUE(opened[i].options.inBackground);
        EXPECT_EQ(opened[i].options.frameSize, (kwo::FrameSize{8, 4}));
    }
    EXPECT_FALSE(opened[0].options.inBackground) << "start-up waits for the device";
    EXPECT_EQ(lines.all.size(), 1u);
    run(100ms, true);
    EXPECT_FALSE(capture.isLost());
    ASSERT_EQ(lines.all.size(), 2u);
    EXPECT_EQ(lines.all[1], "Video: camera \"Scripted\" is back");
    ++opened.back().script->arrived;
    EXPECT_NE(capture.newestFrame(), nullptr);
}

// Webcams take a while to start streaming, longer than the silence that
// means a playing camera is lost, and a busy machine makes that longer.
TEST_F(SilentCamera, ACameraSlowToStartIsWaitedForAtStartAndWhenReopened)
{
    run(600ms, false);
    EXPECT_FALSE(capture.isLost()) << "the first frame has longer to come than the silence";
    run(100ms, true);
    run(500ms, false);
    ASSERT_TRUE(capture.isLost()) << "once it came, the silence counts";
    // A reopened camera is not given up at the next retry while it starts.
    const auto limit = Clock::now() + 10s;
    while (opened.size() < 2 && Clock::now() < limit)
        run(10ms, false);
    ASSERT_EQ(opened.size(), 2u) << "the camera was not looked for again";
    run(600ms, false);
    EXPECT_EQ(opened.size(), 2u) << "an attempt still starting was given up";
    run(50ms, true);
    EXPECT_FALSE(capture.isLost());
    EXPECT_EQ(lines.all.size(), 2u);
}

TEST_F(SilentCamera, ACameraThatNeverGivesAFirstFrameIsLost)
{
    run(1200ms, false);
    ASSERT_TRUE(capture.isLost());
    ASSERT_EQ(lines.all.size(), 1u);
    EXPECT_EQ(lines.all[0], "Video: camera \"Scripted\" lost (no first picture within 1 s); looking for it every 0.4 s");
}

TEST_F(SilentCamera, NotAskingForFramesIsNotLosingTheCamera)
{
    // A minimised viewer takes no frames for a while; they still arrive.
    for (int i = 0; i < 60; ++i) {
        ++opened.back().script->arrived;
        std::this_thread::sleep_for(10ms);
    }
    run(50ms, true);
    EXPECT_FALSE(capture.isLost());
    // Stopped capture is not watched either.
    capture.stop();
    run(700ms, false);
    EXPECT_FALSE(capture.isLost());
    EXPECT_TRUE(lines.all.empty());
}

TEST_F(SilentCamera, AFailureIsALossAtOnceAndAnUnlistedCameraIsWaitedFor)
{
    run(50ms, true);
    opened.back().script->failure = "Cannot identify device";
    run(20ms, false);
    ASSERT_TRUE(capture.isLost());
    EXPECT_EQ(lines.count("lost (Cannot identify device)"), 1);
    // Unplugged: the camera is not even listed; nothing is opened meanwhile.
    listed = false;
    const std::size_t before = opened.size();
    run(900ms, false);
    EXPECT_EQ(opened.size(), before);
    listed = true;
    run(500ms, false);
    ASSERT_GT(opened.size(), before);
    run(50ms, true);
    EXPECT_FALSE(capture.isLost());
    EXPECT_EQ(lines.all.size(), 2u);
    capture.close();
    EXPECT_FALSE(capture.isLost());
}

// The frame cycle may hold a frame when the camera is found lost (the look
// comes with every poll): the lost source's frame stays the program's, and
// the source with it, until the frame is given back.
TEST_F(SilentCamera, AFrameHeldWhenTheCameraIsLostStaysUntilItIsGivenBack)
{
    ++opened.back().script->arrived;
    std::uint8_t* frame = capture.newestFrame();
    ASSERT_NE(frame, nullptr);
    const std::shared_ptr<Script> first = opened.back().script;
    first->failure = "Cannot identify device";
    EXPECT_EQ(capture.newestFrame(), nullptr) << "a frame is still held";
    ASSERT_TRUE(capture.isLost());
    EXPECT_FALSE(first->destroyed) << "its frame is still out";
    frame[0] = 42; // still the program's to write (the sanitizer watches)
    capture.release();
    EXPECT_TRUE(first->destroyed);
    // The camera comes back; its frames are handed out one at a time again.
    run(500ms, false);
    ASSERT_GT(opened.size(), 1u);
    run(50ms, true);
    ASSERT_FALSE(capture.isLost());
    ++opened.back().script->arrived;
    ASSERT_NE(capture.newestFrame(), nullptr);
    EXPECT_TRUE(opened.back().script->frameOut);
    capture.release();
    EXPECT_FALSE(opened.back().script->frameOut);
}

// Memory the process holds: live heap bytes, and the resident size where the
// allocator gives freed memory back (a sanitizer keeps it in quarantine).
struct Memory {
    long heap = 0;
    long resident = 0;
};
Memory memoryNow()
{
    Memory m;
#if defined(__SANITIZE_ADDRESS__)
    m.heap = static_cast<long>(__sanitizer_get_current_allocated_bytes());
#else
    m.heap = static_cast<long>(mallinfo2().uordblks);
    std::ifstream statm("/proc/self/statm");
    long size = 0, pages = 0;
    statm >> size >> pages;
    m.resident = pages * 4096;
#endif
    return m;
}

TEST(CameraLoss, TwentyLossesAndReturnsKeepMemoryFlat)
{
    kwo::VideoCapture capture =
        captureOf({cameraDouble("Flaky camera", "videotestsrc is-live=true num-buffers=4")}, {2000ms, 10ms});
    Lines lines;
    capture.setMessageSink(lines.sink());
    ASSERT_TRUE(capture.open(deviceText("Flaky camera", 64, 48)));
    capture.start();
    auto cycles = [&](int returns) {
        const int target = lines.count("is back") + returns;
        return pollUntil(capture, [&] { return lines.count("is back") >= target; }, 30s);
    };
    // The first rounds load what GStreamer keeps for good (plugins, types).
    ASSERT_TRUE(cycles(5));
    const Memory before = memoryNow();
    ASSERT_TRUE(cycles(20));
    const Memory after = memoryNow();
    EXPECT_GE(lines.count("lost (the stream ended)"), 25);
    // A pipeline is some hundreds of kilobytes; a leak of one per round would show.
    EXPECT_LT(after.heap - before.heap, 200 * 1024) << before.heap << " -> " << after.heap;
    EXPECT_LT(after.resident - before.resident, 2 * 1024 * 1024) << before.resident << " -> " << after.resident;
}

} // namespace
