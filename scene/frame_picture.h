#pragma once

#include <OgreHardwarePixelBuffer.h>
#include <OgreTexture.h>

#include <cstdint>

namespace kwo {

// The per-frame work on a video frame: `height` rows of `width` pixels of four
// bytes (blue, green, red, pad), rows packed without gaps, the picture's top
// row first, lent by the video library and changed in place.

// Zero bytes over the picture's top row.
void blankTopRow(std::uint8_t* frame, int width, int height);

// Gives a one-level 2D texture of the OpenGL render system storage laid out
// as the frames are (blue, green, red, pad), black, keeping its internal
// format (what "rgb32" or "rgb24" asked of the engine). The engine
// lets the driver pick the layout for a texture's internal format alone, and
// a software renderer picks red first: then every frame's upload reorders
// each pixel's bytes (at 1920x1080, 1.65 ms against 0.23 ms for a straight
// copy). A driver told the frames' layout when the storage is made stores it
// as it comes. False, leaving the texture as it was, when the texture is not
// the render system's or has no storage yet.
bool storeLikeFrames(Ogre::Texture& texture);

// Copies the frame (as PF_X8R8G8B8) over the whole of `buffer`; the engine
// scales and converts when the buffer's size or format differs.
void uploadFrame(Ogre::HardwarePixelBuffer& buffer, const std::uint8_t* frame, int width, int height);

} // namespace kwo
