#pragma once

#include <string>

namespace kwo::media {

// The scene viewport's default place on the 800 x 600 backdrop: the picture
// leaves this rectangle plain, framed, for the live video.
struct Opening {
    int left = 250, top = 90, width = 502, height = 377;
};

// Draws the 800 x 600 backdrop of the exhibit about four creatures and saves
// it as PNG. False when the file cannot be written.
bool writeBackdrop(const std::string& path, const Opening& opening = {});

} // namespace kwo::media
