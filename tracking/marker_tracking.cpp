#include "tracking/marker_tracking.h"

#include "tracking/ar/pose.h"

#include <OgreMatrix3.h>
#include <OgreQuaternion.h>
#include <OgreSceneNode.h>

#include <memory>

namespace kwo {
namespace {

void hide(TrackedObject& object)
{
    object.markerNode->setVisible(false, true);
    object.visible = false;
}

void applyPose(Ogre::SceneNode& node, const Ogre::Quaternion& q, const Ogre::Vector3& p, bool mirror)
{
    Ogre::Vector3 position = p;
    Ogre::Quaternion orientation = q;
    if (mirror) {
        // Reflect across the camera's x = 0 plane, as the picture is.
        position.x = -position.x;
        orientation.y = -orientation.y;
        orientation.z = -orientation.z;
    }
    node.setOrientation(orientation);
    node.setPosition(position);
}

// The transform as it is, narrowed to the engine's floats.
void applyTransform(TrackedObject& object, bool mirror)
{
    Ogre::Matrix3 rotation;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            rotation[r][c] = static_cast<Ogre::Real>(object.transform[r][c]);
    Ogre::Quaternion orientation;
    orientation.FromRotationMatrix(rotation);
    applyPose(*object.markerNode, orientation,
              Ogre::Vector3(static_cast<Ogre::Real>(object.transform[0][3]),
                            static_cast<Ogre::Real>(object.transform[1][3]),
                            static_cast<Ogre::Real>(object.transform[2][3])),
              mirror);
}

void applySteadied(TrackedObject& object, bool mirror)
{
    const MarkerPose& pose = object.filter.pose();
    const Orientation& q = pose.orientation;
    applyPose(*object.markerNode,
              Ogre::Quaternion(static_cast<Ogre::Real>(q.w), static_cast<Ogre::Real>(q.x),
                               static_cast<Ogre::Real>(q.y), static_cast<Ogre::Real>(q.z)),
              Ogre::Vector3(static_cast<Ogre::Real>(pose.position[0]), static_cast<Ogre::Real>(pose.position[1]),
                            static_cast<Ogre::Real>(pose.position[2])),
              mirror);
}

} // namespace

PoseEstimates libraryPoseEstimates(const ARParam* calibration)
{
    PoseEstimates estimates{
        [](ARMarkerInfo* marker, double center[2], double width, double conv[3][4]) {
            return arGetTransMat(marker, center, width, conv);
        },
        [](ARMarkerInfo* marker, double previous[3][4], double center[2], double width, double conv[3][4]) {
            return arGetTransMatCont(marker, previous, center, width, conv);
        },
        nullptr,
    };
    auto prepared = std::make_shared<ar::Calibration>();
    if (calibration && ar::prepareCalibration(*calibration, *prepared))
        estimates.nearest = [prepared](ARMarkerInfo* marker, double previous[3][4], double center[2], double width,
                                       double conv[3][4]) {
            return ar::estimatePoseNear(*prepared, *marker, center, width, previous, conv);
        };
    return estimates;
}

void placeTrackedObjects(ARMarkerInfo* markers, int markerCount, unsigned maxTracked, bool mirror,
                         const Steadying& steadying, double time, std::vector<TrackedObject>& objects,
                         const PoseEstimates& estimates)
{
    std::vector<NodeChange> changes;
    planPlacements(markers, markerCount, maxTracked, steadying, time, objects, estimates, changes);
    for (std::size_t i = 0; i < objects.size(); ++i) {
        TrackedObject& object = objects[i];
        switch (changes[i]) {
        case NodeChange::hide:
            hide(object);
            break;
        case NodeChange::keep:
            break;
        case NodeChange::showPlace:
            object.markerNode->setVisible(true, true);
            [[fallthrough]];
        case NodeChange::place:
            if (steadying.smoothing && object.filter.started())
                applySteadied(object, mirror);
            else
                applyTransform(object, mirror);
            break;
        }
    }
}

void placeTrackedObjects(ARMarkerInfo* markers, int markerCount, unsigned maxTracked, bool mirror,
                         std::vector<TrackedObject>& objects, const PoseEstimates& estimates)
{
    placeTrackedObjects(markers, markerCount, maxTracked, mirror, Steadying{}, 0, objects, estimates);
}

void hideTrackedObjects(std::vector<TrackedObject>& objects)
{
    forgetMarkers(objects);
    for (TrackedObject& object : objects)
        hide(object);
}

} // namespace kwo
