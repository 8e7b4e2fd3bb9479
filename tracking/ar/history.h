#pragma once

// A short memory of identified markers, one per pattern slot, which carries
// an identification across frames where the match is momentarily weak and
// keeps reporting a marker for a few frames after it vanished.

#include "tracking/ar/ar_types.h"

#include <vector>

namespace kwo::ar {

class MarkerHistory {
public:
    // Applies the memory to the squares of frame `frame` (numbered upwards by
    // one per call) and then remembers the identified ones:
    // - a current square close to a remembered marker (area within 0.7..1.43,
    //   squared centre distance below half the area) whose confidence is lower
    //   takes over its id and confidence, with the direction that lines its
    //   corners up with the remembered ones; never when the square is itself
    //   confidently identified as another pattern;
    // - a remembered marker close to no current square is appended unchanged;
    // - markers last seen `keepFrames` frames ago are forgotten.
    void apply(std::vector<ARMarkerInfo>& markers, long frame, int keepFrames, double confidenceCut);
    void clear() { entries_.clear(); }

private:
    struct Entry {
        ARMarkerInfo marker;
        long lastSeen;
    };
    std::vector<Entry> entries_;
};

// True when two squares are taken for the same marker in successive frames.
bool isSameSquare(const ARMarkerInfo& current, const ARMarkerInfo& remembered);

} // namespace kwo::ar
