#pragma once

#include "video/gst_frame_source.h"
#include "video/video_source.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kwo {

// How patiently a capture watches its camera.
struct CaptureTimes {
    // No frame for this long while capturing: the camera is taken as lost.
    std::chrono::milliseconds silence{2000};
    // A lost camera is looked for again this often.
    std::chrono::milliseconds retry{2000};
    // A camera just opened, or reopened while lost, has this long to give
    // its first frame before it counts as silent or the attempt is given up.
    // Webcams take a second or more to start streaming (exposure settling,
    // USB bandwidth) and longer on a busy machine; an attempt given up
    // before its first frame could never bring a slow camera back.
    std::chrono::milliseconds firstFrame{10000};
};

// One capture device as the viewer drives it: opened from a device text,
// started, polled once per engine frame, stopped and closed. The frame it
// hands out is lent by its source. Every call comes from one thread.
//
// A station runs unattended, so a camera that stops (unplugged, an error, a
// stream that ends, or simply no frame for CaptureTimes::silence) is
// reported in one line and reopened by its name in the background, every
// CaptureTimes::retry while no attempt is under way, until it gives frames
// again; one more line says so.
// Polling goes on meanwhile and never waits for the device.
class VideoCapture {
public:
    // Turns a device and a request into a source; throws std::runtime_error
    // when the device does not open. The default opens GStreamer pipelines.
    using SourceFactory = std::function<std::unique_ptr<VideoSource>(const VideoDevice&, const DeviceRequest&,
                                                                     const SourceOptions&)>;
    // Lists the devices a text may name. The default lists the real cameras
    // and the clip cameras of KWO_CLIP_CAMERAS.
    using DeviceFinder = std::function<std::vector<VideoDevice>()>;
    // Where the lines about a camera lost and back go; the default writes
    // them on the standard error stream.
    using MessageSink = std::function<void(const std::string&)>;
    using Clock = std::chrono::steady_clock;

    VideoCapture();
    VideoCapture(DeviceFinder findDevices, SourceFactory openSource, CaptureTimes times = {});

    // Opens the first device whose friendly name the text names. On failure
    // (malformed text, unknown name, device that does not play) writes the
    // reason on the standard error stream, stays closed and returns false.
    // Opening an open capture closes the old device first.
    bool open(const std::string& deviceText);
    bool isOpen() const { return opened; }

    // The size of every frame; {0, 0} while closed. It stays the same
    // across a camera's loss and return.
    FrameSize size() const;

    void start();
    void stop();

    // The newest frame not yet handed out (in the layout of
    // VideoSource::takeNewestFrame), or null at once when there is none,
    // when the capture is closed or its camera lost, or while the previous
    // frame is still held. The frame stays valid and may be written to until
    // release(), even when the camera is lost meanwhile. Each call also
    // watches over the camera (see above).
    std::uint8_t* newestFrame();
    // Gives the held frame back, so the next one can be taken.
    void release();

    // True from the line that reports the camera lost to the one that
    // reports it back.
    bool isLost() const { return lost; }

    void setMessageSink(MessageSink sink) { messages = std::move(sink); }

    void close();

private:
    void watch(Clock::time_point now);
    void lose(const std::string& reason, Clock::time_point now);
    void lookForCamera(Clock::time_point now);

    DeviceFinder findDevices;
    SourceFactory openSource;
    CaptureTimes times;
    MessageSink messages;

    bool opened = false;
    bool capturing = false;
    DeviceRequest request;
    std::unique_ptr<VideoSource> source;  // playing, or null while lost
    std::unique_ptr<VideoSource> attempt; // a reopen under way while lost
    Clock::time_point attemptOpened;      // when that reopen began
    std::unique_ptr<VideoSource> lender;  // a lost source kept until its frame is given back
    FrameSize frameSize;
    bool frameHeld = false;

    bool lost = false;
    std::uint64_t framesSeen = 0;       // the source's count at the last look; 0 until a first frame came
    Clock::time_point lastNewFrame;     // when that count last moved
    Clock::time_point lastWatch;        // the last look at the camera
    Clock::time_point nextAttempt;
};

// Opens GStreamer sources, asking the user for a camera mode with the format
// dialog when the request says so.
std::unique_ptr<VideoSource> openDefaultSource(const VideoDevice& device, const DeviceRequest& request,
                                               const SourceOptions& options);

} // namespace kwo
