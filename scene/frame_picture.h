#pragma once

#include <OgreHardwarePixelBuffer.h>

#include <cstdint>
#include <vector>

namespace kwo {

// The per-frame work on a video frame: `height` rows of `width` pixels of four
// bytes (blue, green, red, pad), rows packed without gaps, owned by the video
// library and changed in place.

// Zero bytes over the last row: after the flip it is the picture's top row.
void blankLastRow(std::uint8_t* frame, int width, int height);

// Turns the frame upside down in place. `scratch` holds one row; it is grown
// on first use and reused afterwards, so a running flip allocates nothing.
void flipRows(std::uint8_t* frame, int width, int height, std::vector<std::uint8_t>& scratch);

// Copies the frame (as PF_X8R8G8B8) over the whole of `buffer`; the engine
// scales and converts when the buffer's size or format differs.
void uploadFrame(Ogre::HardwarePixelBuffer& buffer, const std::uint8_t* frame, int width, int height);

} // namespace kwo
