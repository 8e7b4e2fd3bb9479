#include "scene/frame_picture.h"

#include <OgreException.h>

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <vector>

namespace kwo {

void blankTopRow(std::uint8_t* frame, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    std::memset(frame, 0, static_cast<std::size_t>(width) * 4);
}

bool storeLikeFrames(Ogre::Texture& texture)
{
    GLuint id = 0;
    try {
        texture.getCustomAttribute("GLID", &id);
    } catch (const Ogre::Exception&) {
        return false;
    }
    if (id == 0 || texture.getTextureType() != Ogre::TEX_TYPE_2D)
        return false;
    // The engine keeps a cache of its texture bindings: the unit's binding
    // goes back to what it was, so the cache stays true.
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, id);
    GLint internalFormat = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internalFormat);
    const GLsizei width = static_cast<GLsizei>(texture.getWidth());
    const GLsizei height = static_cast<GLsizei>(texture.getHeight());
    const bool made = internalFormat != 0 && width > 0 && height > 0;
    if (made) {
        GLint unpackAlignment = 4, rowLength = 0;
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpackAlignment);
        glGetIntegerv(GL_UNPACK_ROW_LENGTH, &rowLength);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        // The frames' own format and type, as the engine uploads them.
        const std::vector<std::uint8_t> black(static_cast<std::size_t>(width) * height * 4, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, width, height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                     black.data());
        glPixelStorei(GL_UNPACK_ALIGNMENT, unpackAlignment);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, rowLength);
    }
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
    return made;
}

void uploadFrame(Ogre::HardwarePixelBuffer& buffer, const std::uint8_t* frame, int width, int height)
{
    const Ogre::PixelBox source(Ogre::Box(0, 0, 0, static_cast<Ogre::uint32>(width),
                                          static_cast<Ogre::uint32>(height), 1),
                                Ogre::PF_X8R8G8B8, const_cast<std::uint8_t*>(frame));
    buffer.blitFromMemory(source, Ogre::Box(0, 0, 0, buffer.getWidth(), buffer.getHeight(), buffer.getDepth()));
}

} // namespace kwo
