#pragma once

// Changing light over a station: a frame rendered once in some light, seen
// brighter or darker, as a camera without automatic exposure sees a table by
// a window from morning to evening.

#include "tools/synthetic/synthetic_frames.h"

#include <opencv2/core.hpp>

#include <cstdint>

namespace kwo::synthetic {

// `frame` with every colour scaled by `brightness` and sensor noise of
// `noise` grey levels (standard deviation) added; the sensor clips at 0 and
// 255. The same seed gives the same noise.
inline SyntheticFrame relit(const SyntheticFrame& frame, double brightness, double noise, std::uint32_t seed)
{
    SyntheticFrame out = frame;
    const cv::Mat in(frame.height, frame.width, CV_8UC4, const_cast<std::uint8_t*>(frame.data()));
    cv::Mat light;
    in.convertTo(light, CV_32FC4, brightness);
    if (noise > 0) {
        cv::Mat grain(frame.height, frame.width, CV_32FC4);
        cv::RNG(seed).fill(grain, cv::RNG::NORMAL, 0, noise);
        light += grain;
    }
    cv::Mat result(frame.height, frame.width, CV_8UC4, out.pixels.data());
    light.convertTo(result, CV_8UC4);
    for (std::size_t i = 3; i < out.pixels.size(); i += 4)
        out.pixels[i] = 255;
    return out;
}

} // namespace kwo::synthetic
