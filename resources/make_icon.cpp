// Draws the application icon (a moth over a round dusk-coloured badge) and
// writes it as raw RGBA bytes, the form the window takes without a decoder.
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int size = 128;

void drawWing(cairo_t* cr, double sign)
{
    cairo_save(cr);
    cairo_scale(cr, sign, 1);
    cairo_move_to(cr, 4, -6);
    cairo_curve_to(cr, 20, -40, 52, -44, 50, -18);
    cairo_curve_to(cr, 48, -4, 30, 2, 6, 2);
    cairo_close_path(cr);
    cairo_move_to(cr, 5, 4);
    cairo_curve_to(cr, 26, 6, 40, 20, 30, 34);
    cairo_curve_to(cr, 22, 42, 8, 26, 4, 10);
    cairo_close_path(cr);
    cairo_restore(cr);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon OUTPUT\n");
        return 2;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);

    cairo_pattern_t* badge = cairo_pattern_create_radial(64, 54, 8, 64, 64, 62);
    cairo_pattern_add_color_stop_rgb(badge, 0, 0.98, 0.78, 0.42);
    cairo_pattern_add_color_stop_rgb(badge, 0.55, 0.55, 0.30, 0.45);
    cairo_pattern_add_color_stop_rgb(badge, 1, 0.10, 0.12, 0.28);
    cairo_arc(cr, 64, 64, 62, 0, 2 * M_PI);
    cairo_set_source(cr, badge);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.95, 0.88, 0.70);
    cairo_set_line_width(cr, 3);
    cairo_stroke(cr);
    cairo_pattern_destroy(badge);

    cairo_translate(cr, 64, 66);
    cairo_set_source_rgb(cr, 0.16, 0.10, 0.14);
    drawWing(cr, 1);
    drawWing(cr, -1);
    cairo_fill(cr);
    cairo_save(cr);
    cairo_scale(cr, 1, 3.2);
    cairo_arc(cr, 0, 2, 5, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_fill(cr);
    // Feathery antennae.
    cairo_set_line_width(cr, 2);
    for (double sign : {-1.0, 1.0}) {
        cairo_move_to(cr, 0, -10);
        cairo_curve_to(cr, sign * 6, -28, sign * 14, -34, sign * 22, -38);
        cairo_stroke(cr);
        for (int i = 1; i <= 5; ++i) {
            const double x = sign * (3 + i * 3.6), y = -14 - i * 4.6;
            cairo_move_to(cr, x, y);
            cairo_line_to(cr, x + sign * 5, y + 3);
            cairo_stroke(cr);
        }
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
    cairo_destroy(cr);
    cairo_surface_destroy(surface);

    std::FILE* file = std::fopen(argv[1], "wb");
    if (!file || std::fwrite(rgba.data(), 1, rgba.size(), file) != rgba.size() || std::fclose(file) != 0) {
        std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
