#include "app/kwo.h"

#include "app/dialogs.h"
#include "app/program_folder.h"
#include "app/window.h"
#include "config/convert.h"
#include "config/documents.h"
#include "config/setting.h"
#include "video/ar_video.h"

KWO::KWO(const std::string& configPath)
{
    kwo::enterProgramFolder();

    Json::Value config;
    Json::Value userConfig;
    kwo::loadConfiguration(configPath, config, userConfig, kwo::askContinueWithDefaults);

    selectCamera(userConfig);
    openVideo(config, userConfig);
    startEngine(config);
    setUpRendering(config);
    createVideoBackground(config);
    setUpTracker(config);
    fixVideo = kwo::Setting(config, "")["misc"].getBool("fix_video", false);

    kwo::saveUserConfig(userConfig);
    // Stages that exist later register the frame listener and show the window.
}

KWO::~KWO()
{
    if (videoOpen)
        arVideoClose();
}

void KWO::run()
{
    running = true;
    arVideoCapStart();
    // The rendering loop runs here.
    arVideoCapStop();
}

bool KWO::frameStarted(const Ogre::FrameEvent&)
{
    return running;
}

