// Turns the application icon (icon.png, 128 x 128 with alpha) into raw RGBA
// bytes, the form the window takes without a picture decoder.
#include <cairo.h>

#include <cstdio>
#include <vector>

namespace {

constexpr int size = 128;

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_icon ICON.png OUTPUT\n");
        return 2;
    }
    cairo_surface_t* surface = cairo_image_surface_create_from_png(argv[1]);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS ||
        cairo_image_surface_get_format(surface) != CAIRO_FORMAT_ARGB32 ||
        cairo_image_surface_get_width(surface) != size || cairo_image_surface_get_height(surface) != size) {
        std::fprintf(stderr, "make_icon: %s is not a %dx%d picture with alpha\n", argv[1], size, size);
        cairo_surface_destroy(surface);
        return 1;
    }
    cairo_surface_flush(surface);

    // Cairo keeps premultiplied native-endian ARGB words; the window wants
    // straight RGBA bytes.
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::vector<unsigned char> rgba(static_cast<std::size_t>(size) * size * 4);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const auto word = *reinterpret_cast<const unsigned*>(data + y * stride + x * 4);
            const unsigned a = word >> 24;
            const auto straight = [a](unsigned c) { return a ? static_cast<unsigned char>((c * 255 + a / 2) / a) : 0; };
            unsigned char* out = &rgba[(static_cast<std::size_t>(y) * size + x) * 4];
            out[0] = straight((word >> 16) & 0xff);
            out[1] = straight((word >> 8) & 0xff);
            out[2] = straight(word & 0xff);
            out[3] = static_cast<unsigned char>(a);
        }
    cairo_surface_destroy(surface);

    std::FILE* file = std::fopen(argv[2], "wb");
    if (!file || std::fwrite(rgba.data(), 1, rgba.size(), file) != rgba.size() || std::fclose(file) != 0) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
