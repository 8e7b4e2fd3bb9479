#include "tools/make_marker/marker_art.h"

#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <opencv2/imgproc.hpp>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace kwo::make_marker {

namespace {

struct GObjectRelease {
    void operator()(void* object) const { g_object_unref(object); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectRelease>;

// A cairo image surface over a CV_8UC4 picture's own memory (RGB24 rows are
// 4 bytes per pixel, so a continuous picture's stride always fits).
cairo_surface_t* surfaceOver(const cv::Mat& pixels) {
    return cairo_image_surface_create_for_data(const_cast<unsigned char*>(pixels.data), CAIRO_FORMAT_RGB24,
                                               pixels.cols, pixels.rows, static_cast<int>(pixels.step));
}

} // namespace

bool loadArtwork(const std::string& path, Artwork& artwork, std::string& error, const PictureOptions& options) {
    int width = 0, height = 0;
    GError* failure = nullptr;
    GObjectPtr<GdkPixbuf> loaded;
    // Large pictures are scaled while they load, so a poster-sized file does
    // not need its full size in memory.
    if (gdk_pixbuf_get_file_info(path.c_str(), &width, &height) && std::max(width, height) > artworkSide)
        loaded.reset(gdk_pixbuf_new_from_file_at_scale(path.c_str(), artworkSide, artworkSide, TRUE, &failure));
    else
        loaded.reset(gdk_pixbuf_new_from_file(path.c_str(), &failure));
    if (!loaded) {
        error = "picture '" + path + "' cannot be read (" + (failure ? failure->message : "unknown reason") + ")";
        if (failure) g_error_free(failure);
        return false;
    }
    GObjectPtr<GdkPixbuf> turned(gdk_pixbuf_apply_embedded_orientation(loaded.get()));
    GdkPixbuf* source = turned ? turned.get() : loaded.get();
    width = gdk_pixbuf_get_width(source);
    height = gdk_pixbuf_get_height(source);
    const int channels = gdk_pixbuf_get_n_channels(source);
    const bool alpha = gdk_pixbuf_get_has_alpha(source);
    if (gdk_pixbuf_get_bits_per_sample(source) != 8 || channels < 3) {
        error = "picture '" + path + "' has a pixel layout this program does not read";
        return false;
    }
    cv::Mat picture(height, width, CV_8UC4, cv::Scalar(255, 255, 255, 255));
    const int stride = gdk_pixbuf_get_rowstride(source);
    const guchar* bytes = gdk_pixbuf_read_pixels(source);
    for (int y = 0; y < height; ++y) {
        const guchar* in = bytes + static_cast<long>(y) * stride;
        unsigned char* out = picture.ptr<unsigned char>(y);
        for (int x = 0; x < width; ++x, in += channels, out += 4) {
            const int a = alpha ? in[3] : 255;
            // Over white paper: c * a + 255 * (1 - a).
            for (int k = 0; k < 3; ++k) out[2 - k] = static_cast<unsigned char>((in[k] * a + 255 * (255 - a) + 127) / 255);
        }
    }

    artwork.markerInside = false;
    if (!options.wholePicture)
        if (const std::optional<cv::Rect> inside = markerInside(picture)) {
            picture = picture(*inside).clone();
            artwork.markerInside = true;
        }
    width = picture.cols;
    height = picture.rows;
    if (options.fit == Fit::Crop && width != height) {
        const int side = std::min(width, height);
        picture = picture(cv::Rect((width - side) / 2, (height - side) / 2, side, side)).clone();
        width = height = side;
    }
    // Centred on a white square as large as the longer side.
    const int side = std::max(width, height);
    cv::Mat square(side, side, CV_8UC4, cv::Scalar(255, 255, 255, 255));
    artwork.picture = cv::Rect((side - width) / 2, (side - height) / 2, width, height);
    picture.copyTo(square(artwork.picture));
    artwork.pixels = square;
    return true;
}

std::optional<cv::Rect> markerInside(const cv::Mat& picture) {
    cv::Mat grey, labels, stats, centres;
    cv::cvtColor(picture, grey, cv::COLOR_BGRA2GRAY);
    const cv::Mat dark = grey < 128;
    const int count = cv::connectedComponentsWithStats(dark, labels, stats, centres, 8, CV_32S);
    int largest = 0;
    for (int label = 1; label < count; ++label)
        if (largest == 0 || stats.at<int>(label, cv::CC_STAT_AREA) > stats.at<int>(largest, cv::CC_STAT_AREA))
            largest = label;
    if (largest == 0) return std::nullopt;
    const cv::Rect square(stats.at<int>(largest, cv::CC_STAT_LEFT), stats.at<int>(largest, cv::CC_STAT_TOP),
                          stats.at<int>(largest, cv::CC_STAT_WIDTH), stats.at<int>(largest, cv::CC_STAT_HEIGHT));
    const int side = std::max(square.width, square.height);
    // A square, and the picture's main subject.
    if (std::abs(square.width - square.height) > 0.03 * side + 2 || side < 32 ||
        side < 0.5 * std::min(picture.cols, picture.rows))
        return std::nullopt;
    const auto share = [&](const cv::Rect& area) {
        return area.area() > 0 ? cv::countNonZero(dark(area)) / static_cast<double>(area.area()) : 0.0;
    };
    const auto part = [&](double from, double to) {
        const int left = square.x + static_cast<int>(std::lround(square.width * from));
        const int top = square.y + static_cast<int>(std::lround(square.height * from));
        return cv::Rect(left, top, square.x + static_cast<int>(std::lround(square.width * to)) - left,
                        square.y + static_cast<int>(std::lround(square.height * to)) - top);
    };
    // The border, a quarter of the side all round, is ink (its edges left
    // out: anti-aliased or slightly off the quarter)...
    const cv::Rect outer = part(0.02, 0.98), innerEdge = part(0.23, 0.77);
    const double borderInk = (cv::countNonZero(dark(outer)) - cv::countNonZero(dark(innerEdge))) /
                             static_cast<double>(outer.area() - innerEdge.area());
    // ...the inside shows something besides ink (taken square: the
    // square's sides may differ by a pixel)...
    const double half = (square.width + square.height) / 8.0;
    const double centreX = square.x + square.width / 2.0, centreY = square.y + square.height / 2.0;
    const int insideSide = static_cast<int>(std::lround(2 * half));
    const cv::Rect inside(static_cast<int>(std::lround(centreX - half)), static_cast<int>(std::lround(centreY - half)),
                          insideSide, insideSide);
    // ...and around the square there is paper, if anything.
    const double outsideArea = static_cast<double>(picture.total()) - square.area();
    const double outsideInk =
        outsideArea > 0 ? (cv::countNonZero(dark) - cv::countNonZero(dark(square))) / outsideArea : 0.0;
    if (borderInk < 0.97 || share(inside) > 0.97 || outsideInk > 0.05) return std::nullopt;
    return inside;
}

double darkFrameShare(const Artwork& artwork) {
    const cv::Mat picture = artwork.pixels(artwork.picture);
    cv::Mat grey;
    cv::cvtColor(picture, grey, cv::COLOR_BGRA2GRAY);
    const cv::Mat dark = grey < 128;
    const int band = std::max(1, std::min(picture.cols, picture.rows) / 10);
    const cv::Rect inner(band, band, picture.cols - 2 * band, picture.rows - 2 * band);
    if (inner.width <= 0 || inner.height <= 0) return 0;
    return (cv::countNonZero(dark) - cv::countNonZero(dark(inner))) /
           static_cast<double>(picture.total() - inner.area());
}

bool textArtwork(const std::string& text, Artwork& artwork, std::string& error) {
    cv::Mat square(artworkSide, artworkSide, CV_8UC4, cv::Scalar(255, 255, 255, 255));
    cairo_surface_t* surface = surfaceOver(square);
    cairo_t* cairo = cairo_create(surface);
    PangoLayout* layout = pango_cairo_create_layout(cairo);
    PangoFontDescription* font = pango_font_description_from_string("Sans Bold");
    pango_font_description_set_absolute_size(font, 400 * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, text.c_str(), -1);
    PangoRectangle ink, logical;
    pango_layout_get_pixel_extents(layout, &ink, &logical);
    const bool visible = ink.width > 0 && ink.height > 0;
    if (visible) {
        // The ink (not the line box) fills the square less a margin of 6 %,
        // centred; a single letter stands as large as it can.
        const double room = artworkSide * 0.88;
        const double scale = std::min(room / ink.width, room / ink.height);
        cairo_translate(cairo, artworkSide / 2.0, artworkSide / 2.0);
        cairo_scale(cairo, scale, scale);
        cairo_translate(cairo, -(ink.x + ink.width / 2.0), -(ink.y + ink.height / 2.0));
        cairo_set_source_rgb(cairo, 0, 0, 0);
        pango_cairo_show_layout(cairo, layout);
    }
    g_object_unref(layout);
    cairo_destroy(cairo);
    cairo_surface_destroy(surface);
    if (!visible) {
        error = "--text: '" + text + "' shows no ink";
        return false;
    }
    artwork.pixels = square;
    artwork.picture = cv::Rect(0, 0, artworkSide, artworkSide);
    artwork.markerInside = false;
    return true;
}

bool isBlank(const Artwork& artwork) {
    std::vector<cv::Mat> planes;
    cv::split(artwork.pixels(artwork.picture), planes);
    for (int k = 0; k < 3; ++k) {
        double least, most;
        cv::minMaxLoc(planes[k], &least, &most);
        if (least != most) return false;
        if (k > 0 && cv::norm(planes[k], planes[0], cv::NORM_INF) != 0) return false;
    }
    return true;
}

void drawMarker(cairo_t* cairo, const Artwork& artwork, double x, double y, double side) {
    cairo_save(cairo);
    cairo_set_source_rgb(cairo, 0, 0, 0);
    cairo_rectangle(cairo, x, y, side, side);
    cairo_fill(cairo);
    // The artwork covers the inner half exactly: its paper is the marker's
    // white, so no seam of the black square shows through.
    cairo_surface_t* surface = surfaceOver(artwork.pixels);
    const double inner = side / 2;
    cairo_rectangle(cairo, x + side / 4, y + side / 4, inner, inner);
    cairo_clip(cairo);
    cairo_translate(cairo, x + side / 4, y + side / 4);
    cairo_scale(cairo, inner / artwork.pixels.cols, inner / artwork.pixels.rows);
    cairo_set_source_surface(cairo, surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cairo), CAIRO_FILTER_GOOD);
    // Edge pixels repeat outward, so the clip's edge takes no black from
    // beyond the picture when the scaled picture is resampled there.
    cairo_pattern_set_extend(cairo_get_source(cairo), CAIRO_EXTEND_PAD);
    cairo_paint(cairo);
    cairo_surface_destroy(surface);
    cairo_restore(cairo);
}

cv::Mat renderMarker(const Artwork& artwork, int side) {
    cv::Mat picture(side, side, CV_8UC4, cv::Scalar(255, 255, 255, 255));
    cairo_surface_t* surface = surfaceOver(picture);
    cairo_t* cairo = cairo_create(surface);
    drawMarker(cairo, artwork, 0, 0, side);
    cairo_destroy(cairo);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    return picture;
}

} // namespace kwo::make_marker
