#include "media/core/backdrop.h"

#include <cairo.h>

#include <cmath>
#include <random>

namespace kwo::media {
namespace {

constexpr int width = 800;
constexpr int height = 600;

struct Colour {
    double r, g, b;
};

const Colour ink{0.13, 0.10, 0.16};
const Colour parchment{0.96, 0.90, 0.76};
const Colour gold{0.86, 0.68, 0.34};

void setColour(cairo_t* cr, const Colour& c, double alpha = 1) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

void roundedRectangle(cairo_t* cr, double x, double y, double w, double h, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// Dusk over a fern hollow: sky gradient, a low moon, stars, layered hills.
void drawScenery(cairo_t* cr)
{
    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, height);
    cairo_pattern_add_color_stop_rgb(sky, 0.0, 0.09, 0.10, 0.25);
    cairo_pattern_add_color_stop_rgb(sky, 0.55, 0.33, 0.23, 0.42);
    cairo_pattern_add_color_stop_rgb(sky, 0.85, 0.78, 0.47, 0.38);
    cairo_pattern_add_color_stop_rgb(sky, 1.0, 0.93, 0.68, 0.42);
    cairo_rectangle(cr, 0, 0, width, height);
    cairo_set_source(cr, sky);
    cairo_fill(cr);
    cairo_pattern_destroy(sky);

    std::minstd_rand random(20261210);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int i = 0; i < 120; ++i) {
        const double x = unit(random) * width, y = unit(random) * height * 0.5;
        cairo_arc(cr, x, y, 0.4 + unit(random) * 1.1, 0, 2 * M_PI);
        cairo_set_source_rgba(cr, 1, 0.97, 0.88, 0.3 + 0.6 * unit(random) * (1 - y / (height * 0.5)));
        cairo_fill(cr);
    }

    cairo_pattern_t* glow = cairo_pattern_create_radial(120, 44, 8, 120, 44, 80);
    cairo_pattern_add_color_stop_rgba(glow, 0, 1, 0.95, 0.80, 0.55);
    cairo_pattern_add_color_stop_rgba(glow, 1, 1, 0.95, 0.80, 0);
    cairo_arc(cr, 120, 44, 80, 0, 2 * M_PI);
    cairo_set_source(cr, glow);
    cairo_fill(cr);
    cairo_pattern_destroy(glow);
    cairo_arc(cr, 120, 44, 22, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, 0.99, 0.95, 0.84);
    cairo_fill(cr);

    const Colour hills[] = {{0.27, 0.22, 0.36}, {0.18, 0.20, 0.27}, {0.10, 0.14, 0.17}};
    for (int layer = 0; layer < 3; ++layer) {
        const double base = 430 + layer * 50;
        cairo_move_to(cr, 0, height);
        for (int x = 0; x <= width; x += 10)
            cairo_line_to(cr, x,
                          base - 28 * std::sin(x * (0.006 + layer * 0.003) + layer * 1.7) -
                              12 * std::sin(x * 0.021 + layer));
        cairo_line_to(cr, width, height);
        cairo_close_path(cr);
        setColour(cr, hills[layer]);
        cairo_fill(cr);
    }

