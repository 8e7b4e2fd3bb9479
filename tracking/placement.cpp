#include "tracking/placement.h"

#include <algorithm>
#include <cmath>

namespace kwo {
namespace {

ARMarkerInfo* mostConfidentMarker(ARMarkerInfo* markers, int markerCount, int patternId)
{
    ARMarkerInfo* chosen = nullptr;
    for (int i = 0; i < markerCount; ++i)
        if (markers[i].id == patternId && (!chosen || markers[i].cf > chosen->cf))
            chosen = &markers[i];
    return chosen;
}

// The tracker keeps reporting a marker that vanished for a few frames, as it
// was last seen: such a report shows nothing new.
bool sameReport(const ARMarkerInfo& a, const ARMarkerInfo& b)
{
    return a.area == b.area && a.id == b.id && a.dir == b.dir && a.cf == b.cf && a.pos[0] == b.pos[0] &&
           a.pos[1] == b.pos[1] && std::equal(&a.vertex[0][0], &a.vertex[0][0] + 8, &b.vertex[0][0]);
}

bool isHeld(const TrackedObject& object, const Steadying& steadying, double time)
{
    return object.visible && steadying.hold > 0 && time - object.lastSeen <= steadying.hold;
}

// A card cannot move by its own width from one frame to the next: a pose that
// far away belongs to another copy of the pattern, found instead.
bool isAnotherSquare(const TrackedObject& object, const MarkerPose& measured)
{
    const auto& a = measured.position;
    const auto& b = object.filter.pose().position;
    return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]) > object.width;
}

void steady(TrackedObject& object, const PoseFilterParameters& parameters, double time, bool foundAnew,
            bool repeated)
{
    const MarkerPose measured = MarkerPose::fromTransform(object.transform);
    if (foundAnew || !object.filter.started() || isAnotherSquare(object, measured))
        object.filter = PoseFilter(parameters);
    else if (repeated)
        return;
    object.filter.update(time, measured);
}

} // namespace

void planPlacements(ARMarkerInfo* markers, int markerCount, unsigned maxTracked, const Steadying& steadying,
                    double time, std::vector<TrackedObject>& objects, const PoseEstimates& estimates,
                    std::vector<NodeChange>& changes)
{
    changes.assign(objects.size(), NodeChange::keep);
    unsigned placed = 0;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        TrackedObject& object = objects[i];
        ARMarkerInfo* marker = mostConfidentMarker(markers, markerCount, object.patternId);
        const bool roomLeft = maxTracked == 0 || placed < maxTracked;
        if (!marker || !roomLeft) {
            if (roomLeft && isHeld(object, steadying, time)) {
                // Shown where it was, its animation running; it keeps its
                // place under the limit.
                ++placed;
                continue;
            }
            object.visible = false;
            changes[i] = NodeChange::hide;
            continue;
        }
        const bool wasVisible = object.visible;
        double error;
        if (!wasVisible)
            error = estimates.fresh(marker, object.center, object.width, object.transform);
        else if (steadying.smoothing && estimates.nearest)
            error = estimates.nearest(marker, object.transform, object.center, object.width, object.transform);
        else
            error = estimates.continuous(marker, object.transform, object.center, object.width, object.transform);
        if (error < 0)
            continue;

        const bool repeated = wasVisible && sameReport(*marker, object.lastMarker);
        if (!repeated)
            object.lastSeen = time;
        object.lastMarker = *marker;
        if (steadying.smoothing)
            steady(object, *steadying.smoothing, time, !wasVisible, repeated);
        object.visible = true;
        changes[i] = wasVisible ? NodeChange::place : NodeChange::showPlace;
        ++placed;
    }
}

void forgetMarkers(std::vector<TrackedObject>& objects)
{
    for (TrackedObject& object : objects)
        object.visible = false;
}

MarkerPose shownPose(const TrackedObject& object, const Steadying& steadying)
{
    return steadying.smoothing && object.filter.started() ? object.filter.pose()
                                                           : MarkerPose::fromTransform(object.transform);
}

} // namespace kwo
