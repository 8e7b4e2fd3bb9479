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

// One mode per structure of a device's caps, each fixated the way GStreamer
// fixates caps while it negotiates: a width or height given as a range or a
// list becomes the value nearest the requested one, a frame rate the one
// nearest 30 fps (a camera is not asked for more), and anything else still
// open (a list of formats, a size without a request) GStreamer's own choice,
// the first of a list or the low end of a range. Modes that come out equal
// are listed once; structures that describe no picture are left out.
std::vector<CameraMode> modesFromCaps(const GstCaps* caps, std::optional<unsigned> width = std::nullopt,
                                      std::optional<unsigned> height = std::nullopt);
// The same for caps written as text ("video/x-raw, width=[ 1, 640 ], ...");
// text that is not caps gives no modes.
std::vector<CameraMode> modesFromCapsText(const std::string& caps, std::optional<unsigned> width = std::nullopt,
                                          std::optional<unsigned> height = std::nullopt);

// The index of the mode closest to the requested size: the smallest sum of
// the width and height differences, the first listed on a tie (the camera's
// own order of preference). Without a requested width or height the first
// mode is taken. Empty list: nothing.
std::optional<std::size_t> closestMode(const std::vector<CameraMode>& modes, std::optional<unsigned> width,
                                       std::optional<unsigned> height);

} // namespace kwo
