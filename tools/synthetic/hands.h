#pragma once

// What visitors' hands and a room's light add to a rendered frame: a hard
// shadow across the picture, a finger or thumb over a card, and the
// camera's own faults (blur, sensor noise, JPEG) on top of all of it.

#include "tools/synthetic/synthetic_frames.h"

#include <cstdint>

namespace kwo::synthetic {

// Darkens the picture beyond the line through (x, y) (pixels) across
// direction `angle` (radians; the side the direction points to, beyond
// `offset` pixels) to `light` of its brightness, over a penumbra of about a
// pixel and a half.
void castShadow(SyntheticFrame& frame, double x, double y, double angle, double offset, double light);

// A finger or thumb lying on a card: a skin-coloured stroke with round ends
// from (x0, y0) to (x1, y1) in the card's own millimetres (its centre at 0,
// x right, y up as printed), `thickness` mm wide, drawn where the card at
// `pose` shows it.
void layFinger(SyntheticFrame& frame, const ARParam& camera, const double pose[3][4], double x0, double y0, double x1,
               double y1, double thickness);

// A thumb holding a card of side `width` (mm) by its lower edge as
// printed: it comes from beyond the card, `along` mm right of the middle,
// and its tip reaches `depth` (0..1) of the way across the black border
// (a quarter of the side), `thickness` mm wide.
void holdByThumb(SyntheticFrame& frame, const ARParam& camera, const double pose[3][4], double width, double depth,
                 double along, double thickness);

// The camera's faults after the scene: Gaussian blur (standard deviation,
// pixels), sensor noise (grey levels) and JPEG at `jpegQuality` (0: none).
void addCameraFaults(SyntheticFrame& frame, double blur, double noise, int jpegQuality, std::uint32_t seed);

// The centre of a marker's observed corners.
void markerCentre(const MarkerTruth& truth, double& x, double& y);

} // namespace kwo::synthetic
