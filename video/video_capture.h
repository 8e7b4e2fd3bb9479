#pragma once

#include "video/gst_frame_source.h"
#include "video/video_source.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kwo {

// One capture device as the viewer drives it: opened from a device text,
// started, polled once per engine frame, stopped and closed. Owns the frame
// buffer it hands out. Every call comes from one thread.
class VideoCapture {
public:
    // Turns a device and a request into a source; throws std::runtime_error
    // when the device does not open. The default opens GStreamer pipelines.
    using SourceFactory =
        std::function<std::unique_ptr<VideoSource>(const VideoDevice&, const DeviceRequest&)>;
    // Lists the devices a text may name. The default lists the real cameras
    // and the clip cameras of KWO_CLIP_CAMERAS.
    using DeviceFinder = std::function<std::vector<VideoDevice>()>;

    VideoCapture();
    VideoCapture(DeviceFinder findDevices, SourceFactory openSource);

    // Opens the first device whose friendly name the text names. On failure
    // (malformed text, unknown name, device that does not play) writes the
    // reason on the standard error stream, stays closed and returns false.
    // Opening an open capture closes the old device first.
    bool open(const std::string& deviceText);
    bool isOpen() const { return source != nullptr; }

    // The size of every frame; {0, 0} while closed.
    FrameSize size() const;

    void start();
    void stop();

    // The newest frame not yet handed out (in the layout of
    // VideoSource::takeNewestFrame), or null at once when there is none,
    // when the capture is closed, or while the previous frame is still held.
    // The frame stays valid and may be written to until release().
    std::uint8_t* newestFrame();
    // Gives the held frame back, so the next one can be taken.
    void release();

    void close();

private:
    DeviceFinder findDevices;
    SourceFactory openSource;
    std::unique_ptr<VideoSource> source;
    std::vector<std::uint8_t> frame;
    bool frameHeld = false;
};

// Opens GStreamer sources, asking the user for a camera mode with the format
// dialog when the request says so.
std::unique_ptr<VideoSource> openDefaultSource(const VideoDevice& device, const DeviceRequest& request);

} // namespace kwo
