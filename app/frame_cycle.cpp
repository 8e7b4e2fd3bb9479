#include "app/kwo.h"

#include "app/window.h"
#include "scene/frame_picture.h"
#include "scene/picture_dimmer.h"
#include "video/ar_video.h"

#include <OgreAnimationState.h>
#include <OgreRenderWindow.h>

#include <chrono>
#include <thread>

bool KWO::frameStarted(const Ogre::FrameEvent& evt)
{
    window->pumpEvents();
    if (!running) {
        window->hide();
        return false;
    }
    // Minimised: nothing is drawn, so nothing is worth preparing.
    if (!renderWindow->isVisible()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return true;
    }
    for (Ogre::AnimationState* state : animationStates)
        if (state->getEnabled())
            state->addTime(evt.timeSinceLastFrame);

    unsigned char* image = arVideoGetImage();
    showCameraLost(kwo::videoLost());
    if (!image)
        return true;
    // The video library delivers the bottom row first; turned over in place,
    // the frame is top row first for the texture and the marker detector.
    if (fixVideo)
        kwo::blankLastRow(image, videoWidth, videoHeight);
    kwo::flipRows(image, videoWidth, videoHeight, flipRows);
    kwo::uploadFrame(*videoBuffer, image, videoWidth, videoHeight);
    trackMarkers(image);
    for (CollisionPair& pair : collisionPairs)
        testCollisionPair(pair);
    arVideoCapNext();
    return true;
}

// Creatures stand on what the camera sees; without a camera there is nothing
// to stand on. Hiding them goes through the usual placement with no markers,
// so tracking starts afresh when the camera is back.
void KWO::showCameraLost(bool lost)
{
    if (lost == lostLook->dimmed())
        return;
    lostLook->setDimmed(lost);
    if (lost) {
        kwo::placeTrackedObjects(nullptr, 0, maxTracked, mirror, trackedObjects, poseEstimates);
        for (CollisionPair& pair : collisionPairs)
            testCollisionPair(pair);
    }
}
