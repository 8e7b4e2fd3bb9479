#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kwo::test {

// An 8-bit RGB picture, rows top to bottom.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;

    struct Pixel {
        int r, g, b;
    };
    Pixel at(int x, int y) const
    {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return {rgb[i], rgb[i + 1], rgb[i + 2]};
    }
    bool empty() const { return width == 0; }
};

// Reads any picture ImageMagick can read.
Picture loadPicture(const std::string& path);
void savePicture(const Picture& picture, const std::string& path);

// The content of an X window (the client area) or, with no id, the screen.
Picture captureWindow(const std::string& windowId = "");

// The window's content once the program has drawn into it (any pixel not
// black), polling up to `seconds`; the last capture when it never did. A
// window is mapped before its first frame is rendered, and on a loaded
// machine that frame can take seconds.
Picture captureDrawnWindow(const std::string& windowId, double seconds = 20);

// The id of the first window whose title matches `pattern` (xdotool's regular
// expression), waiting up to `seconds`; empty when none appeared.
std::string waitForWindow(const std::string& pattern, double seconds = 20, bool onlyVisible = true);

// Geometry of a window's client area relative to the screen.
struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};
Geometry windowGeometry(const std::string& windowId);

} // namespace kwo::test
