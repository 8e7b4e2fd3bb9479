#include "app/kwo.h"

#include "config/convert.h"
#include "video/ar_video.h"
#include "video/camera_choice.h"
#include "video/camera_dialog.h"
#include "video/camera_list.h"
#include "video/video_config.h"

// Camera choice: the one camera there is, or the user's pick among several.
// The name lands in the user document, which is written at the end of start-up.
void KWO::selectCamera(Json::Value& userConfig)
{
    videoDevices = kwo::findVideoDevices();
    kwo::CameraList cameras;
    kwo::listCameras(videoDevices, cameras);
    kwo::selectCamera(cameras, userConfig, kwo::chooseCamera);
}

// Opens the chosen camera and learns the size of its frames, which may differ
// from the size the configuration asked for.
void KWO::openVideo(const Json::Value& config, const Json::Value& userConfig)
{
    const std::string text = kwo::buildVideoConfig(config["video"], kwo::asString(userConfig["camera"]));
    if (arVideoOpen(text.c_str()) < 0)
        throw Exception("Can't open video");
    videoOpen = true;
    if (arVideoInqSize(&videoWidth, &videoHeight) < 0)
        throw Exception("Can't open video");
}
