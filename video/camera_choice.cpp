#include "video/camera_choice.h"

#include "config/convert.h"
#include "config/exception.h"

namespace kwo {

std::string selectCamera(const CameraList& cameras, Json::Value& userConfig, const CameraChooser& choose)
{
    if (cameras.empty())
        throw Exception("No camera");
    std::string choice;
    if (cameras.size() == 1) {
        choice = cameras.front();
    } else {
        const Json::Value remembered = userConfig.isObject() ? userConfig.get("camera", "") : Json::Value("");
        choice = choose(cameras, asString(remembered));
        if (choice.empty())
            throw ProcessExit{0};
    }
    if (!userConfig.isObject())
        userConfig = Json::Value(Json::objectValue);
    // The technician's comments on the old value stay with the new one, as
    // every other comment of the user document does.
    Json::Value chosen(choice);
    userConfig["camera"].swapPayload(chosen);
    return choice;
}

} // namespace kwo
