#include "app/kwo.h"

#include "app/dialogs.h"
#include "app/program_folder.h"
#include "app/settings_check.h"
#include "app/station_log.h"
#include "app/window.h"
#include "config/convert.h"
#include "config/documents.h"
#include "config/setting.h"
#include "scene/engine.h"
#include "scene/picture_dimmer.h"
#include "scene/scaled_presentation.h"
#include "video/ar_video.h"
#include "video/video_config.h"

#include <OgreGpuProgramManager.h>
#include <OgreLogManager.h>
#include <OgreRenderWindow.h>
#include <OgreMaterialManager.h>
#include <OgreMeshManager.h>
#include <OgreRectangle2D.h>
#include <OgreRoot.h>
#include <OgreSkeletonManager.h>
#include <OgreTextureManager.h>

#include <iostream>

KWO::KWO(const std::string& configPath, bool tuningKeys) : tuningKeys(tuningKeys)
{
    kwo::enterProgramFolder();

    Json::Value config;
    Json::Value userConfig;
    const std::string mainPath = kwo::mainDocumentPath(configPath);
    kwo::loadConfiguration(
        configPath, config, userConfig,
        [&](const std::string& message) { return kwo::askContinueWithDefaults(message, mainPath); }, &notes);
    // Every value is read and checked before the camera and the window are
    // opened: a mistake in the documents is named by its key at once.
    kwo::checkSettings(config, notes);

    selectCamera(userConfig);
    openVideo(config, userConfig);
    startEngine(config);
    // The log names the camera and its mode; the tracker's stage adds the
    // calibration, the patterns and the threshold.
    const std::string deviceText = kwo::buildVideoConfig(config["video"], kwo::asString(userConfig["camera"]));
    Ogre::LogManager::getSingleton().logMessage(kwo::cameraLogLine(videoDevices, deviceText, videoWidth, videoHeight));
    setUpRendering(config);
    createVideoBackground(config);
    setUpTracker(config);
    fixVideo = kwo::Setting(config, "")["misc"].getBool("fix_video", false);

    // The show runs all the same; the next start-up reads the old document.
    if (const auto problem = kwo::saveUserConfig(userConfig))
        notes.warn("user.config cannot be written (" + *problem + "); the camera choice is not remembered");
    notes.alsoTo(nullptr);
    root->addFrameListener(this);
    window->show();
}

KWO::~KWO()
{
    // The engine log goes with the engine: the video's lines go back to
    // standard error alone.
    kwo::setVideoMessageSink([](const std::string& line) { std::cerr << line << std::endl; });
    if (videoOpen)
        arVideoClose();
    root->removeFrameListener(this);
    sceneManager->destroyAllStaticGeometry();
    sceneManager->destroyAllMovableObjects();
    sceneManager->destroyAllAnimationStates();
    sceneManager->destroyAllAnimations();
    // Our own rectangles were not made by the scene manager's factories; they
    // hold engine buffers, so they go while the engine still runs.
    lostLook.reset();
    rectangles.clear();
    presentation.reset();
    videoBuffer.reset();
    videoTexture.reset();
    root->destroySceneManager(sceneManager);
    Ogre::MeshManager::getSingleton().removeAll();
    Ogre::SkeletonManager::getSingleton().removeAll();
    Ogre::MaterialManager::getSingleton().removeAll();
    Ogre::GpuProgramManager::getSingleton().removeAll();
    // Shadow textures stay: the engine frees them itself when the root goes,
    // and fails if they were taken from the texture manager before.
    Ogre::TextureManager::getSingleton().removeUnreferencedResources();
    kwo::deleteRoot(root);
    window.reset();
    collisionPairs.clear();
    animationStates.clear();
    trackedObjects.clear();
}

void KWO::run()
{
    running = true;
    // Whoever looks after the station finds a camera's loss and return in
    // the engine log as well.
    kwo::setVideoMessageSink([](const std::string& line) {
        std::cerr << line << std::endl;
        Ogre::LogManager::getSingleton().logMessage(line);
    });
    arVideoCapStart();
    figures = kwo::RunFigures(kwo::RunFigures::Clock::now());
    root->startRendering();
    const kwo::RunFigures::Summary summary = figures.summary(kwo::RunFigures::Clock::now());
    arVideoCapStop();
    // The value to put into the configuration after tuning on screen.
    Ogre::LogManager::getSingleton().logMessage(threshold.describe());
    // For whoever looks after the station: how smoothly the run went.
    Ogre::LogManager::getSingleton().logMessage(kwo::RunFigures::describe(summary));
}

