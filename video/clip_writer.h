#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kwo {

// How the pictures of a clip are stored.
enum class ClipEncoding {
    Raw,   // uncompressed: every pixel comes back exactly (for tests)
    Mjpeg, // motion JPEG: small files, like many real cameras deliver
};

struct ClipFormat {
    int width = 640;
    int height = 480;
    int framesPerSecond = 30;
    int frameCount = 30;
    ClipEncoding encoding = ClipEncoding::Mjpeg;
};

// Draws frame `index` into `bgrx`: width * height pixels of blue, green,
// red, pad, rows packed, top row first.
using FramePainter = std::function<void(int index, std::uint8_t* bgrx)>;

// Red top left, green top right, blue bottom left, white bottom right: a
// picture that shows byte order and flips at a glance.
FramePainter quarterPainter(int width, int height);

// Writes a Matroska clip of `format.frameCount` frames painted by `paint`.
// Throws std::runtime_error naming the file when it cannot be written.
void writeClip(const std::string& path, const ClipFormat& format, const FramePainter& paint);

} // namespace kwo
