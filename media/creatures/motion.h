#pragma once

// Small helpers for looping motions: every function of the phase here gives
// the same value at phase 0 and 1, so clips built from them loop seamlessly.

#include "model.h"

#include <OGRE/OgreMath.h>

#include <cmath>

namespace kwo::media {

// A sine wave with a whole number of cycles per clip; `offset` in cycles.
inline float wave(float phase, int cycles, float offset = 0.0f)
{
    return std::sin(Ogre::Math::TWO_PI * (static_cast<float>(cycles) * phase + offset));
}

// 0 at the start of each cycle, 1 half-way: a bounce without a kink.
inline float pulse(float phase, int cycles, float offset = 0.0f)
{
    return 0.5f * (1.0f - std::cos(Ogre::Math::TWO_PI * (static_cast<float>(cycles) * phase + offset)));
}

inline Ogre::Quaternion turn(const Ogre::Vector3& axis, float degrees)
{
    return Ogre::Quaternion(Ogre::Degree(degrees), axis.normalisedCopy());
}

// Bottom of the mesh at y = 0: shifts vertices and bone joints together.
void standOnGround(Model& model);

} // namespace kwo::media
