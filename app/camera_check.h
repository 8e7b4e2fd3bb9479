#pragma once

#include "app/check_report.h"

#include <json/value.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace kwo {

// One picture of the station's camera.
struct CameraPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // blue, green, red, pad; rows packed
};

// Chooses the camera as a start-up does (without asking: with several, the
// one "user.config" remembers, else the first), opens it in the mode a
// start-up opens it in (the format dialog's preselection when
// video/dialog asks for it), takes one picture within `firstFrame` and
// closes it again, saying each step on `report`. The frame size, and the
// picture when one came; nothing when the camera could not be opened.
std::optional<CameraPicture> checkCamera(const Json::Value& config, const Json::Value& userConfig,
                                         std::chrono::milliseconds firstFrame, CheckReport& report);

// The darkest and the lightest grey level of a picture (the mean of blue,
// green and red, 0..255, as the threshold compares).
struct GreyRange {
    int darkest = 255;
    int lightest = 0;
};
GreyRange greyRange(const CameraPicture& picture);

} // namespace kwo
