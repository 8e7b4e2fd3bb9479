#pragma once

#include <algorithm>
#include <cmath>

// How far an estimated pose lies from the true one: shared by the tests and
// the benchmarks, so both report the same figures.
namespace kwo::synthetic {

// The angle in degrees of the rotation that takes pose `b`'s rotation to `a`'s.
inline double rotationError(const double a[3][4], const double b[3][4]) {
    double trace = 0;
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) trace += a[k][i] * b[k][i];
    return std::acos(std::clamp((trace - 1) / 2, -1.0, 1.0)) * 180 / M_PI;
}

// The distance between the estimated and true translations as a fraction of
// the true distance from the camera.
inline double translationError(const double e[3][4], const double t[3][4]) {
    double d = 0, n = 0;
    for (int i = 0; i < 3; ++i) {
        d += (e[i][3] - t[i][3]) * (e[i][3] - t[i][3]);
        n += t[i][3] * t[i][3];
    }
    return std::sqrt(d / n);
}

} // namespace kwo::synthetic
