#include "tests/support/screen.h"

#include "tests/support/files.h"
#include "tests/support/process.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kwo::test {
namespace {

Picture parsePpm(const std::string& data)
{
    std::istringstream in(data);
    // Header fields may be separated by comment lines (xwd puts the window's
    // name there).
    const auto field = [&in](auto& value) {
        while (in >> std::ws && in.peek() == '#')
            in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
        in >> value;
    };
    std::string magic;
    int width = 0, height = 0, maxValue = 0;
    field(magic);
    field(width);
    field(height);
    field(maxValue);
    in.get();
    if (magic != "P6" || width <= 0 || height <= 0 || maxValue != 255)
        throw std::runtime_error("not a picture");
    Picture picture{width, height, {}};
    picture.rgb.resize(static_cast<std::size_t>(width) * height * 3);
    in.read(reinterpret_cast<char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size()));
    return picture;
}

} // namespace

Picture loadPicture(const std::string& path)
{
    return parsePpm(shell("convert '" + path + "' -depth 8 ppm:- 2>/dev/null"));
}

void savePicture(const Picture& picture, const std::string& path)
{
    TempDir scratch;
    std::ostringstream ppm;
    ppm << "P6\n" << picture.width << " " << picture.height << "\n255\n";
    ppm.write(reinterpret_cast<const char*>(picture.rgb.data()), static_cast<std::streamsize>(picture.rgb.size()));
    scratch.write("picture.ppm", ppm.str());
    shell("convert '" + scratch.file("picture.ppm") + "' '" + path + "'");
}

Picture captureWindow(const std::string& windowId)
{
    const std::string target = windowId.empty() ? "-root" : "-id " + windowId;
    const std::string data = shell("xwd -silent " + target + " | convert xwd:- -depth 8 ppm:- 2>/dev/null");
    if (data.empty())
        return {};
    return parsePpm(data);
}

Picture captureDrawnWindow(const std::string& windowId, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        Picture picture = captureWindow(windowId);
        const bool drawn =
            std::any_of(picture.rgb.begin(), picture.rgb.end(), [](std::uint8_t value) { return value > 16; });
        if (drawn || std::chrono::steady_clock::now() >= deadline)
            return picture;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

std::string waitForWindow(const std::string& pattern, double seconds, bool onlyVisible)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    const std::string command =
        std::string("xdotool search ") + (onlyVisible ? "--onlyvisible " : "") + "--name '" + pattern + "' 2>/dev/null";
    while (std::chrono::steady_clock::now() < deadline) {
        std::istringstream ids(shell(command));
        std::string id;
        if (ids >> id)
            return id;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "";
}

Geometry windowGeometry(const std::string& windowId)
{
    Geometry g;
    std::istringstream in(shell("xwininfo -id " + windowId));
    std::string line;
    while (std::getline(in, line)) {
        auto value = [&](const char* key, int& out) {
            const std::size_t at = line.find(key);
            if (at != std::string::npos)
                out = std::stoi(line.substr(at + std::string(key).size()));
        };
        value("Absolute upper-left X:", g.x);
        value("Absolute upper-left Y:", g.y);
        value("Width:", g.width);
        value("Height:", g.height);
    }
    return g;
}

} // namespace kwo::test
