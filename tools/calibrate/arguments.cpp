#include "tools/calibrate/arguments.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace kwo::calibrate {

namespace {

std::optional<long> wholeNumber(const std::string& text, long low, long high) {
    if (text.empty() || text.size() > 12) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value < low || value > high) return std::nullopt;
    return value;
}

std::optional<double> decimalNumber(const std::string& text, double low, double high) {
    if (text.empty() || text.size() > 20) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < low || value > high) return std::nullopt;
    return value;
}

} // namespace

std::optional<Options> parseArguments(const std::vector<std::string>& arguments, std::string& error) {
    Options options;
    int tasks = 0;
    bool help = false;
    auto fail = [&](const std::string& text) {
        error = text;
        return std::optional<Options>();
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name == "--help" || name == "-h") {
            help = true;
            continue;
        }
        if (name == "--list-cameras") {
            options.task = Options::Task::ListCameras;
            ++tasks;
            continue;
        }
        if (name == "--no-window") {
            options.window = false;
            continue;
        }
        static const char* const withValue[] = {"--print-board", "--camera", "--video", "--output", "--board",
                                                "--square",      "--size",   "--views", "--seconds"};
        bool known = false;
        for (const char* option : withValue) known |= name == option;
        if (!known) return fail("unknown argument '" + name + "' (see --help)");
        if (i + 1 >= arguments.size()) return fail(name + " needs a value");
        const std::string& value = arguments[++i];
        if (name == "--print-board" || name == "--camera" || name == "--video" || name == "--output") {
            if (value.empty()) return fail(name + " needs a value");
            if (name == "--print-board") {
                options.task = Options::Task::PrintBoard;
                options.boardPdf = value;
                ++tasks;
            } else if (name == "--camera") {
                options.task = Options::Task::Calibrate;
                options.camera = value;
                ++tasks;
            } else if (name == "--video") {
                options.task = Options::Task::Calibrate;
                options.video = value;
                ++tasks;
            } else {
                options.output = value;
            }
        } else if (name == "--board") {
            const std::optional<cv::Size> corners = parseCornerCount(value);
            if (!corners)
                return fail("--board: '" + value + "' is not COLUMNSxROWS inner corners, each 3 to 30 (such as 9x6)");
            options.board.columns = corners->width;
            options.board.rows = corners->height;
        } else if (name == "--square") {
            const std::optional<double> mm = decimalNumber(value, 1, 200);
            if (!mm) return fail("--square: '" + value + "' is not a size in millimetres from 1 to 200");
            options.board.squareMm = *mm;
        } else if (name == "--size") {
            const std::size_t x = value.find('x');
            const std::optional<long> w = wholeNumber(value.substr(0, x), 16, 8192);
            const std::optional<long> h = x == std::string::npos ? std::nullopt : wholeNumber(value.substr(x + 1), 16, 8192);
            if (!w || !h) return fail("--size: '" + value + "' is not WIDTHxHEIGHT in pixels, each 16 to 8192");
            options.frameWidth = static_cast<int>(*w);
            options.frameHeight = static_cast<int>(*h);
        } else if (name == "--views") {
            const std::optional<long> n = wholeNumber(value, minimumViews, 200);
            if (!n)
                return fail("--views: '" + value + "' is not a whole number from " + std::to_string(minimumViews) +
                            " to 200");
            options.views = static_cast<int>(*n);
        } else if (name == "--seconds") {
            const std::optional<double> s = decimalNumber(value, 1, 86400);
            if (!s) return fail("--seconds: '" + value + "' is not a number of seconds from 1 to 86400");
            options.seconds = *s;
        }
    }
    if (help) {
        options.task = Options::Task::Help;
        return options;
    }
    if (tasks == 0) return fail("nothing to do: give --print-board, --camera, --video or --list-cameras (see --help)");
    if (tasks > 1) return fail("give only one of --print-board, --camera, --video and --list-cameras");
    if (options.task == Options::Task::Calibrate && options.output.empty())
        return fail(std::string(options.camera.empty() ? "--video" : "--camera") +
                    " needs --output, the camera file to write");
    if (options.task != Options::Task::Calibrate && !options.output.empty())
        return fail("--output is only for calibrating (with --camera or --video)");
    if (options.frameWidth > 0 && options.task == Options::Task::Calibrate && options.camera.empty())
        return fail("--size is only for a camera: a video file keeps its own size");
    std::string why;
    if (options.task == Options::Task::PrintBoard && !fitsOnPage(options.board, &why))
        return fail("--board/--square: " + why);
    return options;
}

std::string helpText() {
    return R"(usage: kwo-calibrate --print-board FILE.pdf [--board 9x6] [--square 20]
       kwo-calibrate --list-cameras
       kwo-calibrate (--camera NAME | --video FILE) --output FILE [options]

Calibrates a station's camera for the viewer's marker tracker.

1. Print the board: --print-board writes an A4 page (PDF, print at 100 %)
   with a chessboard. Measure one square after printing; glue the board flat.
2. Calibrate: show the board to the camera from many places and angles,
   near the edges and corners of the picture too, tilted up to about 45
   degrees. A view is taken by itself when the board holds still far enough
   from the views taken before (or at once with Space). The window shows
   the board found, the parts of the picture covered so far, the views and
   the error. Return calibrates with the views taken; Escape or closing the
   window gives up and writes nothing. Without a window (--no-window, or no
   display) views are taken by themselves until enough are taken, the video
   file ends, or --seconds have passed.
3. A calibration needs at least 10 views covering 70 % of the picture, its
   four corners included; views are taken beyond --views until they do.
   It prints fx, fy, cx, cy, the lens distortion, the fit's error and the
   error on views held out of the fit (in pixels; below 0.5 is good).
4. The camera file is written only when the calibration succeeds, at the
   size of the captured frames; otherwise nothing is written and what was
   missing is said. Set tracking/params to its path (for instance the
   program folder's tracking/station-camera.dat: the stand-in
   tracking/camera.dat is the package's, and an upgrade replaces it).

Options:
  --print-board FILE  write the board's page as PDF
  --list-cameras      print the cameras by name, as the viewer lists them
                      (clip cameras of KWO_CLIP_CAMERAS included)
  --camera NAME       calibrate from this camera
  --video FILE        calibrate from a video file, read once, every frame
  --output FILE       the camera file to write (136 bytes)
  --board CxR         inner corners of the board across and down (9x6)
  --square MM         side of a printed square in millimetres (20)
  --size WxH          the camera mode to ask for (the camera's choice)
  --views N           calibrate when N views are taken and the picture is
                      covered (20; 10 to 200)
  --seconds S         stop taking views after S seconds
  --no-window         no live picture; views are taken by themselves
  --help              this text

Exit status: 0 written, 1 failed (nothing written), 2 bad arguments.
)";
}

} // namespace kwo::calibrate
