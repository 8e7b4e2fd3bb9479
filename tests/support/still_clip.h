#pragma once

#include "tests/support/screen.h"
#include "tools/synthetic/synthetic_frames.h"

#include <string>
#include <vector>

namespace kwo::test {

// A short lossless clip that shows `frame` still: a table of printed markers
// as a clip camera sees it, `frames` frames at `framesPerSecond`.
void writeStillClip(const std::string& path, const kwo::synthetic::SyntheticFrame& frame, int frames = 5,
                    int framesPerSecond = 10);

// Whether `window` shows `frame` scaled to fill it, `brightness` times as
// bright: at least `share` of pixels sampled across it as in the frame
// (edges blur in the scaling, and whatever stands on the markers covers a
// little of it). A viewer that shows it has tracked the frame's markers and
// placed its creatures in the same picture.
bool showsFrame(const Picture& window, const kwo::synthetic::SyntheticFrame& frame, double share = 0.8,
                double brightness = 1.0);

// The four demo markers lying on a table 600 mm from the camera, one in each
// quarter of the picture, tilted back by 35 degrees.
std::vector<kwo::synthetic::PrintedMarker> fourMarkersOnATable();

} // namespace kwo::test
