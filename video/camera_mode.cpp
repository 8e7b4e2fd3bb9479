#include "video/camera_mode.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace kwo {
namespace {

// Frame rates a camera offers are narrowed to this one when it offers several.
constexpr int preferredRate = 30;

// GStreamer refuses to fixate a field that is fixed already, so only open
// fields are narrowed toward the request.
void fixateNear(GstStructure* s, const char* field, std::optional<unsigned> wanted)
{
    if (!wanted || !gst_structure_has_field(s, field) || gst_value_is_fixed(gst_structure_get_value(s, field)))
        return;
    const int target = static_cast<int>(std::min<unsigned>(*wanted, std::numeric_limits<int>::max()));
    gst_structure_fixate_field_nearest_int(s, field, target);
}

// Fixates one structure of a device's caps into a mode; false when the
// result is not a picture of a known size.
bool fixateMode(const GstStructure* offered, std::optional<unsigned> width, std::optional<unsigned> height,
                CameraMode& mode)
{
    GstStructure* s = gst_structure_copy(offered);
    fixateNear(s, "width", width);
    fixateNear(s, "height", height);
    if (gst_structure_has_field(s, "framerate") && !gst_value_is_fixed(gst_structure_get_value(s, "framerate")))
        gst_structure_fixate_field_nearest_fraction(s, "framerate", preferredRate, 1);
    // Whatever is still open is fixated as GStreamer itself would.
    GstCaps* single = gst_caps_new_full(s, nullptr);
    single = gst_caps_fixate(single);
    const GstStructure* fixed = gst_caps_get_structure(single, 0);
    mode.media = gst_structure_get_name(fixed);
    if (const gchar* format = gst_structure_get_string(fixed, "format"))
        mode.format = format;
    const bool sized =
        gst_structure_get_int(fixed, "width", &mode.width) && gst_structure_get_int(fixed, "height", &mode.height);
    if (!gst_structure_get_fraction(fixed, "framerate", &mode.rateNumerator, &mode.rateDenominator)) {
        mode.rateNumerator = 0;
        mode.rateDenominator = 1;
    }
    gst_caps_unref(single);
    // A raw mode must name its pixel format to be pinned.
    const bool formatKnown = mode.media != "video/x-raw" || !mode.format.empty();
    return sized && formatKnown && mode.width > 0 && mode.height > 0 && mode.rateNumerator >= 0 &&
           mode.rateDenominator > 0;
}

// A format as caps text reads it back as that string: typed, since an untyped
// value that looks like a number or a word such as "true" is read as one, and
// quoted unless it holds only the characters GStreamer takes unquoted.
std::string stringValue(const std::string& text)
{
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) {
        return g_ascii_isalnum(c) || c == '_' || c == '-' || c == '+' || c == '/' || c == ':' || c == '.';
    });
    if (plain)
        return "(string)" + text;
    std::string quoted = "(string)\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

std::string CameraMode::capsText() const
{
    std::string text = media;
    if (!format.empty())
        text += ",format=" + stringValue(format);
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

std::vector<CameraMode> modesFromCaps(const GstCaps* caps, std::optional<unsigned> width,
                                      std::optional<unsigned> height)
{
    std::vector<CameraMode> modes;
    if (!caps || gst_caps_is_any(caps))
        return modes;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        CameraMode mode;
        if (fixateMode(gst_caps_get_structure(caps, i), width, height, mode) &&
            std::find(modes.begin(), modes.end(), mode) == modes.end())
            modes.push_back(mode);
    }
    return modes;
}

std::vector<CameraMode> modesFromCapsText(const std::string& caps, std::optional<unsigned> width,
                                          std::optional<unsigned> height)
{
    GstCaps* parsed = caps.empty() ? nullptr : gst_caps_from_string(caps.c_str());
    std::vector<CameraMode> modes = modesFromCaps(parsed, width, height);
    if (parsed)
        gst_caps_unref(parsed);
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
