#include "tests/app/viewer_session.h"

#include "config/documents.h"
#include "tests/support/process.h"
#include "tests/support/viewer.h"

#include <json/reader.h>
#include <json/writer.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <unistd.h>

namespace kwo::test {
namespace {

Json::Value parse(const std::string& text)
{
    Json::Value value;
    Json::Reader reader;
    if (!reader.parse(text, value))
        throw std::runtime_error("bad test document: " + reader.getFormattedErrorMessages());
    return value;
}

// Where a viewer that shows no window is waiting: each thread's name, state
// and kernel wait, and its stack when a debugger is at hand. A start-up that
// hangs (a camera probe, a driver) is otherwise seen only as a timeout.
std::string whereItWaits(pid_t pid)
{
    std::string report;
    const std::string task = "/proc/" + std::to_string(pid) + "/task";
    std::error_code unreadable;
    for (const auto& thread : std::filesystem::directory_iterator(task, unreadable)) {
        const auto read = [&](const char* name) {
            std::ifstream in(thread.path() / name);
            std::string text;
            std::getline(in, text);
            return text;
        };
        const std::string stat = read("stat");
        const std::size_t close = stat.rfind(')');
        report += "  " + read("comm") + " " + (close != std::string::npos ? stat.substr(close + 2, 1) : "?") +
                  " " + read("wchan") + "\n";
    }
    report += shell("command -v gdb >/dev/null && gdb -p " + std::to_string(pid) +
                        " -batch -ex 'thread apply all bt 12' 2>/dev/null | grep -E '^(Thread|#)'",
                    std::chrono::seconds(60));
    return report;
}

} // namespace

std::string viewerDocument(const std::string& overrides)
{
    Json::Value document = parse(std::string(R"({
        "window": {"fullscreen": false, "title": ")") + viewerTitle + R"("},
        "media": {"locations": ["./media/graphics/Core.dat"]},
        "tracking": {"objects": [], "collisions": []},
        "misc": {"fix_video": false}
    })");
    mergeConfig(document, parse(overrides));
    return Json::StyledWriter().write(document);
}

ViewerSession::ViewerSession(const std::string& document, std::vector<std::string> environment,
                             std::vector<std::string> arguments)
    : environment(environment.empty() ? clipCameraEnvironment() : std::move(environment)),
      arguments(std::move(arguments))
{
    folder.write("kwo.config", document);
}

void ViewerSession::launch(const std::string& workingDirectory)
{
    std::vector<std::string> command{folder.executable()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    running = std::make_unique<Process>(command, workingDirectory.empty() ? folder.path() : workingDirectory,
                                        environment);
}

std::string ViewerSession::start(const std::string& workingDirectory)
{
    launch(workingDirectory);
    windowId = waitForWindow(std::string("^") + viewerTitle + "$", 30);
    if (windowId.empty() && running->running())
        std::cerr << "The viewer shows no window after 30 s; its threads:\n" << whereItWaits(running->pid());
    return windowId;
}

Picture ViewerSession::capture(double settleSeconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(settleSeconds));
    // On a loaded machine the first frame may still be on its way.
    return captureDrawnWindow(windowId);
}

void ViewerSession::press(const std::string& keys)
{
    pressKeys(windowId, keys);
}

ProcessResult ViewerSession::finish(double seconds)
{
    return running->wait(std::chrono::milliseconds(static_cast<long>(seconds * 1000)));
}

double cpuSeconds(int pid, int thread)
{
    std::ifstream in("/proc/" + std::to_string(pid) + (thread ? "/task/" + std::to_string(thread) : "") + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; fields >> field; ++i)
        if (i == 14 || i == 15)
            ticks += std::stod(field);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

Extents frameExtents(const std::string& windowId)
{
    const std::string text = shell("xprop -id " + windowId + " _NET_FRAME_EXTENTS 2>/dev/null");
    Extents extents;
    const std::size_t at = text.find('=');
    if (at != std::string::npos) {
        std::string numbers = text.substr(at + 1);
        for (char& c : numbers)
            if (c == ',')
                c = ' ';
        std::istringstream in(numbers);
        in >> extents.left >> extents.right >> extents.top >> extents.bottom;
    }
    return extents;
}

Picture backdropPicture()
{
    return loadPicture(KWO_BACKDROP_PICTURE);
}

} // namespace kwo::test
