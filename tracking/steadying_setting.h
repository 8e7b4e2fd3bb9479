#pragma once

#include "config/setting.h"
#include "tracking/placement.h"

namespace kwo {

// How creatures follow their markers, as the tracking section says:
// - "smoothing": absent, null or false leaves every pose as estimated; true
//   steadies poses with the filter's defaults; an object steadies them with
//   its members "min_cutoff" (hertz, above 0), "beta" (hertz per mm/s, 0 or
//   more) and "derivative_cutoff" (hertz, above 0), each defaulting to the
//   filter's own, unless its "on" is false (the values stay for later);
//   other members are refused;
// - "hold": how long, in milliseconds (0 or more), a creature whose marker is
//   lost stays where it was; absent or 0: hidden at once.
// Anything else stops the start-up with a message naming the key.
Steadying readSteadying(const Setting& tracking);

} // namespace kwo
