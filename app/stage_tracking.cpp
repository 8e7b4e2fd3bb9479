#include "app/kwo.h"

#include "config/convert.h"
#include "config/setting.h"
#include "scene/object_scene.h"
#include "tracking/ar/ar.h"
#include "tracking/collision_pairs.h"
#include "tracking/marker_tracking.h"
#include "tracking/projection.h"

#include <OgreCamera.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>

void KWO::setUpTracker(const Json::Value& document)
{
    const kwo::Setting config(document, "");
    const kwo::Setting tracking = config["tracking"];
    maxTracked = tracking.getUInt("max", 0);

    ARParam loaded;
    if (arParamLoad(tracking.text("params").c_str(), 1, &loaded) < 0)
        throw Exception("Camera load error");
    ARParam resized;
    arParamChangeSize(&loaded, videoWidth, videoHeight, &resized);
    arInitCparam(&resized);

    const kwo::Setting rendering = config["rendering"];
    const auto nearDistance = static_cast<float>(rendering.getDouble("near", 5.0));
    const auto farDistance = static_cast<float>(rendering.getDouble("far", 2000.0));
    camera->setCustomProjectionMatrix(true, kwo::computeProjection(resized, nearDistance, farDistance));

    threshold = tracking.getInt("threshold", 100);

    // The tracker's camera frame has y down and z forward; the engine camera
    // looks down -Z with y up.
    trackingRoot = sceneManager->getRootSceneNode()->createChildSceneNode(Ogre::Vector3::ZERO,
                                                                          Ogre::Quaternion::IDENTITY);
    trackingRoot->rotate(Ogre::Vector3::UNIT_X, Ogre::Degree(180), Ogre::Node::TS_LOCAL);

    kwo::ObjectSceneContext context{sceneManager, trackingRoot, names, animationStates};
    const kwo::Setting objects = tracking["objects"];
    for (unsigned i = 0; i < objects.size(); ++i) {
        const kwo::Setting entry = objects[i];
        TrackedObject object;
        object.name = entry.name("name");
        kwo::buildObjectScene(object, config, context);
        object.patternId = arLoadPatt(entry["pattern"].text("file").c_str());
        if (object.patternId < 0)
            throw Exception("Pattern load error");
        object.width = kwo::asDouble(entry["pattern"]["size"].value());
        object.center[0] = object.center[1] = 0;
        object.markerNode->setVisible(false, true);
        object.visible = false;
        trackedObjects.push_back(object);
    }

    collisionPairs = kwo::readCollisionPairs(tracking["collisions"], trackedObjects);
}

void KWO::trackMarkers(unsigned char* frame)
{
    ARMarkerInfo* markers = nullptr;
    int markerCount = 0;
    if (arDetectMarker(frame, threshold, &markers, &markerCount) < 0)
        throw Exception("Tracking error");
    kwo::placeTrackedObjects(markers, markerCount, maxTracked, mirror, trackedObjects, poseEstimates);
}

void KWO::testCollisionPair(CollisionPair& pair)
{
    kwo::testCollisionPair(pair, trackedObjects);
}
