// kwo-make-clip: writes a clip file to play as a camera (KWO_CLIP_CAMERAS).
//
//   kwo-make-clip [--size WxH] [--rate FPS] [--seconds S | --frames N] [--raw]
//                 [--pattern ball|bars | --picture FILE [--still]] OUTPUT.mkv
//
// ball: a disc circling over a grey gradient (shows motion and looping);
// bars: red, green, blue and white quarters (shows byte order and flips);
// --picture: any picture file (a marker's artwork, say) at half the clip's
// height on white, circling slowly (or standing, with --still).
// Motion JPEG unless --raw.
#include "files/write_file.h"
#include "video/clip_writer.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

void usage()
{
    std::cerr << "usage: kwo-make-clip [--size WxH] [--rate FPS] [--seconds S | --frames N] [--raw]\n"
                 "                     [--pattern ball|bars | --picture FILE [--still]] OUTPUT.mkv\n";
}

void put(std::uint8_t* p, int r, int g, int b)
{
    p[0] = static_cast<std::uint8_t>(b);
    p[1] = static_cast<std::uint8_t>(g);
    p[2] = static_cast<std::uint8_t>(r);
    p[3] = 255;
}

kwo::FramePainter ball(int width, int height, int frames)
{
    return [=](int index, std::uint8_t* frame) {
        const double angle = 2 * M_PI * index / frames;
        const double cx = width / 2.0 + width / 3.0 * std::cos(angle);
        const double cy = height / 2.0 + height / 3.0 * std::sin(angle);
        const double radius = std::min(width, height) / 10.0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = frame + (static_cast<std::size_t>(y) * width + x) * 4;
                const int grey = 64 + 128 * x / width;
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius)
                    put(p, 255, 200, 0);
                else
                    put(p, grey, grey, grey);
            }
    };
}

// A picture (a marker, say) at half the clip's height on a white ground,
// drifting slowly round a circle so a tracker has something to follow.
kwo::FramePainter picture(const std::string& file, int width, int height, int frames, bool still)
{
    GError* error = nullptr;
    GdkPixbuf* original = gdk_pixbuf_new_from_file(file.c_str(), &error);
    if (!original) {
        const std::string reason = error ? error->message : "unreadable";
        g_clear_error(&error);
        throw std::runtime_error(file + ": " + reason);
    }
    const double scale = height * 0.5 / gdk_pixbuf_get_height(original);
    const int w = std::max(1, static_cast<int>(gdk_pixbuf_get_width(original) * scale));
    const int h = std::max(1, static_cast<int>(gdk_pixbuf_get_height(original) * scale));
    GdkPixbuf* scaled = gdk_pixbuf_scale_simple(original, w, h, GDK_INTERP_BILINEAR);
    g_object_unref(original);
    const int channels = gdk_pixbuf_get_n_channels(scaled);
    const int stride = gdk_pixbuf_get_rowstride(scaled);
    // Kept as RGBA rows, so the painter owns its copy.
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(w) * h * 4);
    const guchar* pixels = gdk_pixbuf_read_pixels(scaled);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const guchar* s = pixels + y * stride + x * channels;
            std::uint8_t* d = &rgba[(static_cast<std::size_t>(y) * w + x) * 4];
            d[0] = s[0];
            d[1] = s[1];
            d[2] = s[2];
            d[3] = channels == 4 ? s[3] : 255;
        }
    g_object_unref(scaled);
    return [=](int index, std::uint8_t* frame) {
        std::memset(frame, 255, static_cast<std::size_t>(width) * height * 4);
        const double angle = still ? 0 : 2 * M_PI * index / frames;
        const double radius = still ? 0 : height * 0.1;
        const int left = static_cast<int>((width - w) / 2 + radius * std::cos(angle));
        const int top = static_cast<int>((height - h) / 2 + radius * std::sin(angle));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int fx = left + x, fy = top + y;
                if (fx < 0 || fy < 0 || fx >= width || fy >= height)
                    continue;
                const std::uint8_t* s = &rgba[(static_cast<std::size_t>(y) * w + x) * 4];
                std::uint8_t* d = frame + (static_cast<std::size_t>(fy) * width + fx) * 4;
                const int a = s[3];
                put(d, (s[0] * a + 255 * (255 - a)) / 255, (s[1] * a + 255 * (255 - a)) / 255,
                    (s[2] * a + 255 * (255 - a)) / 255);
            }
    };
}

} // namespace

int main(int argc, char** argv)
{
    kwo::ClipFormat format;
    double seconds = 5;
    int frames = 0;
    std::string pattern = "ball", pictureFile, output;
    bool still = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--size" && hasValue) {
            if (std::sscanf(argv[++i], "%dx%d", &format.width, &format.height) != 2) {
                usage();
                return 2;
            }
        } else if (arg == "--rate" && hasValue) {
            format.framesPerSecond = std::atoi(argv[++i]);
        } else if (arg == "--seconds" && hasValue) {
            seconds = std::atof(argv[++i]);
        } else if (arg == "--frames" && hasValue) {
            frames = std::atoi(argv[++i]);
        } else if (arg == "--still") {
            still = true;
        } else if (arg == "--raw") {
            format.encoding = kwo::ClipEncoding::Raw;
        } else if (arg == "--pattern" && hasValue) {
            pattern = argv[++i];
        } else if (arg == "--picture" && hasValue) {
            pictureFile = argv[++i];
        } else if (output.empty() && !arg.starts_with("--")) {
            output = arg;
        } else {
            usage();
            return 2;
        }
    }
    if (output.empty() || (pattern != "ball" && pattern != "bars")) {
        usage();
        return 2;
    }
    format.frameCount = frames > 0 ? frames : static_cast<int>(std::lround(seconds * format.framesPerSecond));
    if (const std::string reason = kwo::whyNotWritable(output); !reason.empty()) {
        std::cerr << "kwo-make-clip: '" << output << "' cannot be written: " << reason << std::endl;
        return 1;
    }
    try {
        kwo::FramePainter paint = !pictureFile.empty() ? picture(pictureFile, format.width, format.height, format.frameCount, still)
                                  : pattern == "bars"  ? kwo::quarterPainter(format.width, format.height)
                                                       : ball(format.width, format.height, format.frameCount);
        kwo::writeClip(output, format, paint);
    } catch (const std::exception& error) {
        // The video library's words name the file; the reason (such as a
        // disk that filled up) is looked for here.
        const std::string reason = kwo::whyNotWritable(output);
        std::cerr << "kwo-make-clip: " << error.what() << (reason.empty() ? "" : " (" + reason + ")") << std::endl;
        return 1;
    }
    // A clip made in a station's shared folder is the group's to replace.
    kwo::shareWithFolderGroup(output);
    return 0;
}
