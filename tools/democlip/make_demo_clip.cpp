// Writes the demo clip: the four project markers on a table top, filmed from
// above at an angle, in a seamless loop. Quillmoth and Brackenjaw walk toward
// each other, stay together (the default pair's collision), and part;
// Sliverfin and Mossglider take turns, so the default limit of two placed
// creatures is seen at work.
//
// usage: make_demo_clip <camera.dat> <output.mkv> [seconds] [frames per second]
//
// The clip has the calibration's frame size; 25 frames per second unless
// told otherwise.

#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/ar.h"
#include "video/clip_writer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <numbers>
#include <string>
#include <vector>

namespace {

// Where a marker lies on the table at a moment: u to the right, v away from
// the viewer (millimetres), turned `spin` degrees about its normal.
struct Place {
    double t, u, v, spin;
};

// A marker's path: places at increasing times over one loop; the first and
// last place are equal so the loop closes.
struct Path {
    std::string name;
    std::vector<Place> places;

    Place at(double t) const
    {
        auto next = std::find_if(places.begin(), places.end(), [&](const Place& p) { return p.t > t; });
        if (next == places.begin())
            return places.front();
        if (next == places.end())
            return places.back();
        const Place& a = *(next - 1);
        const Place& b = *next;
        double s = (t - a.t) / (b.t - a.t);
        s = s * s * (3 - 2 * s); // ease in and out: markers are moved by hand
        return {t, a.u + (b.u - a.u) * s, a.v + (b.v - a.v) * s, a.spin + (b.spin - a.spin) * s};
    }
};

// Off the picture to the left, right or far edge.
constexpr double outLeft = -480, outRight = 480, outFar = 1100;

// One loop of `length` seconds; times are fractions of 30 s scaled to it.
std::vector<Path> demoPaths(double length)
{
    std::vector<Path> paths = {
        {"Quillmoth", {{0, -170, -65, 12}, {4, -170, -65, 12}, {10, -47, -65, 0}, {15, -47, -65, 0},
                       {19, -170, -65, 12}, {21, -170, -65, 12}, {23.5, outLeft, -65, 12}, {27, outLeft, -65, 12},
                       {29.5, -170, -65, 12}, {30, -170, -65, 12}}},
        {"Brackenjaw", {{0, outRight, -65, -20}, {2, outRight, -65, -20}, {5.5, 170, -65, -20}, {10, 47, -65, 0},
                        {15, 47, -65, 0}, {19, 170, -65, -20}, {26.5, 170, -65, -20}, {29, outRight, -65, -20},
                        {30, outRight, -65, -20}}},
        {"Sliverfin", {{0, -90, 85, 30}, {23.5, -90, 85, 30}, {25.5, -90, outFar, 30}, {28.5, -90, outFar, 30},
                       {30, -90, 85, 30}}},
        {"Mossglider", {{0, 110, outFar, -10}, {20, 110, outFar, -10}, {22.5, 110, 85, -10}, {27, 110, 85, -10},
                        {29, 110, outFar, -10}, {30, 110, outFar, -10}}},
    };
    for (Path& path : paths)
        for (Place& place : path.places)
            place.t *= length / 30;
    return paths;
}

// The table: tilted away from the camera, its centre 560 mm in front of it.
void tablePose(const Place& place, double pose[3][4])
{
    constexpr double tilt = -38;
    double table[3][4];
    kwo::synthetic::makePose(tilt, 0, 0, 0, 0, 0, table);
    kwo::synthetic::makePose(tilt, 0, place.spin, 0, 0, 0, pose);
    const double centre[3] = {0, 25, 560};
    for (int r = 0; r < 3; ++r)
        pose[r][3] = centre[r] + place.u * table[r][0] + place.v * table[r][1];
}

// A wooden table top: warm stripes with grain, made once.
cv::Mat tableTop(int width, int height)
{
    cv::Mat wood(height, width, CV_8UC3);
    cv::RNG random(7);
    std::vector<double> grain(static_cast<std::size_t>(height));
    for (double& g : grain)
        g = random.gaussian(1.0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double ring = std::sin(x * 0.045 + 3 * std::sin(y * 0.011) + grain[y] * 0.15);
            const double shade = 0.78 + 0.12 * ring;
            wood.at<cv::Vec3b>(y, x) = cv::Vec3b(cv::saturate_cast<uchar>(70 * shade),
                                                 cv::saturate_cast<uchar>(120 * shade),
                                                 cv::saturate_cast<uchar>(170 * shade));
        }
    }
    return wood;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::cerr << "usage: make_demo_clip <camera.dat> <output.mkv> [seconds] [frames per second]\n";
        return 2;
    }
    ARParam camera;
    if (arParamLoad(argv[1], 1, &camera) < 0) {
        std::cerr << "make_demo_clip: cannot read the calibration " << argv[1] << "\n";
        return 1;
    }
    const double length = argc > 3 ? std::stod(argv[3]) : 30;
    const int rate = argc > 4 ? std::stoi(argv[4]) : 25;
    if (length <= 0 || rate <= 0 || rate > 240) {
        std::cerr << "make_demo_clip: the length and the frame rate must be above 0 (at most 240 frames per second)\n";
        return 2;
    }

    kwo::ClipFormat format;
    format.width = camera.xsize;
    format.height = camera.ysize;
    format.framesPerSecond = rate;
    format.frameCount = static_cast<int>(std::lround(length * format.framesPerSecond));
    format.encoding = kwo::ClipEncoding::Mjpeg;

    const std::vector<Path> paths = demoPaths(length);
    std::vector<kwo::synthetic::PrintedMarker> markers(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        markers[i].picture = kwo::synthetic::designPicture(paths[i].name);
        markers[i].width = 83;
        markers[i].margin = 0.2;
    }
    kwo::synthetic::FrameOptions options;
    options.background = tableTop(format.width, format.height);
    options.blur = 0.6;
    options.gradient = 0.25;
    options.gradientAngle = 70;
    const kwo::synthetic::FrameRenderer renderer(camera, 3);

    try {
        kwo::writeClip(argv[2], format, [&](int index, std::uint8_t* bgrx) {
            const double t = static_cast<double>(index) / format.framesPerSecond;
            for (std::size_t i = 0; i < paths.size(); ++i)
                tablePose(paths[i].at(t), markers[i].pose);
            options.seed = static_cast<std::uint32_t>(index + 1);
            const kwo::synthetic::SyntheticFrame frame = renderer.render(markers, options);
            std::memcpy(bgrx, frame.data(), frame.pixels.size());
        });
    } catch (const std::exception& error) {
        std::cerr << "make_demo_clip: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
