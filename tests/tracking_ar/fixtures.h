#pragma once

// Shared helpers of the tracker tests: calibrations, the project's patterns
// and a tracker loaded with them.

#include "tools/markers/designs.h"
#include "tools/synthetic/pose_errors.h"
#include "tools/synthetic/synthetic_frames.h"
#include "tracking/ar/tracker.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace kwo::test {

// A 640x480 camera with about 60 degrees of horizontal view, no distortion.
inline ARParam plainCamera(int width = 640, int height = 480) {
    const double f = 554.2562584220407 * width / 640.0;
    ARParam p{};
    p.xsize = width;
    p.ysize = height;
    const double mat[3][4] = {{f, 0, (width - 1) / 2.0, 0}, {0, f, (height - 1) / 2.0, 0}, {0, 0, 1, 0}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) p.mat[r][c] = mat[r][c];
    p.dist_factor[0] = (width - 1) / 2.0;
    p.dist_factor[1] = (height - 1) / 2.0;
    p.dist_factor[2] = 0;
    p.dist_factor[3] = 1;
    return p;
}

// The same camera with a strong barrel distortion, like the sample
// calibration's lens.
inline ARParam distortedCamera() {
    ARParam p = plainCamera();
    p.dist_factor[0] = 318.5;
    p.dist_factor[1] = 263.5;
    p.dist_factor[2] = 26.2;
    p.dist_factor[3] = 1.0127565206658486;
    return p;
}

inline const std::vector<std::string>& designNames() {
    static const std::vector<std::string> names{"Quillmoth", "Brackenjaw", "Sliverfin", "Mossglider"};
    return names;
}

// A tracker with the four designs in slots 0..3.
inline ar::Tracker designTracker(const ARParam& camera, ar::TrackerParameters parameters = {}) {
    ar::Tracker tracker(parameters);
    tracker.setCalibration(camera);
    for (const auto& name : designNames())
        tracker.addPattern(markers::patternFromPicture(synthetic::designPicture(name, 512)));
    return tracker;
}

inline synthetic::PrintedMarker printed(const std::string& name, double width, const double pose[3][4]) {
    synthetic::PrintedMarker m;
    m.picture = synthetic::designPicture(name, 512);
    m.width = width;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) m.pose[r][c] = pose[r][c];
    return m;
}

inline ar::FrameView view(const synthetic::SyntheticFrame& frame) {
    return ar::FrameView::packed(frame.data(), frame.width, frame.height);
}

// The folder of the original's sample files, or empty when absent.
inline std::string sampleData() {
    const char* folder = std::getenv("KWO_TEST_DATA");
    return folder ? folder : "";
}

} // namespace kwo::test

namespace kwo::test {

// The first reported marker with that id, or null.
inline const ARMarkerInfo* findMarker(const std::vector<ARMarkerInfo>& markers, int id) {
    for (const ARMarkerInfo& m : markers)
        if (m.id == id) return &m;
    return nullptr;
}

// Root mean square distance of the reported corners, taken from the printed
// upper-left one on, to the true ideal corners.
inline double cornerRms(const ARMarkerInfo& m, const synthetic::MarkerTruth& truth) {
    double sum = 0;
    for (int k = 0; k < 4; ++k) {
        const double* v = m.vertex[(4 - m.dir + k) % 4];
        const double dx = v[0] - truth.ideal[k][0], dy = v[1] - truth.ideal[k][1];
        sum += dx * dx + dy * dy;
    }
    return std::sqrt(sum / 4);
}

using synthetic::rotationError;
using synthetic::translationError;

} // namespace kwo::test
