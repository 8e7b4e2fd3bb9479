#pragma once

// A view of a caller-owned frame of 4-byte pixels (blue, green, red, pad).

#include <cmath>
#include <cstdint>

namespace kwo::ar {

struct FrameView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0; // bytes from one row to the next; 4 * width when packed

    static FrameView packed(const std::uint8_t* data, int width, int height) {
        return {data, width, height, 4 * width};
    }
    const std::uint8_t* pixel(int x, int y) const { return data + static_cast<long>(y) * stride + 4 * x; }
    // Blue + green + red, 0..765.
    int brightness(int x, int y) const {
        const std::uint8_t* p = pixel(x, y);
        return p[0] + p[1] + p[2];
    }
    bool contains(double x, double y) const { return x >= 0 && y >= 0 && x <= width - 1 && y <= height - 1; }

    // Bilinear blue + green + red at a point inside the frame.
    double brightnessAt(double x, double y) const {
        const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
        const std::uint8_t* a = pixel(x0, y0);
        const std::uint8_t* b = x0 + 1 < width ? a + 4 : a;
        const long down = y0 + 1 < height ? stride : 0;
        const std::uint8_t *c = a + down, *d = b + down;
        const double fx = x - x0, fy = y - y0;
        const double top = (a[0] + a[1] + a[2]) * (1 - fx) + (b[0] + b[1] + b[2]) * fx;
        const double bottom = (c[0] + c[1] + c[2]) * (1 - fx) + (d[0] + d[1] + d[2]) * fx;
        return top * (1 - fy) + bottom * fy;
    }
    // Bilinear colour (blue, green, red) at a point inside the frame.
    void colourAt(double x, double y, double out[3]) const {
        const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
        const int x1 = x0 + 1 < width ? x0 + 1 : x0, y1 = y0 + 1 < height ? y0 + 1 : y0;
        const double fx = x - x0, fy = y - y0;
        const std::uint8_t *a = pixel(x0, y0), *b = pixel(x1, y0), *c = pixel(x0, y1), *d = pixel(x1, y1);
        for (int k = 0; k < 3; ++k)
            out[k] = (a[k] * (1 - fx) + b[k] * fx) * (1 - fy) + (c[k] * (1 - fx) + d[k] * fx) * fy;
    }
};

} // namespace kwo::ar
