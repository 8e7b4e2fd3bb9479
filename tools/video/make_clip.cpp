// kwo-make-clip: writes a clip file to play as a camera (KWO_CLIP_CAMERAS).
//
//   kwo-make-clip [--size WxH] [--rate FPS] [--seconds S | --frames N] [--raw]
//                 [--pattern ball|bars | --picture FILE] OUTPUT.mkv
//
// ball: a disc circling over a grey gradient (shows motion and looping);
// bars: red, green, blue and white quarters (shows byte order and flips);
// --picture: any picture file (a printed marker photographed, say), scaled
// to the clip size and shown still. Motion JPEG unless --raw.
#include "video/clip_writer.h"

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

void usage()
{
    std::cerr << "usage: kwo-make-clip [--size WxH] [--rate FPS] [--seconds S | --frames N] [--raw]\n"
                 "                     [--pattern ball|bars | --picture FILE] OUTPUT.mkv\n";
}

void put(std::uint8_t* p, int r, int g, int b)
{
    p[0] = static_cast<std::uint8_t>(b);
    p[1] = static_cast<std::uint8_t>(g);
    p[2] = static_cast<std::uint8_t>(r);
    p[3] = 255;
}

kwo::FramePainter bars(int width, int height)
{
    return [=](int, std::uint8_t* frame) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = frame + (static_cast<std::size_t>(y) * width + x) * 4;
                const bool right = x >= width / 2, bottom = y >= height / 2;
                if (!right && !bottom)
                    put(p, 255, 0, 0);
                else if (right && !bottom)
                    put(p, 0, 255, 0);
                else if (!right)
                    put(p, 0, 0, 255);
                else
                    put(p, 255, 255, 255);
            }
    };
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

kwo::FramePainter picture(const std::string& file, int width, int height)
{
    GError* error = nullptr;
    GdkPixbuf* loaded = gdk_pixbuf_new_from_file_at_scale(file.c_str(), width, height, FALSE, &error);
    if (!loaded) {
        const std::string reason = error ? error->message : "unreadable";
        g_clear_error(&error);
        throw std::runtime_error(file + ": " + reason);
    }
    const int channels = gdk_pixbuf_get_n_channels(loaded);
    const int stride = gdk_pixbuf_get_rowstride(loaded);
    const guchar* pixels = gdk_pixbuf_read_pixels(loaded);
    std::vector<std::uint8_t> still(static_cast<std::size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const guchar* s = pixels + y * stride + x * channels;
            put(&still[(static_cast<std::size_t>(y) * width + x) * 4], s[0], s[1], s[2]);
        }
    g_object_unref(loaded);
    return [still](int, std::uint8_t* frame) { std::memcpy(frame, still.data(), still.size()); };
}

} // namespace

int main(int argc, char** argv)
{
    kwo::ClipFormat format;
    double seconds = 5;
    int frames = 0;
    std::string pattern = "ball", pictureFile, output;
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
    try {
        kwo::FramePainter paint = !pictureFile.empty() ? picture(pictureFile, format.width, format.height)
                                  : pattern == "bars"  ? bars(format.width, format.height)
                                                       : ball(format.width, format.height, format.frameCount);
        kwo::writeClip(output, format, paint);
    } catch (const std::exception& error) {
        std::cerr << "kwo-make-clip: " << error.what() << std::endl;
        return 1;
    }
    return 0;
}
