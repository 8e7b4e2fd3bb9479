#pragma once

#include "tools/synthetic/synthetic_frames.h"

#include <string>
#include <vector>

namespace kwo::test {

// A short lossless clip that shows `frame` still: a table of printed markers
// as a clip camera sees it.
void writeStillClip(const std::string& path, const kwo::synthetic::SyntheticFrame& frame);

// The four demo markers lying on a table 600 mm from the camera, one in each
// quarter of the picture, tilted back by 35 degrees.
std::vector<kwo::synthetic::PrintedMarker> fourMarkersOnATable();

} // namespace kwo::test
