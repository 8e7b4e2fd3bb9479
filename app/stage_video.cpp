#include "app/kwo.h"

// Camera choice and video device: not built yet.
void KWO::selectCamera(Json::Value&) {}
void KWO::openVideo(const Json::Value&, const Json::Value&)
{
    // Stand-in frame size until the video library lands.
    videoWidth = 320;
    videoHeight = 240;
}
