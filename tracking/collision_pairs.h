#pragma once

#include "config/setting.h"
#include "tracking/tracked_object.h"

#include <vector>

namespace kwo {

// Reads the configured collision pairs ("tracking/collisions"), binding each
// to the tracked objects by name (the last object of a name wins). A pair
// naming no object, or one object twice, stops the start-up.
std::vector<CollisionPair> readCollisionPairs(const Setting& collisions,
                                              const std::vector<TrackedObject>& trackedObjects);

// One frame of one pair: enters the collision (both creatures play their
// collision animation from the start and face each other) when both markers
// are shown, closer than the entry distance and more alike than the entry
// angle; leaves it (idle from the start, configured facing) when either is
// hidden or the exit distance or angle is reached.
void testCollisionPair(CollisionPair& pair, std::vector<TrackedObject>& trackedObjects);

} // namespace kwo
