#include "tracking/detection_threshold.h"

#include <algorithm>

namespace kwo {

DetectionThreshold::DetectionThreshold(std::optional<int> fixed, const double distFactor[4])
    : fixed(fixed), chooser(distFactor)
{
}

void DetectionThreshold::step(int delta)
{
    fixed = std::clamp(current() + delta, 0, 255);
}

std::string DetectionThreshold::describe() const
{
    std::string text = "tracking/threshold in use: ";
    if (fixed)
        return text + std::to_string(*fixed);
    text += "auto";
    switch (chooser.source()) {
    case AutoThreshold::Source::none:
        return text + " (no frame seen)";
    case AutoThreshold::Source::markers:
        return text + " (last frame " + std::to_string(chooser.last()) + ", from the markers)";
    case AutoThreshold::Source::frame:
        return text + " (last frame " + std::to_string(chooser.last()) + ", from the whole picture)";
    }
    return text;
}

} // namespace kwo
