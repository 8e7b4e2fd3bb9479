#pragma once

#include "app/drawing_pace.h"
#include "app/frame_pacer.h"
#include "app/run_figures.h"
#include "app/tuning_view.h"
#include "config/exception.h"
#include "config/startup_notes.h"
#include "config/unique_names.h"
#include "tracking/detection_threshold.h"
#include "tracking/marker_tracking.h"
#include "tracking/tracked_size.h"
#include "tracking/tracked_object.h"
#include "video/video_devices.h"

#include <OgreFrameListener.h>
#include <OgreHardwarePixelBuffer.h>
#include <OgreTexture.h>

#include <json/value.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace Ogre {
class AnimationState;
class Camera;
class Rectangle2D;
class RenderTarget;
class RenderWindow;
class Root;
class SceneManager;
class SceneNode;
} // namespace Ogre

namespace kwo {
class AppWindow;
class PictureDimmer;
class ScaledPresentation;
struct WindowSettings;
}

// The application object: its constructor runs the whole start-up as a fixed
// list of stages, the engine calls frameStarted once per frame, and the
// destructor takes everything down in reverse dependency order. Exactly one
// exists per process; it is never copied or moved (the window holds the
// address of `running`).
class KWO : public Ogre::FrameListener {
public:
    using Exception = kwo::Exception;

    // With `tuningKeys`, F2 and +/- answer (the technician's tuning run);
    // without, every key but Escape does nothing.
    explicit KWO(const std::string& configPath, bool tuningKeys = false);
    ~KWO() override;
    KWO(const KWO&) = delete;
    KWO& operator=(const KWO&) = delete;

    bool frameStarted(const Ogre::FrameEvent& evt) override;
    bool frameRenderingQueued(const Ogre::FrameEvent&) override { return true; }
    bool frameEnded(const Ogre::FrameEvent&) override;

    // The run: raise the flag, start capture, render until the flag drops,
    // stop capture.
    void run();

private:
    // Start-up stages, in the order the constructor runs them.
    void selectCamera(Json::Value& userConfig);
    void openVideo(const Json::Value& config, const Json::Value& userConfig);
    void startEngine(const Json::Value& config);
    void setUpRendering(const Json::Value& config);
    void createVideoBackground(const Json::Value& config);
    Ogre::RenderTarget& showTarget(const kwo::WindowSettings& windowSettings);
    void setUpTracker(const Json::Value& config);

    // Per-frame steps after the upload.
    void trackMarkers(unsigned char* frame);
    void testCollisionPair(CollisionPair& pair);
    // While the camera is lost: the picture darkened and no creature shown.
    void showCameraLost(bool lost);
    // Sleeps until the next frame's turn (see DrawingPace).
    void waitForNextFrame();
    // Chooses how often the show is drawn, once the renderer is known.
    void chooseDrawingPace(const kwo::WindowSettings& windowSettings);

    std::unique_ptr<kwo::AppWindow> window;
    Ogre::Root* root = nullptr;
    Ogre::RenderWindow* renderWindow = nullptr;
    Ogre::TexturePtr videoTexture;
    Ogre::HardwarePixelBufferSharedPtr videoBuffer;
    Ogre::SceneManager* sceneManager = nullptr;
    Ogre::Camera* camera = nullptr;
    std::vector<TrackedObject> trackedObjects;
    std::vector<Ogre::AnimationState*> animationStates;
    std::vector<CollisionPair> collisionPairs;
    // The capture devices found when the camera was chosen (the log names
    // the one opened).
    std::vector<kwo::VideoDevice> videoDevices;
    int videoWidth = 0;
    int videoHeight = 0;
    kwo::DetectionThreshold threshold;
    unsigned maxTracked = 0;
    bool mirror = false;
    bool running = false;
    bool fixVideo = false;
    bool backdropChanges = false; // the backdrop viewport shows more than the still backdrop (the shadow panel)

    kwo::StartupNotes notes{std::cerr}; // warnings of the start-up: standard error, then the engine log too
    kwo::UniqueNameCounter names;       // the one counter behind every "KWO/..." name
    Ogre::SceneNode* trackingRoot = nullptr;
    kwo::PoseEstimates poseEstimates = kwo::libraryPoseEstimates(); // made once, used every frame
    kwo::Steadying steadying; // tracking/smoothing and tracking/hold
    kwo::TrackedSize trackedSize;                 // the copy of the picture markers are looked for in
    std::vector<unsigned char> trackedPicture;    // that copy when it is smaller, made anew each frame
    std::vector<ARMarkerInfo> markersInPicture;   // the frame's markers in the picture's pixels (tuning view)
    bool videoOpen = false;
    std::vector<std::unique_ptr<Ogre::Rectangle2D>> rectangles; // backdrop, video, shadow view: ours to delete
    std::unique_ptr<kwo::PictureDimmer> lostLook; // on the video rectangle's material
    std::unique_ptr<kwo::ScaledPresentation> presentation; // full screen drawn at the configured size; else null
    kwo::FramePacer pacer;   // set up with the window, whose display it follows
    kwo::DrawingPace pace;   // whether the loop waits for the camera as well
    unsigned char* pictureWaiting = nullptr; // a camera picture taken while waiting, not yet shown
    kwo::RunFigures figures; // restarted when the run starts
    kwo::TuningView tuning;  // the technician's view of what the detector sees
    bool tuningKeys = false;
};
