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
    const kwo::RunFigures::Clock::time_point start = kwo::RunFigures::Clock::now();
    figures.frameDrawn(start);
    pace.frameStarted(start);
    for (Ogre::AnimationState* state : animationStates)
        if (state->getEnabled())
            state->addTime(evt.timeSinceLastFrame);

    unsigned char* image = pictureWaiting ? pictureWaiting : arVideoGetImage();
    pictureWaiting = nullptr;
    showCameraLost(kwo::videoLost());
    if (!image)
        return true;
    // The video library lends the frame top row first, as the texture and
    // the marker detector take it; it is ours to change until arVideoCapNext.
    if (fixVideo)
        kwo::blankTopRow(image, videoWidth, videoHeight);
    kwo::uploadFrame(*videoBuffer, image, videoWidth, videoHeight);
    figures.pictureShown();
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
    waitForNextFrame();
    return true;
}

void KWO::waitForNextFrame()
{
    const bool wasPacing = pacer.pacing();
    const kwo::FramePacer::Clock::time_point due = pacer.frameDue(kwo::FramePacer::Clock::now());
    if (pacer.pacing() && !wasPacing)
        Ogre::LogManager::getSingleton().logMessage(
            "The driver does not wait for the display: frames paced to " +
            std::to_string(static_cast<int>(pacer.refreshHz() + 0.5)) + " Hz");
    if (!pace.followsCamera()) {
        std::this_thread::sleep_until(due);
        return;
    }
    // Following the camera: between looks the loop sleeps; each look takes a
    // new camera picture if there is one (kept for the next frame, which
    // shows it), watches over the camera and handles the window's events.
    bool news = false;
    for (;;) {
        const kwo::DrawingPace::Clock::time_point now = kwo::DrawingPace::Clock::now();
        if (pace.drawNow(now, due, news))
            return;
        std::this_thread::sleep_until(pace.nextLook(now, due));
        if (window->pumpEvents() || !running || !renderWindow->isVisible())
            news = true;
        if (!pictureWaiting)
            pictureWaiting = arVideoGetImage();
        news = news || pictureWaiting || kwo::videoLost() != lostLook->dimmed();
    }
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
