#pragma once

// Accuracy figures for the speed benchmark's summary table, measured on
// the same kind of frames it times: cluttered table tops with 1 or 4
// markers, steeply tilted blurred markers, and realistic renders of the
// sample markers of other tools.

#include <cstdint>
#include <string>
#include <vector>

namespace kwo::bench {

struct CaseFigures {
    int frames = 0;
    int markers = 0;          // markers shown, over all frames
    int identified = 0;       // with the right id and corners within 3 px
    int falseIds = 0;         // any other identification
    int falseOffSquares = 0;  // of those, on neither a marker nor a decoy square
    double cornerRms = 0;     // px, of the identified markers
    double rotationMedian = 0, translationMedian = 0; // degrees, percent
};

// `frames` cluttered frames of `width` x 3/4 width with `markers` markers.
CaseFigures clutteredFigures(int width, int markers, int frames, std::uint32_t seed);

struct TiltedFigures {
    int markers = 0, identified = 0;
};
// Markers of 40-52 px side tilted by 53-60 degrees, blurred (640x480).
TiltedFigures tiltedFigures(int frames, std::uint32_t seed);

struct SampleFigures {
    int renders = 0, identified = 0;
    double cfMean = 0, cfMin = 0;
};
// The sample markers of other tools in realistic renders; renders = 0 when
// the sample folder is missing.
SampleFigures sampleFigures(const std::string& folder, int width, int renders, std::uint32_t seed);

// The sample markers under one camera condition at a time (640x480, 40-150
// px across unless the condition is about size, tilted up to 50 degrees):
// how often each is named, how often a square is named wrongly (another
// pattern on a marker, or any pattern elsewhere), and the best cf on it.
struct ConditionFigures {
    std::string condition;
    int renders = 0, named = 0, wrong = 0;
    double cfMean = 0;
};
std::vector<ConditionFigures> conditionFigures(const std::string& folder, int renders, std::uint32_t seed);

} // namespace kwo::bench
