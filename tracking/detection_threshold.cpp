#include "tracking/detection_threshold.h"

#include <algorithm>

namespace kwo {

DetectionThreshold::DetectionThreshold(std::optional<int> fixedThreshold, const double distFactor[4])
    : mode_(fixedThreshold ? Mode::fixed : Mode::automatic), fixed(fixedThreshold.value_or(0)), chooser(distFactor)
{
}

DetectionThreshold::DetectionThreshold(const ar::LocalThreshold& localThreshold)
    : mode_(Mode::adaptive), local(localThreshold)
{
}

void DetectionThreshold::step(int delta)
{
    if (mode_ == Mode::adaptive) {
        local.offset = std::clamp(local.offset + delta, minimumOffset, maximumOffset);
        return;
    }
    fixed = std::clamp(current() + delta, 0, 255);
    mode_ = Mode::fixed;
}

int DetectionThreshold::current() const
{
    switch (mode_) {
    case Mode::fixed:
        return fixed;
    case Mode::automatic:
        return chooser.last();
    case Mode::adaptive:
        break;
    }
    return local.offset;
}

std::string DetectionThreshold::setting() const
{
    switch (mode_) {
    case Mode::fixed:
        return std::to_string(fixed);
    case Mode::automatic:
        return "auto";
    case Mode::adaptive:
        break;
    }
    return thresholdText(ar::Threshold::adaptive(local));
}

std::string DetectionThreshold::describe() const
{
    std::string text = "tracking/threshold in use: " + setting();
    if (mode_ != Mode::automatic)
        return text;
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

std::string thresholdText(const ar::Threshold& threshold)
{
    if (threshold.mode == ar::Threshold::Mode::adaptive)
        return "adaptive " + std::to_string(threshold.local.offset);
    return std::to_string(threshold.level);
}

} // namespace kwo
