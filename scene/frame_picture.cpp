#include "scene/frame_picture.h"

#include <cstring>

namespace kwo {

void blankLastRow(std::uint8_t* frame, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    std::memset(frame + (height - 1) * rowBytes, 0, rowBytes);
}

void flipRows(std::uint8_t* frame, int width, int height, std::vector<std::uint8_t>& scratch)
{
    if (width <= 0 || height <= 1)
        return;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    if (scratch.size() < rowBytes)
        scratch.resize(rowBytes);
    // Swapping the rows pairwise moves each byte one and a half times, where
    // copying the frame out and back would move it twice; the middle row of
    // an odd height stays.
    std::uint8_t* top = frame;
    std::uint8_t* bottom = frame + (height - 1) * rowBytes;
    for (; top < bottom; top += rowBytes, bottom -= rowBytes) {
        std::memcpy(scratch.data(), top, rowBytes);
        std::memcpy(top, bottom, rowBytes);
        std::memcpy(bottom, scratch.data(), rowBytes);
    }
}

void uploadFrame(Ogre::HardwarePixelBuffer& buffer, const std::uint8_t* frame, int width, int height)
{
    const Ogre::PixelBox source(Ogre::Box(0, 0, 0, static_cast<Ogre::uint32>(width),
                                          static_cast<Ogre::uint32>(height), 1),
                                Ogre::PF_X8R8G8B8, const_cast<std::uint8_t*>(frame));
    buffer.blitFromMemory(source, Ogre::Box(0, 0, 0, buffer.getWidth(), buffer.getHeight(), buffer.getDepth()));
}

} // namespace kwo
