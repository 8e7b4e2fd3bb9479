#include "clip_fixtures.h"

#include "video/clip_writer.h"
#include "video/video_capture.h"

#include <cstring>
#include <thread>

namespace kwo::test {
namespace {

void put(std::uint8_t* p, int r, int g, int b)
{
    p[0] = static_cast<std::uint8_t>(b);
    p[1] = static_cast<std::uint8_t>(g);
    p[2] = static_cast<std::uint8_t>(r);
    p[3] = 0;
}

} // namespace

void writeCountingClip(const std::string& path, int frames, int framesPerSecond, int width, int height)
{
    const ClipFormat format{width, height, framesPerSecond, frames, ClipEncoding::Raw};
    writeClip(path, format, [&](int index, std::uint8_t* frame) {
        for (int i = 0; i < width * height; ++i)
            put(frame + i * 4, 0x55, 255 - index, index);
    });
}

int frameIndex(const std::uint8_t* bgrx, int width, int height)
{
    const std::uint8_t* p = bgrx + (static_cast<std::size_t>(height / 2) * width + width / 2) * 4;
    if (p[2] != 0x55 || p[0] + p[1] != 255)
        return -1;
    return p[0];
}

void writeQuarterClip(const std::string& path, int width, int height, int frames)
{
    const ClipFormat format{width, height, 30, frames, ClipEncoding::Raw};
    writeClip(path, format, quarterPainter(width, height));
}

std::uint8_t* waitForFrame(kwo::VideoCapture& capture, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (std::uint8_t* frame = capture.newestFrame())
            return frame;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return nullptr;
}

} // namespace kwo::test
