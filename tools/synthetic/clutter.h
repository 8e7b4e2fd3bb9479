#pragma once

// Cluttered backgrounds for detector tests and benchmarks: the things a
// museum table shows besides markers. Printed text, thin dark strokes,
// dark blobs, and decoy squares (a black border around a random 4x4 grid,
// some nearly blank) seen in perspective. The decoys' corners come with the
// picture, so a detection can be told apart as on a square or on clutter.

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <vector>

namespace kwo::synthetic {

struct Clutter {
    cv::Mat picture;                                   // BGR, 8 bits
    std::vector<std::array<cv::Point2d, 4>> decoys;    // outer corners of each decoy square, pixels
};

// The same seed gives the same picture.
Clutter clutteredBackground(int width, int height, std::uint32_t seed);

// True when the quadrilateral `corners` (pixels) lies on one of the decoys:
// every corner inside it or within `tolerance` of it (a decoy partly covered
// by something nearer is still a square region).
bool isOnDecoy(const Clutter& clutter, const double corners[4][2], double tolerance);

} // namespace kwo::synthetic
