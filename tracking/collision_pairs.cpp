#include "tracking/collision_pairs.h"

#include "config/exception.h"
#include "config/readers.h"

#include <OgreAnimationState.h>
#include <OgreMath.h>
#include <OgreSceneNode.h>

namespace kwo {
namespace {

// The marker's normal in the world: its local +Z.
Ogre::Vector3 markerNormal(const TrackedObject& object)
{
    return object.markerNode->_getDerivedOrientation() * Ogre::Vector3::UNIT_Z;
}

void switchAnimation(TrackedObject& object, Ogre::AnimationState* next)
{
    if (object.activeAnimation)
        object.activeAnimation->setEnabled(false);
    object.activeAnimation = next;
    if (next) {
        next->setTimePosition(0);
        next->setEnabled(true);
    }
}

void faceEachOther(TrackedObject& self, const TrackedObject& partner, const Ogre::Vector3& up)
{
    self.collisionNode->setAutoTracking(true, partner.collisionNode, Ogre::Vector3::NEGATIVE_UNIT_Z);
    // The engine takes a fixed yaw axis in the space of the node's parent, not
    // the world's: given the world's normal unchanged, the creature would turn
    // about the normal turned once more by the marker's pose and roll over.
    const Ogre::Quaternion parent = self.collisionNode->getParentSceneNode()->_getDerivedOrientation();
    self.collisionNode->setFixedYawAxis(true, parent.Inverse() * up);
}

void faceConfiguredWay(TrackedObject& self)
{
    self.collisionNode->setAutoTracking(false, nullptr, Ogre::Vector3::NEGATIVE_UNIT_Z);
    self.collisionNode->setFixedYawAxis(false, Ogre::Vector3::UNIT_Y);
    self.collisionNode->resetToInitialState();
}

} // namespace

std::vector<CollisionPair> readCollisionPairs(const Setting& collisions,
                                              const std::vector<TrackedObject>& trackedObjects)
{
    std::vector<CollisionPair> pairs;
    for (unsigned i = 0; i < collisions.size(); ++i) {
        const Setting entry = collisions[i];
        CollisionPair pair;
        const std::string first = entry.name("first");
        const std::string second = entry.name("second");
        for (std::size_t index = 0; index < trackedObjects.size(); ++index) {
            if (trackedObjects[index].name == first)
                pair.first = static_cast<int>(index);
            if (trackedObjects[index].name == second)
                pair.second = static_cast<int>(index);
        }
        if (pair.first == -1 || pair.second == -1 || pair.first == pair.second) {
            std::string detail = entry.path() + ": first and second must name two different elements of tracking/objects";
            // Most often the station's document gave its own tracking/objects
            // and kept the default pairs, whose names it no longer has.
            if (pair.first == -1 || pair.second == -1)
                detail += "; '" + (pair.first == -1 ? first : second) +
                          "' is not one of them. A list in the main document replaces the whole default list: "
                          "\"kwo --print-config\" prints the lists to copy and change";
            throw Exception("Invalid collsion pair '" + first + "' / '" + second + "'", detail);
        }
        pair.distanceMin = readVector2(entry["distance"]["min"]).x;
        pair.distanceMax = readVector2(entry["distance"]["max"]).x;
        pair.angleMin = static_cast<float>(entry["angle"]["min"].asDouble());
        pair.angleMax = static_cast<float>(entry["angle"]["max"].asDouble());
        pairs.push_back(pair);
    }
    return pairs;
}

void testCollisionPair(CollisionPair& pair, std::vector<TrackedObject>& trackedObjects)
{
    TrackedObject& a = trackedObjects[static_cast<std::size_t>(pair.first)];
    TrackedObject& b = trackedObjects[static_cast<std::size_t>(pair.second)];

    const float distance =
        (a.markerNode->_getDerivedPosition() - b.markerNode->_getDerivedPosition()).length();
    const Ogre::Vector3 normalA = markerNormal(a);
    const Ogre::Vector3 normalB = markerNormal(b);
    const float angle = Ogre::Math::ACos(normalA.dotProduct(normalB)).valueDegrees();

    bool inside = false;
    if (a.visible && b.visible) {
        inside = pair.colliding ? distance < pair.distanceMax && angle < pair.angleMax
                                : distance < pair.distanceMin && angle < pair.angleMin;
    }

    if (inside && !pair.colliding) {
        switchAnimation(a, a.collisionAnimation);
        switchAnimation(b, b.collisionAnimation);
        faceEachOther(a, b, normalA);
        faceEachOther(b, a, normalB);
        pair.colliding = true;
    } else if (!inside && pair.colliding) {
        switchAnimation(a, a.idleAnimation);
        switchAnimation(b, b.idleAnimation);
        faceConfiguredWay(a);
        faceConfiguredWay(b);
        pair.colliding = false;
    }
}

} // namespace kwo
