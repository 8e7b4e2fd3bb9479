#pragma once

#include "tracking/ar/ar.h"
#include "tracking/placement.h"
#include "tracking/tracked_object.h"

#include <vector>

namespace kwo {

// The tracker library's own estimates; `calibration` (the record installed
// with arInitCparam) serves the estimate that keeps to a square's side.
PoseEstimates libraryPoseEstimates(const ARParam* calibration = nullptr);

// One frame's placement of every tracked object (planPlacements, at `time`
// seconds): each placed pose goes into the object's marker node, mirrored left
// to right when `mirror` is set; objects without a marker, or beyond the limit,
// are hidden unless they are held.
void placeTrackedObjects(ARMarkerInfo* markers, int markerCount, unsigned maxTracked, bool mirror,
                         const Steadying& steadying, double time, std::vector<TrackedObject>& objects,
                         const PoseEstimates& estimates);

// The same with each creature placed from the current frame's marker alone.
void placeTrackedObjects(ARMarkerInfo* markers, int markerCount, unsigned maxTracked, bool mirror,
                         std::vector<TrackedObject>& objects, const PoseEstimates& estimates);

// Hides every object at once, held or not; each is found anew next time.
void hideTrackedObjects(std::vector<TrackedObject>& objects);

} // namespace kwo
