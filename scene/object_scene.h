#pragma once

#include "config/setting.h"
#include "config/unique_names.h"
#include "tracking/tracked_object.h"

#include <string>
#include <vector>

namespace Ogre {
class AnimationState;
class SceneManager;
class SceneNode;
} // namespace Ogre

namespace kwo {

// What building an object's scene needs from the application.
struct ObjectSceneContext {
    Ogre::SceneManager* sceneManager;
    Ogre::SceneNode* trackingRoot;
    UniqueNameCounter& names;
    // Every animation state the frame cycle advances; appended to in creation
    // order (idle, collision, then decor animations).
    std::vector<Ogre::AnimationState*>& animationStates;
};

// Builds what is drawn on one marker, below a new marker node of
// `trackingRoot`: base and decor nodes turned so +Y stands out of the marker,
// the collision node (its initial state saved so a collision can be undone),
// the character with its idle and collision animations, the decor items and
// the debug meshes of "misc/debug". The graphics object is the first of
// "graphics/objects" with the object's name.
void buildObjectScene(TrackedObject& object, const Setting& config, ObjectSceneContext& context);

// A debug mesh on one of an object's nodes: drawn last, never casting shadows.
void attachDebugMesh(Ogre::SceneManager* sceneManager, Ogre::SceneNode* node, const std::string& mesh,
                     UniqueNameCounter& names);

} // namespace kwo
