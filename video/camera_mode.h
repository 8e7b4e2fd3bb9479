#pragma once

#include <optional>
#include <string>
#include <vector>

typedef struct _GstCaps GstCaps;

namespace kwo {

// One picture mode a camera offers: encoding, size and frame rate.
struct CameraMode {
    std::string media;  // "video/x-raw", "image/jpeg", ...
    std::string format; // raw pixel format ("YUY2"), empty for encoded media
    int width = 0;
    int height = 0;
    int rateNumerator = 0; // frames per second as a fraction; 0/1 when unknown
    int rateDenominator = 1;

    // GStreamer caps text that pins a source to this mode.
    std::string capsText() const;
    // "640 x 480, 30 fps", as listed in the format dialog.
    std::string label() const;
    bool operator==(const CameraMode&) const = default;
};

// The fixed modes in a device's caps. Ranges and lists of frame rates are
// narrowed to the rate nearest 30 fps, since a camera is not asked for more;
// size ranges are skipped (real cameras list their sizes).
std::vector<CameraMode> modesFromCaps(const GstCaps* caps);

// The index of the mode closest to the requested size: the smallest sum of
// the width and height differences, the first listed on a tie (the camera's
// own order of preference). Without a requested width or height the first
// mode is taken. Empty list: nothing.
std::optional<std::size_t> closestMode(const std::vector<CameraMode>& modes, std::optional<unsigned> width,
                                       std::optional<unsigned> height);

} // namespace kwo
