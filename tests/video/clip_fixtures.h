#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace kwo {
class VideoCapture;
}

namespace kwo::test {

// Lossless clips with content a test can recognise in every delivered frame.

// Frame i is one flat colour that encodes i (see frameIndex).
void writeCountingClip(const std::string& path, int frames, int framesPerSecond, int width = 64, int height = 48);
// The frame number a counting clip's frame shows; -1 for anything else.
int frameIndex(const std::uint8_t* bgrx, int width, int height);

// Quarters: red top left, green top right, blue bottom left, white bottom right.
void writeQuarterClip(const std::string& path, int width = 64, int height = 48, int frames = 5);

// Polls like the frame cycle does, but often, until a frame comes; null when
// none came within `limit`.
std::uint8_t* waitForFrame(kwo::VideoCapture& capture, std::chrono::milliseconds limit = std::chrono::seconds(5));

} // namespace kwo::test
