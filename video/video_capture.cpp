#include "video/video_capture.h"

#include "video/device_request.h"
#include "video/format_dialog.h"
#include "video/video_devices.h"

#include <iostream>
#include <stdexcept>

namespace kwo {

std::unique_ptr<VideoSource> openDefaultSource(const VideoDevice& device, const DeviceRequest& request)
{
    return openGstSource(device, request, chooseCameraMode);
}

VideoCapture::VideoCapture() : VideoCapture(findVideoDevices, openDefaultSource) {}

VideoCapture::VideoCapture(DeviceFinder findDevices, SourceFactory openSource)
    : findDevices(std::move(findDevices)), openSource(std::move(openSource))
{
}

bool VideoCapture::open(const std::string& deviceText)
{
    close();
    try {
        const DeviceRequest request = parseDeviceRequest(deviceText);
        const std::vector<VideoDevice> devices = findDevices();
        const VideoDevice* device = nullptr;
        for (const VideoDevice& candidate : devices) {
            if (candidate.name == request.friendlyName) {
                device = &candidate;
                break;
            }
        }
        if (!device)
            throw std::runtime_error("no video device named \"" + request.friendlyName + "\"");
        std::unique_ptr<VideoSource> opened = openSource(*device, request);
        const FrameSize size = opened->size();
        if (size.width <= 0 || size.height <= 0)
            throw std::runtime_error(device->name + ": the device reports no frame size");
        frame.assign(static_cast<std::size_t>(size.width) * size.height * 4, 0);
        source = std::move(opened);
        return true;
    } catch (const std::exception& error) {
        std::cerr << "Video: " << error.what() << std::endl;
        return false;
    }
}

FrameSize VideoCapture::size() const
{
    return source ? source->size() : FrameSize{};
}

void VideoCapture::start()
{
    if (source)
        source->start();
}

void VideoCapture::stop()
{
    if (source)
        source->stop();
}

std::uint8_t* VideoCapture::newestFrame()
{
    // The held frame may be written to by the program right now; refilling
    // the buffer under it would tear it.
    if (!source || frameHeld)
        return nullptr;
    if (!source->takeNewestFrame(frame.data()))
        return nullptr;
    frameHeld = true;
    return frame.data();
}

void VideoCapture::release()
{
    frameHeld = false;
}

void VideoCapture::close()
{
    source.reset();
    frame.clear();
    frameHeld = false;
}

} // namespace kwo
