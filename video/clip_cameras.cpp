#include "video/clip_cameras.h"

#include <cstdlib>

namespace kwo {

std::vector<VideoDevice> clipCameras(const std::string& variableValue)
{
    std::vector<VideoDevice> clips;
    std::size_t begin = 0;
    while (begin <= variableValue.size()) {
        std::size_t end = variableValue.find(':', begin);
        if (end == std::string::npos)
            end = variableValue.size();
        const std::string path = variableValue.substr(begin, end - begin);
        if (!path.empty()) {
            const std::size_t slash = path.find_last_of('/');
            VideoDevice clip;
            clip.kind = VideoDevice::Kind::Clip;
            clip.name = slash == std::string::npos ? path : path.substr(slash + 1);
            clip.location = path;
            clips.push_back(std::move(clip));
        }
        begin = end + 1;
    }
    return clips;
}

std::vector<VideoDevice> clipCamerasFromEnvironment()
{
    const char* value = std::getenv(clipCamerasVariable);
    return value ? clipCameras(value) : std::vector<VideoDevice>{};
}

} // namespace kwo
