#pragma once

#include "tracking/ar/ar.h"
#include "tracking/tracked_object.h"

#include <functional>
#include <vector>

namespace kwo {

// The two pose estimates a placement uses: a fresh one for a marker that was
// not shown, and one continued from the last transform while it is. Both
// return the fit error, negative on failure (the output then unchanged).
struct PoseEstimates {
    std::function<double(ARMarkerInfo* marker, double center[2], double width, double conv[3][4])> fresh;
    std::function<double(ARMarkerInfo* marker, double previous[3][4], double center[2], double width,
                         double conv[3][4])>
        continuous;
};

// The tracker library's own estimates.
PoseEstimates libraryPoseEstimates();

// One frame's placement of every tracked object, in configuration order, from
// the markers the detector reported: each object takes its most confident
// marker (the earliest among equals), at most `maxTracked` objects are placed
// (0: no limit), a failed estimate changes nothing for that object, and the
// pose goes into its marker node, mirrored left to right when `mirror` is set.
// Objects without a marker, or beyond the limit, are hidden.
void placeTrackedObjects(ARMarkerInfo* markers, int markerCount, unsigned maxTracked, bool mirror,
                         std::vector<TrackedObject>& objects, const PoseEstimates& estimates);

} // namespace kwo
