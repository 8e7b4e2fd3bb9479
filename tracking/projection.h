#pragma once

#include "tracking/ar/ar.h"

#include <OgreMatrix4.h>

namespace kwo {

// The engine projection that draws the scene over the video picture: the
// calibrated camera (resized to the video frame) as a clip-space matrix for an
// engine camera at the origin looking down -Z, to be used together with the
// tracking root turned 180 degrees about X, so that a marker node carrying the
// tracker's raw transform lands on the marker in the picture.
// Throws "arParamDecompMat error" when the calibration cannot be decomposed.
Ogre::Matrix4 computeProjection(const ARParam& calibration, float nearDistance, float farDistance);

} // namespace kwo
