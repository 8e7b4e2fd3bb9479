#include "app/kwo.h"

// Tracker set-up, marker tracking and collision pairs: not built yet.
void KWO::setUpTracker(const Json::Value&) {}
void KWO::trackMarkers(unsigned char*) {}
void KWO::testCollisionPair(CollisionPair&) {}
