#include "app/kwo.h"

// Camera choice and video device: not built yet.
void KWO::selectCamera(Json::Value&) {}
void KWO::openVideo(const Json::Value&, const Json::Value&) {}
