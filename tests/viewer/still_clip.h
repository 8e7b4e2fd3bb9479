#pragma once

#include "tools/synthetic/synthetic_frames.h"

#include <string>

namespace kwo::test {

// A short lossless clip that shows `frame` still: a table of printed markers
// as a clip camera sees it.
void writeStillClip(const std::string& path, const kwo::synthetic::SyntheticFrame& frame);

} // namespace kwo::test
