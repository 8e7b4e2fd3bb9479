#pragma once

// Which tracked objects a frame shows, and where: the part of the per-frame
// placement that needs no engine. The marker node of each object then follows
// what this decides (tracking/marker_tracking.h).

#include "tracking/ar/ar_types.h"
#include "tracking/pose_filter.h"
#include "tracking/tracked_object.h"

#include <functional>
#include <optional>
#include <vector>

namespace kwo {

// The pose estimates a placement uses: a fresh one for a marker that was not
// shown, one continued from the last transform while it is, and, while poses
// are steadied, one that keeps to the side of the square the last transform
// saw (tracking/ar/pose.h). Each returns the fit error, negative on failure
// (the output then unchanged).
struct PoseEstimates {
    std::function<double(ARMarkerInfo* marker, double center[2], double width, double conv[3][4])> fresh;
    std::function<double(ARMarkerInfo* marker, double previous[3][4], double center[2], double width,
                         double conv[3][4])>
        continuous;
    std::function<double(ARMarkerInfo* marker, double previous[3][4], double center[2], double width,
                         double conv[3][4])>
        nearest;
};

// How creatures follow their markers beyond each frame's own estimate. The
// defaults place each creature from the current frame's marker alone.
struct Steadying {
    // Steadies each shown pose (tracking/pose_filter.h) and keeps a marker's
    // pose on the side of the square it was seen from; none: every pose as
    // estimated.
    std::optional<PoseFilterParameters> smoothing;
    // How long a creature whose marker is no longer found stays at its last
    // pose, in seconds, counted from the last frame its marker was seen;
    // 0: hidden at once.
    double hold = 0;
};

// What becomes of an object's marker node in a frame.
enum class NodeChange {
    hide,      // hidden (again)
    keep,      // stays as it is: shown at its last pose, or hidden
    place,     // takes the object's new pose, stays shown
    showPlace, // takes the object's new pose and is shown
};

// One frame's placement of every tracked object, in configuration order, at
// `time` (seconds, any origin, increasing from frame to frame), from the
// markers the detector reported: each object takes its most confident marker
// (the earliest among equals), at most `maxTracked` objects are placed (0: no
// limit, held objects count), a failed estimate changes nothing for that
// object. Updates each object's pose state and fills `changes`, one per
// object. The pose a placed object shows is shownPose().
void planPlacements(ARMarkerInfo* markers, int markerCount, unsigned maxTracked, const Steadying& steadying,
                    double time, std::vector<TrackedObject>& objects, const PoseEstimates& estimates,
                    std::vector<NodeChange>& changes);

// Forgets every object's marker: all hidden, each found anew next time (the
// camera was lost).
void forgetMarkers(std::vector<TrackedObject>& objects);

// The pose a placed object shows, marker to camera, millimetres: its
// transform, or the steadied pose while smoothing is on.
MarkerPose shownPose(const TrackedObject& object, const Steadying& steadying);

} // namespace kwo
