#include "tests/viewer/still_clip.h"

#include "video/clip_writer.h"

#include <cstring>

namespace kwo::test {

void writeStillClip(const std::string& path, const kwo::synthetic::SyntheticFrame& frame)
{
    kwo::ClipFormat format;
    format.width = frame.width;
    format.height = frame.height;
    format.frameCount = 5;
    format.framesPerSecond = 10;
    format.encoding = kwo::ClipEncoding::Raw;
    kwo::writeClip(path, format, [&](int, std::uint8_t* bgrx) { std::memcpy(bgrx, frame.data(), frame.pixels.size()); });
}

} // namespace kwo::test
