#include "app/kwo.h"

#include "app/window.h"
#include "config/convert.h"
#include "config/setting.h"
#include "config/threshold_setting.h"
#include "scene/object_scene.h"
#include "tracking/ar/ar.h"
#include "tracking/collision_pairs.h"
#include "tracking/marker_tracking.h"
#include "tracking/projection.h"

#include <OgreCamera.h>
#include <OgreLogManager.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>

#include <cmath>
#include <iostream>

namespace {

// A start-up error whose fixed message names nothing: the key, the file and
// the reason go to the engine log here and to standard error with the message.
[[noreturn]] void failWithDetail(const std::string& message, const std::string& detail)
{
    if (Ogre::LogManager* logs = Ogre::LogManager::getSingletonPtr())
        logs->logError(message + ": " + detail);
    throw kwo::Exception(message, detail);
}

// A calibration is resized by the frame widths alone, so one made for
// frames of another shape (640x480 used for 1280x720) puts every ray off
// by a growing amount down the picture: the creatures stand off their
// markers. It still starts, but the technician is told, once.
void warnOfAnotherShape(const std::string& key, const std::string& file, const ARParam& calibration, int width,
                        int height)
{
    const double made = static_cast<double>(calibration.xsize) / calibration.ysize;
    const double used = static_cast<double>(width) / height;
    if (std::abs(made / used - 1) <= 0.01)
        return;
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string text = "the calibration '" + file + "' (" + key + ") was made for " +
                             std::to_string(calibration.xsize) + "x" + std::to_string(calibration.ysize) +
                             " frames, but the camera gives " + size +
                             ", another aspect ratio: creatures will stand off their markers. Calibrate at " + size +
                             " (kwo-calibrate --size " + size + ").";
    std::cerr << "Warning: " << text << std::endl;
    if (Ogre::LogManager* logs = Ogre::LogManager::getSingletonPtr())
        logs->logWarning(text);
}

} // namespace

void KWO::setUpTracker(const Json::Value& document)
{
    const kwo::Setting config(document, "");
    const kwo::Setting tracking = config["tracking"];
    maxTracked = tracking.getUInt("max", 0);

    const std::string paramsKey = tracking.path() + "/params";
    const std::string params = tracking.text("params");
    ARParam loaded;
    std::string reason;
    if (kwo::ar::loadCalibration(params.c_str(), &loaded, &reason) < 0)
        failWithDetail("Camera load error", paramsKey + ": " + reason);
    warnOfAnotherShape(paramsKey, params, loaded, videoWidth, videoHeight);
    ARParam resized;
    if (arParamChangeSize(&loaded, videoWidth, videoHeight, &resized) < 0 ||
        kwo::ar::initCalibration(&resized, &reason) < 0)
        failWithDetail("Camera load error", paramsKey + ": calibration file '" + params + "' does not fit frames of " +
                                                std::to_string(videoWidth) + "x" + std::to_string(videoHeight) +
                                                " (" + reason + ")");

    const kwo::Setting rendering = config["rendering"];
    const auto nearDistance = static_cast<float>(rendering.getDouble("near", 5.0));
    const auto farDistance = static_cast<float>(rendering.getDouble("far", 2000.0));
    camera->setCustomProjectionMatrix(true, kwo::computeProjection(resized, nearDistance, farDistance));

    threshold = kwo::DetectionThreshold(kwo::readThreshold(tracking, "threshold", 100), resized.dist_factor);
    tuning.setUp(resized.dist_factor, mirror);
    window->onTuningKey = [this](kwo::WindowEvent key) { tuning.handleKey(key, threshold); };

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
        const std::string patternFile = entry["pattern"].text("file");
        object.patternId = kwo::ar::loadPattern(patternFile.c_str(), &reason);
        if (object.patternId < 0)
            failWithDetail("Pattern load error", entry["pattern"].path() + "/file: " + reason);
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
    const int used = threshold.forFrame(kwo::ar::FrameView::packed(frame, videoWidth, videoHeight));
    if (arDetectMarker(frame, used, &markers, &markerCount) < 0)
        throw Exception("Tracking error");
    threshold.detected(markers, markerCount);
    tuning.detected(markers, markerCount, used);
    kwo::placeTrackedObjects(markers, markerCount, maxTracked, mirror, trackedObjects, poseEstimates);
}

void KWO::testCollisionPair(CollisionPair& pair)
{
    kwo::testCollisionPair(pair, trackedObjects);
}
