#pragma once

#include "config/setting.h"

#include <optional>
#include <string>

namespace kwo {

// The detection threshold as the configuration gives it.
struct ThresholdSetting {
    enum class Mode {
        fixed,     // a number: a pixel is dark when blue + green + red <= 3 x level
        automatic, // "auto": a level chosen for every frame from the picture
        adaptive,  // "adaptive" or "adaptive N": a pixel is dark when darker than its
                   // surroundings by N per cent of the picture's white
    };
    Mode mode = Mode::fixed;
    int level = 100;           // fixed: 0 or more
    std::optional<int> offset; // adaptive: N (1..60); none: the tracker's default

    bool operator==(const ThresholdSetting&) const = default;
};

// Smallest and largest offset of "adaptive N", per cent of the picture's
// white: below 1 a camera's noise on plain paper turns dark, above 60 a
// black border on grey paper stays light.
constexpr int minimumAdaptiveOffset = 1;
constexpr int maximumAdaptiveOffset = 60;

// Reads the threshold under `key`: a number (0 or more), "auto", "adaptive"
// or "adaptive N". Missing gives the number `fallback`. Any other value
// stops the start-up with a message naming the key.
ThresholdSetting readThreshold(const Setting& section, const std::string& key, int fallback);

} // namespace kwo
