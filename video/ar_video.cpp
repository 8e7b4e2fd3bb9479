#include "video/ar_video.h"

#include "video/video_capture.h"

namespace {

// The one device behind the C-style calls; built on first use so that a
// program that never opens video never touches GStreamer.
kwo::VideoCapture& device()
{
    static kwo::VideoCapture capture;
    return capture;
}

} // namespace

int arVideoOpen(const char* config)
{
    if (!config)
        return -1;
    return device().open(config) ? 0 : -1;
}

int arVideoInqSize(int* width, int* height)
{
    if (!device().isOpen() || !width || !height)
        return -1;
    const kwo::FrameSize size = device().size();
    *width = size.width;
    *height = size.height;
    return 0;
}

int arVideoCapStart()
{
    if (!device().isOpen())
        return -1;
    device().start();
    return 0;
}

unsigned char* arVideoGetImage()
{
    return device().newestFrame();
}

int arVideoCapNext()
{
    device().release();
    return 0;
}

int arVideoCapStop()
{
    if (!device().isOpen())
        return -1;
    device().stop();
    return 0;
}

int arVideoClose()
{
    device().close();
    return 0;
}

bool kwo::videoLost()
{
    return device().isLost();
}

void kwo::setVideoMessageSink(std::function<void(const std::string&)> sink)
{
    device().setMessageSink(std::move(sink));
}
