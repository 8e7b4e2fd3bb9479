#pragma once

#include <cstddef>

// The application icon: iconSize x iconSize pixels of four bytes (red, green,
// blue, alpha, not premultiplied), rows top first. Drawn at build time by
// make_icon.cpp.
extern const unsigned char applicationIcon[];
extern const std::size_t applicationIconSize;
constexpr int iconSize = 128;
