#include "app/kwo.h"

#include "app/window.h"
#include "scene/frame_picture.h"
#include "scene/picture_dimmer.h"
#include "video/ar_video.h"

#include <OgreAnimationState.h>
#include <OgreLogManager.h>
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
        pacer.pause();
        figures.idle(kwo::RunFigures::Clock::now());
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return true;
    }
    figures.frameDrawn(kwo::RunFigures::Clock::now());
    for (Ogre::AnimationState* state : animationStates)
        if (state->getEnabled())
            state->addTime(evt.timeSinceLastFrame);

    unsigned char* image = arVideoGetImage();
    showCameraLost(kwo::videoLost());
    if (!image)
        return true;
    // The video library lends the frame top row first, as the texture and
    // the marker detector take it; it is ours to change until arVideoCapNext.
    if (fixVideo)
        kwo::blankTopRow(image, videoWidth, videoHeight);
    kwo::uploadFrame(*videoBuffer, image, videoWidth, videoHeight);
    trackMarkers(image);
    if (tuning.shown())
        kwo::uploadFrame(*videoBuffer, tuning.draw(image, videoWidth, videoHeight, threshold), videoWidth, videoHeight);
    for (CollisionPair& pair : collisionPairs)
        testCollisionPair(pair);
    arVideoCapNext();
    return true;
}

// The wait for the next frame's turn comes after the picture is shown, so
// that the next frame reads input and the camera as late as it can and the
// engine's time since the last frame (which drives the animations) spans the
// wait.
bool KWO::frameEnded(const Ogre::FrameEvent&)
{
    if (!renderWindow->isVisible())
        return true;
    const bool wasPacing = pacer.pacing();
    const kwo::FramePacer::Clock::time_point due = pacer.frameDue(kwo::FramePacer::Clock::now());
    if (pacer.pacing() && !wasPacing)
        Ogre::LogManager::getSingleton().logMessage(
            "The driver does not wait for the display: frames paced to " +
            std::to_string(static_cast<int>(pacer.refreshHz() + 0.5)) + " Hz");
    std::this_thread::sleep_until(due);
    return true;
}

// Creatures stand on what the camera sees; without a camera there is nothing
// to stand on. They are hidden at once, held or not, and tracking starts
// afresh when the camera is back.
void KWO::showCameraLost(bool lost)
{
    if (lost == lostLook->dimmed())
        return;
    lostLook->setDimmed(lost);
    if (lost) {
        kwo::hideTrackedObjects(trackedObjects);
        for (CollisionPair& pair : collisionPairs)
            testCollisionPair(pair);
    }
}
