#include "app/settings_check.h"

#include "config/exception.h"
#include "config/readers.h"
#include "config/startup_notes.h"
#include "config/threshold_setting.h"
#include "scene/engine.h"
#include "scene/object_settings.h"
#include "scene/rendering_settings.h"
#include "scene/video_background.h"
#include "tracking/collision_pairs.h"
#include "tracking/steadying_setting.h"
#include "tracking/tracked_size.h"
#include "video/video_config.h"

#include <cmath>
#include <vector>

namespace kwo {

double readMarkerSize(const Setting& pattern)
{
    const Setting size = pattern["size"];
    const double millimetres = size.asDouble();
    if (!(millimetres > 0) || !std::isfinite(static_cast<float>(millimetres)))
        throw Exception(size.path() + ": " + size.written() + " is not a size in millimetres above 0");
    return millimetres;
}

void checkSettings(const Json::Value& document, StartupNotes& notes)
{
    const Setting config(document, "", &notes);

    // Camera and video device.
    buildVideoConfig(config["video"], "");

    // Engine start-up.
    const WindowSettings window = readWindowSettings(config["window"]);
    readMediaLocations(config["media"]["locations"]);

    // Rendering options, lights, then the video background.
    const Setting rendering = config["rendering"];
    readRenderingSettings(rendering, config["graphics"]["lights"]);
    readViewportPlacement(rendering["viewport"], window.width, window.height);
    rendering.getString("scheme", "Low");
    readPixelFormat(rendering["pixel"]);

    // The tracker, its objects and the collision pairs.
    const Setting tracking = config["tracking"];
    tracking.getUInt("max", 0);
    tracking.text("params");
    readClipDistances(rendering);
    readThreshold(tracking, "threshold", 100);
    readSteadying(tracking);
    readTrackingFactor(tracking);
    std::vector<TrackedObject> objects;
    const Setting entries = tracking["objects"];
    for (unsigned i = 0; i < entries.size(); ++i) {
        TrackedObject object;
        object.name = entries[i].name("name");
        readGraphicsObject(config, object.name);
        readDebugMeshes(config);
        entries[i]["pattern"].text("file");
        object.width = readMarkerSize(entries[i]["pattern"]);
        objects.push_back(object);
    }
    readCollisionPairs(tracking["collisions"], objects);

    config["misc"].getBool("fix_video", false);
}

} // namespace kwo
