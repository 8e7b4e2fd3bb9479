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
    // - a square the picture identifies (confidence at least `confidenceCut`)
    //   keeps its own id, direction and confidence: the picture decides, so a
    //   marker turned between two frames shows its new direction at once;
    // - an unidentified square close to a remembered marker (area within
    //   0.7..1.43, squared centre distance below half the area) takes over its
    //   id, with the direction that lines its corners up with the remembered
    //   ones and the remembered confidence times `decay` per frame since it
    //   was seen, as long as that stays above its own and at or above the cut:
    //   a memory bridges a few weak frames, it cannot stand in for the
    //   picture for ever;
    // - a remembered marker close to no current square is appended unchanged;
    // - markers last seen `keepFrames` frames ago are forgotten.
    void apply(std::vector<ARMarkerInfo>& markers, long frame, int keepFrames, double confidenceCut,
               double decay = defaultDecay);
    // Per frame: from 0.9, a memory carries a marker through about eleven
    // frames the picture alone does not identify.
    static constexpr double defaultDecay = 0.95;
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
