#include "scene/frame_picture.h"

#include <cstring>

namespace kwo {

void blankTopRow(std::uint8_t* frame, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    std::memset(frame, 0, static_cast<std::size_t>(width) * 4);
}

void uploadFrame(Ogre::HardwarePixelBuffer& buffer, const std::uint8_t* frame, int width, int height)
{
    const Ogre::PixelBox source(Ogre::Box(0, 0, 0, static_cast<Ogre::uint32>(width),
                                          static_cast<Ogre::uint32>(height), 1),
                                Ogre::PF_X8R8G8B8, const_cast<std::uint8_t*>(frame));
    buffer.blitFromMemory(source, Ogre::Box(0, 0, 0, buffer.getWidth(), buffer.getHeight(), buffer.getDepth()));
}

} // namespace kwo
