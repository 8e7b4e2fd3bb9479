#pragma once

#include "config/setting.h"
#include "tracking/ar/ar.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kwo {

// Markers are looked for in a copy of the camera's picture shrunk by a whole
// factor, while the picture itself is shown at full size: a large camera
// mode costs the detector more with every pixel, yet a marker held at a
// station spans far more pixels than the detector needs (it names markers
// down to about 27 pixels a side). A factor of 1 tracks the picture itself.
struct TrackedSize {
    int factor = 1; // each side of the tracked copy is 1/factor of the picture's
    int width = 0;  // the tracked copy, pixels
    int height = 0;
};

// Pictures at least twice this wide are tracked at half their size by
// default: the tracker was made for 640x480 and gains little from more.
inline constexpr int fullTrackingWidth = 640;

// The largest factor tracking/downscale takes.
inline constexpr int maximumTrackingFactor = 8;

// tracking/downscale: "auto" (or absent: nothing), or a whole number from 1
// (the picture as it comes) to maximumTrackingFactor. Anything else throws
// kwo::Exception naming the key, the value and what it may be.
std::optional<int> readTrackingFactor(const Setting& tracking);

// The size markers are looked for at in pictures of `width` x `height`.
// `factor` is the one configured (1 or more); without one ("auto") it is 2
// for pictures at least 2 x fullTrackingWidth wide, else 1: 1280x720 is
// tracked at 640x360, 1920x1080 at 960x540, 640x480 and 1024x768 as they
// come. Halving costs less than it saves the detector (measured with
// bench_tracked_size: 1920x1080 1.5 ms against 1.8 ms whole); a third costs
// more than it saves, having no fast path in OpenCV's area resize. A
// factor that does not divide both sides takes the next smaller one that
// does (so every tracked pixel stands for the same square of the picture).
TrackedSize chooseTrackedSize(int width, int height, std::optional<int> factor = std::nullopt);

// The calibration of the tracked copy, from `full`, the calibration resized
// to the picture: scaled by 1 / size.factor, with the optical centre moved
// by the half pixel that averaging factor x factor blocks shifts it, so that
// a pose found in the copy puts the creature where a pose found in the
// picture would.
ARParam trackedCalibration(const ARParam& full, const TrackedSize& size);

// Shrinks a picture of blue, green, red, pad pixels (rows packed) into
// `copy`, each pixel the mean of a factor x factor block. `copy` is resized
// to the tracked size and reused from frame to frame. Factor 1 copies.
void shrinkPicture(const std::uint8_t* picture, int width, int height, const TrackedSize& size,
                   std::vector<std::uint8_t>& copy);

// Markers found in the tracked copy as they lie in the picture: corners,
// centre and edge lines in the picture's pixels, areas in its pixels.
std::vector<ARMarkerInfo> markersInPicture(const ARMarkerInfo* markers, int count, const TrackedSize& size);

} // namespace kwo
