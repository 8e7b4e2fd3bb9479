#pragma once

#include "tracking/ar/ar_types.h"
#include "tracking/pose_filter.h"

#include <string>

namespace Ogre {
class AnimationState;
class Entity;
class SceneNode;
} // namespace Ogre

// One configured marker object: its pattern, pose state, scene nodes and
// animation states. The pointers refer to engine objects owned by the scene
// manager, which outlives the record.
struct TrackedObject {
    std::string name;
    int patternId = -1;
    Ogre::SceneNode* markerNode = nullptr;
    Ogre::SceneNode* baseNode = nullptr;
    Ogre::SceneNode* decorNode = nullptr;
    Ogre::SceneNode* collisionNode = nullptr;
    Ogre::SceneNode* characterNode = nullptr;
    Ogre::Entity* characterEntity = nullptr;
    double width = 0;           // side of the black square, millimetres
    double center[2] = {0, 0};  // pattern centre in marker coordinates
    bool visible = false;       // holds a valid pose this frame
    double transform[3][4] = {};  // last marker-to-camera transform, millimetres
    kwo::PoseFilter filter;       // the steadied pose, while smoothing is on
    double lastSeen = 0;          // seconds: the last frame its marker was seen (a hold counts from it)
    ARMarkerInfo lastMarker = {}; // the square its transform came from last
    Ogre::AnimationState* activeAnimation = nullptr;
    Ogre::AnimationState* idleAnimation = nullptr;
    Ogre::AnimationState* collisionAnimation = nullptr;
};

// Two tracked objects (indices into the tracked objects) that play their
// collision animation while close and alike in orientation.
struct CollisionPair {
    int first = -1;
    int second = -1;
    bool colliding = false;
    float distanceMin = 0; // entry distance, millimetres
    float distanceMax = 0; // exit distance
    float angleMin = 0;    // entry angle, degrees
    float angleMax = 0;    // exit angle
};
