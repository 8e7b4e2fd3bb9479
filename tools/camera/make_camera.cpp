// Writes the default camera calibration: a 640x480 webcam with about 60
// degrees of horizontal field of view and no lens distortion. A real station
// should calibrate its own camera; this file only makes the program usable
// out of the box.
//
// Given another size, the same camera in that mode: the vertical view of the
// 640x480 one, a wider picture seeing more to the sides (as webcams' 16:9
// modes do). Benchmarks film their clips with it.
//
// usage: make_camera <output file> [WIDTHxHEIGHT]

#include "tracking/ar/calibration.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

int main(int argc, char** argv) {
    int width = 640, height = 480;
    if (argc == 3 && (std::sscanf(argv[2], "%dx%d", &width, &height) != 2 || width < 16 || height < 16 ||
                      width > 8192 || height > 8192)) {
        std::fprintf(stderr, "make_camera: '%s' is no size (WIDTHxHEIGHT, 16 to 8192 each)\n", argv[2]);
        return 2;
    }
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: make_camera <output file> [WIDTHxHEIGHT]\n");
        return 2;
    }
    const double fieldOfView = 60.0 * std::numbers::pi / 180.0; // across a 4:3 picture of this height
    const double focal = (height * 4.0 / 3.0 / 2.0) / std::tan(fieldOfView / 2.0); // pixels, square pixels
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    ARParam param{};
    param.xsize = width;
    param.ysize = height;
    const double mat[3][4] = {{focal, 0, cx, 0}, {0, focal, cy, 0}, {0, 0, 1, 0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) param.mat[r][c] = mat[r][c];
    // Distortion centre at the image centre, factor 0 (none), scale 1.
    param.dist_factor[0] = cx;
    param.dist_factor[1] = cy;
    param.dist_factor[2] = 0;
    param.dist_factor[3] = 1;
    std::string error;
    if (!kwo::ar::writeCalibrationFile(argv[1], {param}, &error)) {
        std::fprintf(stderr, "make_camera: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
