#pragma once

#include "config/setting.h"

#include <OgreColourValue.h>
#include <OgreCommon.h>
#include <OgreLight.h>
#include <OgrePixelFormat.h>
#include <OgreQuaternion.h>
#include <OgreVector.h>

namespace kwo {

// Word readers: an absent value gives the reader's default; any other value is
// converted as a string and must be one of the reader's words (exact case),
// else the start-up stops with the reader's message, the key and the words
// allowed in its detail.
Ogre::TextureFilterOptions readTextureFilter(const Setting& value);
Ogre::ShadowTechnique readShadowTechnique(const Setting& value);
Ogre::Light::LightTypes readLightType(const Setting& value);
Ogre::PixelFormat readPixelFormat(const Setting& value);

// Component readers: an absent value gives the default; a present value must
// be an object whose one-letter members are numbers (a missing one is 0)
// within single precision's range ("<key>/x: 1e+300 is too large").
Ogre::Vector2 readVector2(const Setting& value);
Ogre::Vector3 readVector3(const Setting& value, const Ogre::Vector3& fallback);
// Taken as written, not normalised; absent gives the identity. Four zeros
// are no orientation and stop the start-up naming the key.
Ogre::Quaternion readQuaternion(const Setting& value);
// A missing alpha is 1, while a missing red, green or blue is 0. With the
// setting's notes, a component outside 0..1 is warned about, naming its key.
Ogre::ColourValue readColour(const Setting& value, const Ogre::ColourValue& fallback);

} // namespace kwo
