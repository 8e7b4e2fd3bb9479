#include "video/video_capture.h"

#include "video/device_request.h"
#include "video/format_dialog.h"
#include "video/video_devices.h"

#include <iostream>
#include <stdexcept>

namespace kwo {
namespace {

void writeToStandardError(const std::string& line)
{
    std::cerr << line << std::endl;
}

std::string seconds(std::chrono::milliseconds time)
{
    const long ms = static_cast<long>(time.count());
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        while (fraction.back() == '0')
            fraction.pop_back();
        text += "." + fraction;
    }
    return text + " s";
}

const VideoDevice* findByName(const std::vector<VideoDevice>& devices, const std::string& name)
{
    for (const VideoDevice& candidate : devices)
        if (candidate.name == name)
            return &candidate;
    return nullptr;
}

} // namespace

std::unique_ptr<VideoSource> openDefaultSource(const VideoDevice& device, const DeviceRequest& request,
                                               const SourceOptions& options)
{
    return openGstSource(device, request, options, chooseCameraMode);
}

VideoCapture::VideoCapture() : VideoCapture(findVideoDevices, openDefaultSource) {}

VideoCapture::VideoCapture(DeviceFinder findDevices, SourceFactory openSource, CaptureTimes times)
    : findDevices(std::move(findDevices)), openSource(std::move(openSource)), times(times),
      messages(writeToStandardError)
{
}

bool VideoCapture::open(const std::string& deviceText)
{
    close();
    try {
        const DeviceRequest parsed = parseDeviceRequest(deviceText);
        const std::vector<VideoDevice> devices = findDevices();
        const VideoDevice* device = findByName(devices, parsed.friendlyName);
        if (!device)
            throw std::runtime_error("no video device named \"" + parsed.friendlyName + "\"");
        std::unique_ptr<VideoSource> playing = openSource(*device, parsed, SourceOptions{});
        const FrameSize size = playing->size();
        if (size.width <= 0 || size.height <= 0)
            throw std::runtime_error(device->name + ": the device reports no frame size");
        frameSize = size;
        request = parsed;
        source = std::move(playing);
        opened = true;
        return true;
    } catch (const std::exception& error) {
        std::cerr << "Video: " << error.what() << std::endl;
        return false;
    }
}

FrameSize VideoCapture::size() const
{
    return opened ? frameSize : FrameSize{};
}

void VideoCapture::start()
{
    if (!opened)
        return;
    capturing = true;
    if (source)
        source->start();
    framesSeen = source ? source->framesArrived() : 0;
    lastNewFrame = lastWatch = Clock::now();
}

void VideoCapture::stop()
{
    if (!opened)
        return;
    capturing = false;
    if (source)
        source->stop();
    attempt.reset();
}

std::uint8_t* VideoCapture::newestFrame()
{
    if (!opened)
        return nullptr;
    if (capturing)
        watch(Clock::now());
    // One frame out at a time: the program may still be writing into it.
    if (!source || frameHeld)
        return nullptr;
    std::uint8_t* frame = source->takeNewestFrame();
    frameHeld = frame != nullptr;
    return frame;
}

void VideoCapture::release()
{
    if (!frameHeld)
        return;
    frameHeld = false;
    if (lender)
        lender.reset();
    else if (source)
        source->releaseFrame();
}

// Frames are counted where they arrive, not where they are taken, so a
// viewer that does not ask for a while (minimised) does not lose its camera.
// Silence counts only while the viewer watches: a clip starts over only when
// asked for frames, so after a long pause (minimised, a slow frame) its
// frames may have stopped for want of asking, not of a camera.
void VideoCapture::watch(Clock::time_point now)
{
    const bool watchedThroughout = now - lastWatch <= times.silence / 2;
    lastWatch = now;
    if (lost) {
        lookForCamera(now);
        return;
    }
    const std::string failure = source->failure();
    if (!failure.empty()) {
        lose(failure, now);
        return;
    }
    const std::uint64_t arrived = source->framesArrived();
    const bool firstFrameDue = framesSeen == 0;
    const std::chrono::milliseconds patience = firstFrameDue ? times.firstFrame : times.silence;
    if (arrived != framesSeen || !watchedThroughout) {
        framesSeen = arrived;
        lastNewFrame = now;
    } else if (now - lastNewFrame >= patience) {
        lose((firstFrameDue ? "no first picture within " : "no picture for ") + seconds(patience), now);
    }
}

void VideoCapture::lose(const std::string& reason, Clock::time_point now)
{
    lost = true;
    // The program may still be reading the lost camera's last frame.
    if (frameHeld)
        lender = std::move(source);
    source.reset();
    nextAttempt = now + times.retry;
    messages("Video: camera \"" + request.friendlyName + "\" lost (" + reason + "); looking for it every " +
             seconds(times.retry));
}

// Attempts are made and given up quietly: one line said the camera is lost,
// one more will say it is back.
void VideoCapture::lookForCamera(Clock::time_point now)
{
    if (attempt && attempt->failure().empty() && attempt->framesArrived() > 0) {
        source = std::move(attempt);
        lost = false;
        framesSeen = source->framesArrived();
        lastNewFrame = now;
        messages("Video: camera \"" + request.friendlyName + "\" is back");
        return;
    }
    // A reopened camera still starting is left to start.
    if (attempt && attempt->failure().empty() && now - attemptOpened < times.firstFrame)
        return;
    if (now < nextAttempt)
        return;
    nextAttempt = now + times.retry;
    attempt.reset();
    attemptOpened = now;
    try {
        const std::vector<VideoDevice> devices = findDevices();
        if (const VideoDevice* device = findByName(devices, request.friendlyName)) {
            SourceOptions options;
            options.frameSize = frameSize;
            options.inBackground = true;
            attempt = openSource(*device, request, options);
        }
    } catch (const std::exception&) {
        attempt.reset();
    }
}

void VideoCapture::close()
{
    release();
    attempt.reset();
    source.reset();
    opened = false;
    capturing = false;
    lost = false;
    frameSize = {};
}

} // namespace kwo
