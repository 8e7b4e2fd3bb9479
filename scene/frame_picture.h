#pragma once

#include <OgreHardwarePixelBuffer.h>

#include <cstdint>

namespace kwo {

// The per-frame work on a video frame: `height` rows of `width` pixels of four
// bytes (blue, green, red, pad), rows packed without gaps, the picture's top
// row first, lent by the video library and changed in place.

// Zero bytes over the picture's top row.
void blankTopRow(std::uint8_t* frame, int width, int height);

// Copies the frame (as PF_X8R8G8B8) over the whole of `buffer`; the engine
// scales and converts when the buffer's size or format differs.
void uploadFrame(Ogre::HardwarePixelBuffer& buffer, const std::uint8_t* frame, int width, int height);

} // namespace kwo
