#include "tracking/marker_tracking.h"

#include <OgreMatrix3.h>
#include <OgreQuaternion.h>
#include <OgreSceneNode.h>

namespace kwo {
namespace {

ARMarkerInfo* mostConfidentMarker(ARMarkerInfo* markers, int markerCount, int patternId)
{
    ARMarkerInfo* chosen = nullptr;
    for (int i = 0; i < markerCount; ++i)
        if (markers[i].id == patternId && (!chosen || markers[i].cf > chosen->cf))
            chosen = &markers[i];
    return chosen;
}

void hide(TrackedObject& object)
{
    object.markerNode->setVisible(false, true);
    object.visible = false;
}

void applyPose(TrackedObject& object, bool mirror)
{
    Ogre::Matrix3 rotation;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            rotation[r][c] = static_cast<Ogre::Real>(object.transform[r][c]);
    Ogre::Vector3 position(static_cast<Ogre::Real>(object.transform[0][3]),
                           static_cast<Ogre::Real>(object.transform[1][3]),
                           static_cast<Ogre::Real>(object.transform[2][3]));
    Ogre::Quaternion orientation;
    orientation.FromRotationMatrix(rotation);
    if (mirror) {
        // Reflect across the camera's x = 0 plane, as the picture is.
        position.x = -position.x;
        orientation.y = -orientation.y;
        orientation.z = -orientation.z;
    }
    object.markerNode->setOrientation(orientation);
    object.markerNode->setPosition(position);
}

} // namespace

PoseEstimates libraryPoseEstimates()
{
    return {
        [](ARMarkerInfo* marker, double center[2], double width, double conv[3][4]) {
            return arGetTransMat(marker, center, width, conv);
        },
        [](ARMarkerInfo* marker, double previous[3][4], double center[2], double width, double conv[3][4]) {
            return arGetTransMatCont(marker, previous, center, width, conv);
        },
    };
}

void placeTrackedObjects(ARMarkerInfo* markers, int markerCount, unsigned maxTracked, bool mirror,
                         std::vector<TrackedObject>& objects, const PoseEstimates& estimates)
{
    unsigned placed = 0;
    for (TrackedObject& object : objects) {
        ARMarkerInfo* marker = mostConfidentMarker(markers, markerCount, object.patternId);
        if (!marker || (maxTracked != 0 && placed >= maxTracked)) {
            hide(object);
            continue;
        }
        const double error = object.visible
                                 ? estimates.continuous(marker, object.transform, object.center, object.width,
                                                        object.transform)
                                 : estimates.fresh(marker, object.center, object.width, object.transform);
        if (error < 0)
            continue;
        if (!object.visible) {
            object.visible = true;
            object.markerNode->setVisible(true, true);
        }
        applyPose(object, mirror);
        ++placed;
    }
}

} // namespace kwo