    // Fern fronds along the bottom edge.
    for (int i = 0; i < 14; ++i) {
        const double x = 20 + i * 58 + unit(random) * 20;
        const double lean = (unit(random) - 0.5) * 0.6;
        const double length = 50 + unit(random) * 40;
        cairo_save(cr);
        cairo_translate(cr, x, height + 4);
        cairo_rotate(cr, lean);
        cairo_set_line_width(cr, 2);
        cairo_move_to(cr, 0, 0);
        cairo_curve_to(cr, 4, -length * 0.4, 10, -length * 0.8, 18, -length);
        cairo_set_source_rgb(cr, 0.07, 0.12, 0.11);
        cairo_stroke(cr);
        for (int leaf = 1; leaf < 9; ++leaf) {
            const double t = leaf / 9.0;
            const double lx = 18 * t * t, ly = -length * t;
            const double size = 12 * (1 - t) + 3;
            for (double side : {-1.0, 1.0}) {
                cairo_move_to(cr, lx, ly);
                cairo_curve_to(cr, lx + side * size * 0.5, ly - 4, lx + side * size, ly - 3, lx + side * size * 1.1,
                               ly + 2);
                cairo_curve_to(cr, lx + side * size * 0.6, ly + 2, lx + side * size * 0.3, ly + 2, lx, ly);
            }
            cairo_fill(cr);
        }
        cairo_restore(cr);
    }
}

// The four creatures, each drawn in a box of about 90 x 70 around (0, 0).

void drawQuillmoth(cairo_t* cr)
{
    for (double side : {-1.0, 1.0}) {
        cairo_save(cr);
        cairo_scale(cr, side, 1);
        cairo_move_to(cr, 3, -4);
        cairo_curve_to(cr, 14, -34, 44, -36, 42, -14);
        cairo_curve_to(cr, 40, -2, 24, 2, 4, 2);
        cairo_close_path(cr);
        cairo_set_source_rgb(cr, 0.80, 0.62, 0.40);
        cairo_fill_preserve(cr);
        setColour(cr, ink);
        cairo_set_line_width(cr, 1.5);
        cairo_stroke(cr);
        cairo_move_to(cr, 4, 4);
        cairo_curve_to(cr, 22, 6, 32, 18, 24, 28);
        cairo_curve_to(cr, 16, 34, 6, 20, 3, 8);
        cairo_close_path(cr);
        cairo_set_source_rgb(cr, 0.68, 0.48, 0.34);
        cairo_fill_preserve(cr);
        setColour(cr, ink);
        cairo_stroke(cr);
        // Eye spot.
        cairo_arc(cr, 26, -16, 6, 0, 2 * M_PI);
        cairo_set_source_rgb(cr, 0.95, 0.85, 0.55);
        cairo_fill(cr);
        cairo_arc(cr, 26, -16, 3, 0, 2 * M_PI);
        cairo_set_source_rgb(cr, 0.25, 0.12, 0.18);
        cairo_fill(cr);
        // Feathery antenna.
        cairo_set_line_width(cr, 1.2);
        setColour(cr, ink);
        cairo_move_to(cr, 1, -12);
        cairo_curve_to(cr, 5, -26, 12, -32, 20, -36);
        cairo_stroke(cr);
        for (int i = 1; i <= 6; ++i) {
            const double x = 2 + i * 3, y = -14 - i * 3.6;
            cairo_move_to(cr, x, y);
            cairo_line_to(cr, x + 5, y + 2);
            cairo_move_to(cr, x, y);
            cairo_line_to(cr, x - 2, y - 4);
        }
        cairo_stroke(cr);
        cairo_restore(cr);
    }
    cairo_save(cr);
    cairo_scale(cr, 1, 3);
    cairo_arc(cr, 0, 1, 4.5, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_set_source_rgb(cr, 0.35, 0.24, 0.22);
    cairo_fill(cr);
}

void drawBrackenjaw(cairo_t* cr)
{
    // Stocky body.
    cairo_save(cr);
    cairo_scale(cr, 1.4, 1);
    cairo_arc(cr, -4, 2, 22, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_set_source_rgb(cr, 0.42, 0.52, 0.30);
    cairo_fill_preserve(cr);
    setColour(cr, ink);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    // Legs.
    for (double x : {-26.0, -10.0, 8.0, 20.0}) {
        roundedRectangle(cr, x - 4, 18, 9, 14, 3);
        cairo_set_source_rgb(cr, 0.34, 0.42, 0.24);
        cairo_fill_preserve(cr);
        setColour(cr, ink);
        cairo_stroke(cr);
    }
    // Head with the big lower jaw.
    cairo_move_to(cr, 22, -14);
    cairo_curve_to(cr, 38, -22, 50, -12, 48, -2);
    cairo_line_to(cr, 26, 0);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.46, 0.56, 0.32);
    cairo_fill_preserve(cr);
    setColour(cr, ink);
    cairo_stroke(cr);
    cairo_move_to(cr, 24, 2);
    cairo_line_to(cr, 52, 0);
    cairo_curve_to(cr, 54, 12, 42, 18, 26, 14);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.55, 0.45, 0.28);
    cairo_fill_preserve(cr);
    setColour(cr, ink);
    cairo_stroke(cr);
    // Teeth over the jaw's edge.
    cairo_set_source_rgb(cr, 0.98, 0.95, 0.86);
    for (int i = 0; i < 5; ++i) {
        const double x = 30 + i * 4.5;
        cairo_move_to(cr, x, 1);
        cairo_line_to(cr, x + 2, -5);
        cairo_line_to(cr, x + 4, 1);
        cairo_close_path(cr);
    }
    cairo_fill(cr);
    cairo_arc(cr, 38, -12, 2.5, 0, 2 * M_PI);
    setColour(cr, ink);
    cairo_fill(cr);
    // Bristly back.
    cairo_set_line_width(cr, 2);
    for (int i = 0; i < 7; ++i) {
        const double x = -30 + i * 8;
        cairo_move_to(cr, x, -18 + std::abs(i - 3) * 1.5);
        cairo_line_to(cr, x - 3, -26 + std::abs(i - 3) * 1.5);
    }
    cairo_stroke(cr);
}

void drawSliverfin(cairo_t* cr)
{
    // Long fins first, body over them.
    cairo_move_to(cr, -6, -6);
    cairo_curve_to(cr, 4, -30, 20, -28, 18, -6);
    cairo_close_path(cr);
    cairo_move_to(cr, -2, 6);
    cairo_curve_to(cr, 6, 26, 18, 24, 14, 6);
    cairo_close_path(cr);
    cairo_move_to(cr, -38, 0);
    cairo_curve_to(cr, -50, -18, -54, -20, -50, 0);
    cairo_curve_to(cr, -54, 20, -50, 18, -38, 0);
    cairo_close_path(cr);
    cairo_set_source_rgba(cr, 0.55, 0.80, 0.88, 0.85);
    cairo_fill_preserve(cr);
    setColour(cr, ink);
    cairo_set_line_width(cr, 1.2);
    cairo_stroke(cr);
    cairo_move_to(cr, -40, 0);
    cairo_curve_to(cr, -20, -12, 24, -12, 44, 0);
    cairo_curve_to(cr, 24, 10, -20, 10, -40, 0);
    cairo_close_path(cr);
    cairo_pattern_t* sheen = cairo_pattern_create_linear(0, -10, 0, 10);
    cairo_pattern_add_color_stop_rgb(sheen, 0, 0.62, 0.74, 0.86);
    cairo_pattern_add_color_stop_rgb(sheen, 1, 0.88, 0.92, 0.95);
    cairo_set_source(cr, sheen);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(sheen);
    setColour(cr, ink);
    cairo_stroke(cr);
    cairo_arc(cr, 32, -2, 2, 0, 2 * M_PI);
    cairo_fill(cr);
    // Scale line.
    cairo_set_line_width(cr, 0.8);
    cairo_move_to(cr, -30, 0);
    cairo_curve_to(cr, -10, 2, 10, 2, 28, 1);
    cairo_stroke(cr);
}

void drawMossglider(cairo_t* cr)
{
    // Membrane wings stretched between fore and hind limbs.
    cairo_move_to(cr, -10, -6);
    cairo_curve_to(cr, -30, -26, -44, -20, -46, -8);
    cairo_curve_to(cr, -36, -2, -40, 8, -44, 16);
    cairo_curve_to(cr, -30, 12, -20, 14, -10, 8);
    cairo_close_path(cr);
    cairo_move_to(cr, 10, -6);
    cairo_curve_to(cr, 30, -26, 44, -20, 46, -8);
    cairo_curve_to(cr, 36, -2, 40, 8, 44, 16);
    cairo_curve_to(cr, 30, 12, 20, 14, 10, 8);
    cairo_close_path(cr);
    cairo_set_source_rgba(cr, 0.50, 0.62, 0.36, 0.9);
    cairo_fill_preserve(cr);
    setColour(cr, ink);
    cairo_set_line_width(cr, 1.4);
    cairo_stroke(cr);
    // Moss speckles on the membranes.
    cairo_set_source_rgb(cr, 0.70, 0.80, 0.42);
    for (double x : {-34.0, -24.0, -30.0, 24.0, 34.0, 29.0})
        for (double y : {-8.0, 4.0}) {
            cairo_arc(cr, x, y + (x > 0 ? 1 : 0), 1.8, 0, 2 * M_PI);
            cairo_fill(cr);
        }
    // Body, head and the long tail.
    cairo_save(cr);
    cairo_scale(cr, 1, 1.8);
    cairo_arc(cr, 0, 0, 10, 0, 2 * M_PI);
    cairo_restore(cr);
    cairo_set_source_rgb(cr, 0.48, 0.40, 0.30);
    cairo_fill_preserve(cr);
    setColour(cr, ink);
    cairo_stroke(cr);
    cairo_arc(cr, 0, -22, 8, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, 0.52, 0.44, 0.33);
    cairo_fill_preserve(cr);
    setColour(cr, ink);
    cairo_stroke(cr);
    for (double side : {-1.0, 1.0}) {
        cairo_move_to(cr, side * 4, -28);
        cairo_line_to(cr, side * 9, -36);
        cairo_line_to(cr, side * 8, -26);
        cairo_close_path(cr);
        cairo_fill(cr);
        cairo_arc(cr, side * 3, -23, 1.6, 0, 2 * M_PI);
        cairo_set_source_rgb(cr, 0.98, 0.90, 0.60);
        cairo_fill(cr);
        setColour(cr, ink);
    }
    cairo_set_line_width(cr, 3);
    cairo_move_to(cr, 0, 16);
    cairo_curve_to(cr, 4, 28, -8, 32, -2, 36);
    cairo_stroke(cr);
}

struct Creature {
    const char* name;
    const char* note;
    void (*draw)(cairo_t*);
};

void drawText(cairo_t* cr, const char* text, double size, bool bold, double centreX, double baseline,
              const Colour& colour)
{
    cairo_select_font_face(cr, "DejaVu Serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text, &extents);
    cairo_move_to(cr, centreX - extents.width / 2 - extents.x_bearing, baseline);
    setColour(cr, colour);
    cairo_show_text(cr, text);
}

// One card per creature down the left side.
void drawCards(cairo_t* cr)
{
    const Creature creatures[] = {
        {"Quillmoth", "feathered night flyer", drawQuillmoth},
        {"Brackenjaw", "stocky fern grazer", drawBrackenjaw},
        {"Sliverfin", "slender pool swimmer", drawSliverfin},
        {"Mossglider", "glides on moss wings", drawMossglider},
    };
    const double left = 18, cardWidth = 212, cardHeight = 112, gap = 10, top = 90;
    for (int i = 0; i < 4; ++i) {
        const double y = top + i * (cardHeight + gap);
        roundedRectangle(cr, left, y, cardWidth, cardHeight, 12);
        setColour(cr, parchment, 0.92);
        cairo_fill_preserve(cr);
        setColour(cr, gold);
        cairo_set_line_width(cr, 2.5);
        cairo_stroke(cr);
        cairo_save(cr);
        cairo_translate(cr, left + 52, y + 58);
        cairo_scale(cr, 0.92, 0.92);
        creatures[i].draw(cr);
        cairo_restore(cr);
        drawText(cr, creatures[i].name, 15, true, left + 150, y + 52, ink);
        drawText(cr, creatures[i].note, 9.5, false, left + 150, y + 72, {0.35, 0.27, 0.30});
    }
}

void drawOpeningFrame(cairo_t* cr, const Opening& opening)
{
    // A dark inner margin then a gold frame, both outside the opening, so the
    // video covers none of it.
    roundedRectangle(cr, opening.left - 12, opening.top - 12, opening.width + 24, opening.height + 24, 10);
    setColour(cr, ink, 0.85);
    cairo_fill(cr);
    cairo_rectangle(cr, opening.left - 5, opening.top - 5, opening.width + 10, opening.height + 10);
    setColour(cr, gold);
    cairo_set_line_width(cr, 3);
    cairo_stroke(cr);
    // Where the video is not yet drawn: a calm dark panel.
    cairo_rectangle(cr, opening.left, opening.top, opening.width, opening.height);
    cairo_set_source_rgb(cr, 0.05, 0.06, 0.09);
    cairo_fill(cr);
}

} // namespace

bool writeBackdrop(const std::string& path, const Opening& opening)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    drawScenery(cr);
    drawOpeningFrame(cr, opening);
    drawCards(cr);
    const double centre = opening.left + opening.width / 2.0;
    drawText(cr, "Creatures of the Hollow", 34, true, centre, 52, parchment);
    drawText(cr, "Hold a creature card up to the camera and watch it come alive", 14, false, centre, 74,
             {0.93, 0.84, 0.66});
    drawText(cr, "Bring Quillmoth and Brackenjaw together to see them meet", 14, false, centre,
             opening.top + opening.height + 40, parchment);
    cairo_destroy(cr);
    const bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    return written;
}

} // namespace kwo::media
