// A camera's caps as GStreamer reports them, here as text, with a requested
// size: the first two bytes choose the request (none, or a width and height
// from a small table), the rest is the caps text. Invariants: every mode
// found is a picture of a known size at a known rate; its own caps text, the
// text the camera is then opened with, reads back as exactly that mode; and
// the closest mode is one of them.
#include "video/camera_mode.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

std::optional<unsigned> requested(std::uint8_t choice)
{
    static const unsigned sizes[] = {0, 1, 160, 320, 640, 1280, 1920, 4096, 65535, 4294967295u};
    if (choice % 11 == 10)
        return std::nullopt;
    return sizes[choice % 11];
}

// Lists, ranges and arrays nested this deep are far beyond what a camera
// reports; GStreamer's parser recurses two frames a level, and the stacks of
// its leaks (below) must reach the frame that names them.
constexpr int maxNesting = 32;

int nestingDepth(const std::string& text)
{
    int depth = 0;
    int deepest = 0;
    for (const char c : text) {
        if (c == '{' || c == '[' || c == '<')
            deepest = std::max(deepest, ++depth);
        else if ((c == '}' || c == ']' || c == '>') && depth > 0)
            --depth;
    }
    return deepest;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool started = [] {
        gst_init(nullptr, nullptr);
        // GStreamer's own argument checks complain on stderr about much of
        // what fuzzed caps text holds (backward ranges, bad names); they are
        // the library refusing input, not faults here, and would bury the
        // fuzzer's own lines.
        g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
        return true;
    }();
    (void)started;
    if (size < 2)
        return 0;
    const std::optional<unsigned> width = requested(data[0]);
    const std::optional<unsigned> height = requested(data[1]);
    const std::string caps(reinterpret_cast<const char*>(data + 2), size - 2);
    if (caps.find('\0') != std::string::npos)
        return 0; // GStreamer reads caps text as a C string
    if (nestingDepth(caps) > maxNesting)
        return 0; // see the suppressions below

    const std::vector<kwo::CameraMode> modes = kwo::modesFromCapsText(caps, width, height);
    for (const kwo::CameraMode& mode : modes) {
        if (mode.width <= 0 || mode.height <= 0 || mode.rateNumerator < 0 || mode.rateDenominator <= 0 ||
            mode.media.empty())
            std::abort();
        const std::vector<kwo::CameraMode> again = kwo::modesFromCapsText(mode.capsText());
        if (again.size() != 1 || again.front() != mode)
            std::abort();
        mode.label();
    }
    const auto closest = kwo::closestMode(modes, width, height);
    if (modes.empty() != !closest || (closest && *closest >= modes.size()))
        std::abort();
    return 0;
}

// GStreamer 1.22 leaks the partly read value when caps text breaks off
// inside a list or a range ("{ YUY2, <garbage>", "[ 0/1, -0/1 ]"); that is
// the library's, not the parsing's here; and GLib keeps memory it allocates
// while it is loaded. The suppressions need whole stacks: GLib's allocator has
// no frame pointers to unwind by, and a list nested 32 deep puts its leak
// some 90 frames below gst_caps_from_string.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:gst_caps_from_string\nleak:_dl_init\n";
}
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0:malloc_context_size=128";
}
