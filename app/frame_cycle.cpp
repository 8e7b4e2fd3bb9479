#include "app/kwo.h"

#include "app/window.h"
#include "scene/frame_picture.h"
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
    if (!image)
        return true;
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
