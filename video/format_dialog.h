#pragma once

#include "video/camera_mode.h"

#include <cstddef>
#include <vector>

namespace kwo {

// The camera's format dialog: a modal list of its modes (size and rate) with
// `preselected` selected; returns the index chosen with OK. Cancel, Escape, an
// empty list or no display keep `preselected`.
std::size_t chooseCameraMode(const std::vector<CameraMode>& modes, std::size_t preselected);

} // namespace kwo
