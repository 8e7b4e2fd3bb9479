#include "tracking/ar/history.h"

#include <cmath>

namespace kwo::ar {
namespace {

double squaredDistance(const double a[2], const double b[2]) {
    const double dx = a[0] - b[0], dy = a[1] - b[1];
    return dx * dx + dy * dy;
}

// The rotation r for which current vertex (k + r) % 4 lies closest to
// remembered vertex k, over all k.
int cornerRotation(const ARMarkerInfo& current, const ARMarkerInfo& remembered) {
    int best = 0;
    double bestSum = -1;
    for (int r = 0; r < 4; ++r) {
        double sum = 0;
        for (int k = 0; k < 4; ++k) sum += squaredDistance(current.vertex[(k + r) % 4], remembered.vertex[k]);
        if (bestSum < 0 || sum < bestSum) {
            bestSum = sum;
            best = r;
        }
    }
    return best;
}

} // namespace

bool isSameSquare(const ARMarkerInfo& current, const ARMarkerInfo& remembered) {
    if (remembered.area <= 0 || current.area <= 0) return false;
    const double ratio = static_cast<double>(current.area) / remembered.area;
    if (ratio < 0.7 || ratio > 1.43) return false;
    return squaredDistance(current.pos, remembered.pos) / current.area < 0.5;
}

void MarkerHistory::apply(std::vector<ARMarkerInfo>& markers, long frame, int keepFrames, double confidenceCut,
                          double decay) {
    std::erase_if(entries_, [&](const Entry& e) { return frame - e.lastSeen >= keepFrames; });
    if (keepFrames <= 0) return;

    const std::size_t currentCount = markers.size();
    for (std::size_t i = 0; i < currentCount; ++i) {
        ARMarkerInfo& m = markers[i];
        // The picture's own identification stands, of the remembered pattern
        // or another: only squares it leaves unidentified borrow from memory.
        if (m.id >= 0 && m.cf >= confidenceCut) continue;
        const Entry* best = nullptr;
        double bestCf = 0;
        for (const Entry& e : entries_) {
            if (!isSameSquare(m, e.marker)) continue;
            const double cf = e.marker.cf * std::pow(decay, static_cast<double>(frame - e.lastSeen));
            if (cf <= m.cf || cf < confidenceCut) continue;
            if (!best || cf > bestCf) {
                best = &e;
                bestCf = cf;
            }
        }
        if (!best) continue;
        const int r = cornerRotation(m, best->marker);
        m.id = best->marker.id;
        m.cf = bestCf;
        m.dir = ((best->marker.dir - r) % 4 + 4) % 4;
    }

    for (const Entry& e : entries_) {
        bool overlapped = false;
        for (std::size_t i = 0; i < currentCount && !overlapped; ++i) overlapped = isSameSquare(markers[i], e.marker);
        if (!overlapped) markers.push_back(e.marker);
    }

    // Remember the identified squares of this frame, the most confident per id.
    for (std::size_t i = 0; i < currentCount; ++i) {
        const ARMarkerInfo& m = markers[i];
        if (m.id < 0) continue;
        Entry* slot = nullptr;
        for (Entry& e : entries_)
            if (e.marker.id == m.id) slot = &e;
        if (!slot) {
            entries_.push_back({m, frame});
        } else if (slot->lastSeen != frame || m.cf > slot->marker.cf) {
            *slot = {m, frame};
        }
    }
}

} // namespace kwo::ar
