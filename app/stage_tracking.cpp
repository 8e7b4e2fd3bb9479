#include "app/kwo.h"

#include "app/settings_check.h"
#include "app/station_calibration.h"
#include "app/station_log.h"
#include "app/window.h"
#include "config/setting.h"
#include "config/threshold_setting.h"
#include "scene/object_scene.h"
#include "scene/rendering_settings.h"
#include "tracking/ar/ar.h"
#include "tracking/collision_pairs.h"
#include "tracking/marker_tracking.h"
#include "tracking/projection.h"
#include "tracking/steadying_setting.h"

#include <OgreCamera.h>
#include <OgreLogManager.h>
#include <OgreSceneManager.h>
#include <OgreSceneNode.h>

#include <chrono>
#include <cmath>
#include <iostream>

namespace {

// A start-up error whose fixed message names nothing: the key, the file and
// the reason go to standard error and the engine log with the message.
[[noreturn]] void failWithDetail(const std::string& message, const std::string& detail)
{
    throw kwo::Exception(message, detail);
}

static_assert(kwo::minimumAdaptiveOffset == kwo::DetectionThreshold::minimumOffset &&
              kwo::maximumAdaptiveOffset == kwo::DetectionThreshold::maximumOffset);

kwo::DetectionThreshold detectionThreshold(const kwo::ThresholdSetting& setting, const double distFactor[4])
{
    switch (setting.mode) {
    case kwo::ThresholdSetting::Mode::fixed:
        return kwo::DetectionThreshold(setting.level, distFactor);
    case kwo::ThresholdSetting::Mode::automatic:
        return kwo::DetectionThreshold(std::nullopt, distFactor);
    case kwo::ThresholdSetting::Mode::adaptive:
        break;
    }
    kwo::ar::LocalThreshold local;
    local.offset = setting.offset.value_or(local.offset);
    return kwo::DetectionThreshold(local);
}

} // namespace

void KWO::setUpTracker(const Json::Value& document)
{
    const kwo::Setting config(document, "");
    const kwo::Setting tracking = config["tracking"];
    maxTracked = tracking.getUInt("max", 0);

    const kwo::StationCalibration calibration = kwo::loadStationCalibration(tracking, videoWidth, videoHeight);
    if (const auto warning = kwo::anotherShapeWarning(calibration, videoWidth, videoHeight)) {
        std::cerr << "Warning: " << *warning << std::endl;
        if (Ogre::LogManager* logs = Ogre::LogManager::getSingletonPtr())
            logs->logWarning(*warning);
    }
    const ARParam& resized = calibration.resized;
    Ogre::LogManager::getSingleton().logMessage(kwo::calibrationLogLine(calibration));
    trackedSize = kwo::chooseTrackedSize(videoWidth, videoHeight, kwo::readTrackingFactor(tracking));
    // Detection and poses work in the tracked copy: its calibration is the
    // one installed.
    ARParam trackedParam = kwo::trackedCalibration(resized, trackedSize);
    std::string reason;
    if (trackedSize.factor > 1 && kwo::ar::initCalibration(&trackedParam, &reason) < 0)
        failWithDetail("Camera load error", calibration.key + ": calibration file '" + calibration.file +
                                                "' does not fit frames of " + std::to_string(trackedSize.width) +
                                                "x" + std::to_string(trackedSize.height) + " (" + reason + ")");

    if (trackedSize.factor > 1)
        Ogre::LogManager::getSingleton().logMessage(
            "Markers looked for in the camera picture shrunk to " + std::to_string(trackedSize.width) + "x" +
            std::to_string(trackedSize.height) + " (1/" + std::to_string(trackedSize.factor) + "), shown at " +
            std::to_string(videoWidth) + "x" + std::to_string(videoHeight));

    steadying = kwo::readSteadying(tracking);
    // Poses come from the tracked copy, in millimetres like the picture's:
    // the engine's projection below stays the picture's.
    poseEstimates = kwo::libraryPoseEstimates(&trackedParam);

    const kwo::ClipDistances clip = kwo::readClipDistances(config["rendering"]);
    camera->setCustomProjectionMatrix(true, kwo::computeProjection(resized, clip.nearDistance, clip.farDistance));

    const kwo::ThresholdSetting thresholdSetting = kwo::readThreshold(tracking, "threshold", 100);
    threshold = detectionThreshold(thresholdSetting, trackedParam.dist_factor);
    Ogre::LogManager::getSingleton().logMessage(kwo::thresholdLogLine(thresholdSetting, threshold.setting()));
    tuning.setUp(resized, mirror);
    if (tuningKeys) {
        window->onTuningKey = [this](kwo::WindowEvent key) { tuning.handleKey(key, threshold); };
        Ogre::LogManager::getSingleton().logMessage("Tuning keys on: F2 tuning view, + and - threshold");
    }

    // The tracker's camera frame has y down and z forward; the engine camera
    // looks down -Z with y up.
    trackingRoot = sceneManager->getRootSceneNode()->createChildSceneNode(Ogre::Vector3::ZERO,
                                                                          Ogre::Quaternion::IDENTITY);
    trackingRoot->rotate(Ogre::Vector3::UNIT_X, Ogre::Degree(180), Ogre::Node::TS_LOCAL);

    reason.clear();
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
        object.width = kwo::readMarkerSize(entry["pattern"]);
        Ogre::LogManager::getSingleton().logMessage(
            kwo::patternLogLine(entry["pattern"].path() + "/file", patternFile, object.width, object.name));
        object.center[0] = object.center[1] = 0;
        object.markerNode->setVisible(false, true);
        object.visible = false;
        trackedObjects.push_back(object);
    }

    collisionPairs = kwo::readCollisionPairs(tracking["collisions"], trackedObjects);
}

void KWO::trackMarkers(unsigned char* frame)
{
    if (trackedSize.factor > 1) {
        kwo::shrinkPicture(frame, videoWidth, videoHeight, trackedSize, trackedPicture);
        frame = trackedPicture.data();
    }
    ARMarkerInfo* markers = nullptr;
    int markerCount = 0;
    const kwo::ar::Threshold used =
        threshold.forFrame(kwo::ar::FrameView::packed(frame, trackedSize.width, trackedSize.height));
    if (kwo::ar::detectMarker(frame, used, &markers, &markerCount) < 0)
        throw Exception("Tracking error");
    threshold.detected(markers, markerCount);
    if (trackedSize.factor > 1) {
        // The tuning view reads the list until the next frame's detection.
        markersInPicture = kwo::markersInPicture(markers, markerCount, trackedSize);
        tuning.detected(markersInPicture.data(), markerCount, used);
    } else {
        tuning.detected(markers, markerCount, used);
    }
    // The frame's time is when the loop took it: within one loop period of
    // its arrival, on the clock the hold is felt on.
    const double time = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    kwo::placeTrackedObjects(markers, markerCount, maxTracked, mirror, steadying, time, trackedObjects,
                             poseEstimates);
    if (tuning.shown())
        tuning.placed(trackedObjects, steadying, time);
}

void KWO::testCollisionPair(CollisionPair& pair)
{
    kwo::testCollisionPair(pair, trackedObjects);
}
