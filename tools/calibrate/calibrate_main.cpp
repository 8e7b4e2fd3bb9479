// kwo-calibrate: prints the calibration board and calibrates a station's
// camera for the marker tracker from a camera or a video file (see --help).

#include "files/write_file.h"
#include "tools/calibrate/arguments.h"
#include "tools/calibrate/calibration_session.h"
#include "tools/calibrate/chessboard.h"
#include "tools/markers/printed_sheet.h"
#include "video/gst_frame_source.h"
#include "video/video_devices.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

using kwo::calibrate::Options;

void complain(const std::string& text) { std::fprintf(stderr, "kwo-calibrate: %s\n", text.c_str()); }

int printBoard(const Options& options) {
    std::string reason;
    if (!kwo::markers::writePdfSheet(
            options.boardPdf, kwo::calibrate::pageWidthMm, kwo::calibrate::pageHeightMm,
            [&](cairo_t* cairo) { kwo::calibrate::drawBoardPage(cairo, options.board); }, &reason)) {
        complain("--print-board '" + options.boardPdf + "': the file cannot be written: " + reason);
        return 1;
    }
    kwo::shareWithFolderGroup(options.boardPdf);
    std::printf("Board written to %s: %d x %d inner corners, squares of %g mm, A4 landscape.\n",
                options.boardPdf.c_str(), options.board.columns, options.board.rows, options.board.squareMm);
    std::printf("Print it at 100 %% and check that a square measures %g mm.\n", options.board.squareMm);
    return 0;
}

int listCameras() {
    const std::vector<kwo::VideoDevice> devices = kwo::findVideoDevices();
    if (devices.empty()) std::printf("No camera found (clip cameras are named in KWO_CLIP_CAMERAS).\n");
    for (const kwo::VideoDevice& device : devices) std::printf("%s\n", device.name.c_str());
    return 0;
}

// The output's folder must exist and be writable, and the output must not be
// a folder: said before any work is done rather than after it.
bool outputWritable(const std::string& output) {
    std::error_code error;
    if (std::filesystem::is_directory(output, error)) {
        complain("--output '" + output + "' is a folder, not a file");
        return false;
    }
    if (const std::string reason = kwo::whyNotWritable(output); !reason.empty()) {
        complain("--output '" + output + "': " + reason);
        return false;
    }
    return true;
}

std::unique_ptr<kwo::VideoSource> openSource(const Options& options, std::string& label) {
    kwo::DeviceRequest request;
    kwo::SourceOptions sourceOptions;
    kwo::VideoDevice device;
    std::string argument;
    if (!options.video.empty()) {
        argument = "--video '" + options.video + "'";
        label = "the video '" + options.video + "'";
        std::error_code error;
        if (!std::filesystem::exists(options.video, error)) {
            complain(argument + ": no such file");
            return nullptr;
        }
        if (!std::filesystem::is_regular_file(options.video, error)) {
            complain(argument + ": not a file");
            return nullptr;
        }
        device.kind = kwo::VideoDevice::Kind::Clip;
        device.name = device.location = options.video;
        sourceOptions.readOnce = true;
    } else {
        argument = "--camera '" + options.camera + "'";
        label = "the camera '" + options.camera + "'";
        const std::vector<kwo::VideoDevice> devices = kwo::findVideoDevices();
        const auto found = std::find_if(devices.begin(), devices.end(),
                                        [&](const kwo::VideoDevice& d) { return d.name == options.camera; });
        if (found == devices.end()) {
            std::string names;
            for (const kwo::VideoDevice& d : devices) names += (names.empty() ? "" : ", ") + ("'" + d.name + "'");
            complain(argument + ": no such camera; " +
                     (names.empty() ? std::string("no camera was found") : "the cameras are " + names));
            return nullptr;
        }
        device = *found;
        if (options.frameWidth > 0) {
            request.width = static_cast<unsigned>(options.frameWidth);
            request.height = static_cast<unsigned>(options.frameHeight);
        }
    }
    request.friendlyName = device.name;
    try {
        return kwo::openGstSource(device, request, sourceOptions, nullptr);
    } catch (const std::exception& e) {
        complain(argument + " cannot be played: " + e.what());
        return nullptr;
    }
}

int calibrate(const Options& options) {
    if (!outputWritable(options.output)) return 1;
    std::string label;
    std::unique_ptr<kwo::VideoSource> source = openSource(options, label);
    if (!source) return 1;
    return kwo::calibrate::runCalibration(options, *source, label);
}

} // namespace

int main(int argc, char** argv) {
    std::string error;
    const std::optional<Options> options =
        kwo::calibrate::parseArguments(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!options) {
        complain(error);
        return 2;
    }
    switch (options->task) {
    case Options::Task::Help: std::fputs(kwo::calibrate::helpText().c_str(), stdout); return 0;
    case Options::Task::PrintBoard: return printBoard(*options);
    case Options::Task::ListCameras: return listCameras();
    case Options::Task::Calibrate: return calibrate(*options);
    }
    return 1;
}
