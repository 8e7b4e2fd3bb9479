#include "video/camera_mode.h"

#include <gst/gst.h>

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace kwo {
namespace {

// Frame rates a camera offers are narrowed to this one when it offers several.
constexpr int preferredRate = 30;

bool readRate(GstStructure* s, int& numerator, int& denominator)
{
    if (!gst_structure_has_field(s, "framerate")) {
        numerator = 0;
        denominator = 1;
        return true;
    }
    // Fixating refuses a field that is fixed already.
    if (gst_structure_get_fraction(s, "framerate", &numerator, &denominator))
        return true;
    if (!gst_structure_fixate_field_nearest_fraction(s, "framerate", preferredRate, 1))
        return false;
    return gst_structure_get_fraction(s, "framerate", &numerator, &denominator);
}

} // namespace

std::string CameraMode::capsText() const
{
    std::string text = media;
    if (!format.empty())
        text += ",format=" + format;
    text += ",width=" + std::to_string(width) + ",height=" + std::to_string(height);
    if (rateNumerator > 0)
        text += ",framerate=" + std::to_string(rateNumerator) + "/" + std::to_string(rateDenominator);
    return text;
}

std::string CameraMode::label() const
{
    std::string text = std::to_string(width) + " x " + std::to_string(height);
    if (rateNumerator > 0) {
        const double fps = static_cast<double>(rateNumerator) / rateDenominator;
        char rate[32];
        std::snprintf(rate, sizeof rate, "%g", fps);
        text += std::string(", ") + rate + " fps";
    }
    if (media != "video/x-raw")
        text += " (" + media + ")";
    return text;
}

std::vector<CameraMode> modesFromCaps(const GstCaps* caps)
{
    std::vector<CameraMode> modes;
    if (!caps)
        return modes;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        // Fixating edits the structure, so work on a copy.
        GstStructure* s = gst_structure_copy(gst_caps_get_structure(caps, i));
        CameraMode mode;
        mode.media = gst_structure_get_name(s);
        if (const gchar* format = gst_structure_get_string(s, "format"))
            mode.format = format;
        const bool sized = gst_structure_get_int(s, "width", &mode.width) &&
                           gst_structure_get_int(s, "height", &mode.height);
        const bool rated = readRate(s, mode.rateNumerator, mode.rateDenominator);
        // A raw mode with a list of formats has no single format to pin: skip.
        const bool formatKnown = mode.media != "video/x-raw" || !mode.format.empty();
        if (sized && rated && formatKnown && mode.width > 0 && mode.height > 0)
            modes.push_back(mode);
        gst_structure_free(s);
    }
    return modes;
}

std::optional<std::size_t> closestMode(const std::vector<CameraMode>& modes, std::optional<unsigned> width,
                                       std::optional<unsigned> height)
{
    if (modes.empty())
        return std::nullopt;
    if (!width || !height)
        return 0;
    std::size_t best = 0;
    long long bestDistance = std::numeric_limits<long long>::max();
    for (std::size_t i = 0; i < modes.size(); ++i) {
        const long long distance = std::llabs(static_cast<long long>(modes[i].width) - *width) +
                                   std::llabs(static_cast<long long>(modes[i].height) - *height);
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace kwo
