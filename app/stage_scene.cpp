#include "app/kwo.h"

// Engine, rendering options and video background: not built yet.
void KWO::startEngine(const Json::Value&) {}
void KWO::setUpRendering(const Json::Value&) {}
void KWO::createVideoBackground(const Json::Value&) {}
