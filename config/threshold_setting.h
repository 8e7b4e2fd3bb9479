#pragma once

#include "config/setting.h"

#include <optional>
#include <string>

namespace kwo {

// The detection threshold as a section holds it under `key`: a number (0 or
// more; a pixel is dark when blue + green + red <= 3 x threshold) or the word
// "auto" (chosen for every frame from the picture), which gives no value.
// Missing gives `fallback`. Any other value stops the start-up with a
// message naming the key.
std::optional<int> readThreshold(const Setting& section, const std::string& key, int fallback);

} // namespace kwo
