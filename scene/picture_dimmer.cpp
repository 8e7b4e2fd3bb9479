#include "scene/picture_dimmer.h"

#include <OgreTextureUnitState.h>

namespace kwo {

PictureDimmer::PictureDimmer(Ogre::TextureUnitState& unit) : unit(unit), original(unit.getColourBlendMode()) {}

void PictureDimmer::setDimmed(bool dimmed)
{
    if (dimmed == on)
        return;
    on = dimmed;
    if (dimmed) {
        const Ogre::ColourValue grey(brightness, brightness, brightness);
        unit.setColourOperationEx(Ogre::LBX_MODULATE, Ogre::LBS_TEXTURE, Ogre::LBS_MANUAL, Ogre::ColourValue::White,
                                  grey);
    } else {
        unit.setColourOperationEx(original.operation, original.source1, original.source2, original.colourArg1,
                                  original.colourArg2, original.factor);
    }
}

} // namespace kwo
