#pragma once

// Figures of the detector's local threshold ("adaptive") beside the global
// one, on the frames the other tracking figures use: the sample markers
// under camera conditions (those of conditionFigures, plus backgrounds and
// sizes the local threshold must cope with), and cluttered table tops.

#include <cstdint>
#include <string>
#include <vector>

namespace kwo::bench {

// One camera condition, each mode on the same renders. `found`: a square
// whose corners lie within 3 px of the marker's (in any of its four turns),
// named or not, so that the threshold's part can be told from the
// matcher's; `named`: the right pattern with its corners right; `wrong`:
// squares named with another pattern or off the marker.
struct ModeFigures {
    int found = 0, named = 0, wrong = 0;
};
struct AdaptiveConditionFigures {
    std::string condition;
    int renders = 0;
    ModeFigures adaptive;
    ModeFigures midway; // the global threshold halfway between the ink and the darkest paper
    ModeFigures at100;  // the global threshold of a station's default
};
std::vector<AdaptiveConditionFigures> adaptiveConditionFigures(const std::string& folder, int renders,
                                                               std::uint32_t seed);

// Cluttered table tops (those of clutteredFigures) with each mode:
// identified markers (right id, corners within 3 px) and any other
// identification.
struct AdaptiveClutterFigures {
    int frames = 0, markers = 0;
    int identifiedGlobal = 0, identifiedAdaptive = 0;
    int falseGlobal = 0, falseAdaptive = 0;
};
AdaptiveClutterFigures adaptiveClutterFigures(int width, int markers, int frames, std::uint32_t seed);

// The condition table, printed (nothing but a note when the sample patterns
// are missing from `folder`).
void printAdaptiveConditions(const std::string& folder, int renders, std::uint32_t seed);

} // namespace kwo::bench
