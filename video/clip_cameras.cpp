#include "video/clip_cameras.h"

#include <glib.h>

#include <cstdlib>
#include <memory>

namespace kwo {
namespace {

// A file name as GLib shows it: unchanged when it is UTF-8, otherwise with
// each byte that is not replaced by U+FFFD. The name travels through the
// camera list, "user.config" and the UTF-8 device text; the raw bytes stay in
// the location, which is what gets opened.
std::string displayName(const std::string& fileName)
{
    if (g_utf8_validate(fileName.data(), static_cast<gssize>(fileName.size()), nullptr))
        return fileName;
    const std::unique_ptr<gchar, decltype(&g_free)> shown(g_filename_display_name(fileName.c_str()), &g_free);
    return shown ? std::string(shown.get()) : fileName;
}

} // namespace

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
            clip.name = displayName(slash == std::string::npos ? path : path.substr(slash + 1));
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
