#pragma once

#include <OgreBlendMode.h>

namespace Ogre {
class TextureUnitState;
}

namespace kwo {

// How the scene viewport looks while the camera is lost: the last picture
// stays, darkened, so that the show plainly waits for its camera rather than
// seeming frozen. The texture is left alone; the texture unit that draws it
// multiplies it by a dark grey, and gets its own colour operation back when
// the camera returns.
class PictureDimmer {
public:
    // `unit` draws the video texture; it must outlive the dimmer.
    explicit PictureDimmer(Ogre::TextureUnitState& unit);

    void setDimmed(bool dimmed);
    bool dimmed() const { return on; }

    // The share of its brightness the picture keeps while dimmed.
    static constexpr float brightness = 0.3f;

private:
    Ogre::TextureUnitState& unit;
    Ogre::LayerBlendModeEx original;
    bool on = false;
};

} // namespace kwo
