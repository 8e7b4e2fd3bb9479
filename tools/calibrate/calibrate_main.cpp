// kwo-calibrate: prints the calibration board and calibrates a station's
// camera for the marker tracker from a camera or a video file (see --help).

#include "tools/calibrate/arguments.h"
#include "tools/calibrate/camera_fit.h"
#include "tools/calibrate/chessboard.h"
#include "tools/calibrate/preview_window.h"
#include "tools/calibrate/view_picker.h"
#include "tools/markers/printed_sheet.h"
#include "tracking/ar/calibration.h"
#include "video/gst_frame_source.h"
#include "video/video_devices.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using kwo::calibrate::Options;
using Clock = std::chrono::steady_clock;

constexpr int minimumViews = 5;
// A camera that gives no frame for this long is taken as stopped.
constexpr auto cameraSilence = std::chrono::seconds(10);

void complain(const std::string& text) { std::fprintf(stderr, "kwo-calibrate: %s\n", text.c_str()); }

int printBoard(const Options& options) {
    if (!kwo::markers::writePdfSheet(options.boardPdf, kwo::calibrate::pageWidthMm, kwo::calibrate::pageHeightMm,
                                     [&](cairo_t* cairo) { kwo::calibrate::drawBoardPage(cairo, options.board); })) {
        complain("--print-board '" + options.boardPdf + "': the file cannot be written");
        return 1;
    }
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
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path path(output);
    if (fs::is_directory(path, error)) {
        complain("--output '" + output + "' is a folder, not a file");
        return false;
    }
    const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, error)) {
        complain("--output '" + output + "': the folder '" + folder.string() + "' does not exist");
        return false;
    }
    if (access(folder.c_str(), W_OK) != 0 || (fs::exists(path, error) && access(path.c_str(), W_OK) != 0)) {
        complain("--output '" + output + "': not allowed to write there");
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

// The live picture: the board found, the cells covered so far, the figures.
void drawOverlay(cv::Mat& picture, const kwo::calibrate::ViewPicker& picker, const Options& options,
                 const kwo::calibrate::BoardView& corners, bool found, double error, bool justTaken) {
    const auto& settings = picker.settings();
    const auto& cells = picker.coveredCells();
    cv::Mat tint = picture.clone();
    for (int r = 0; r < settings.gridRows; ++r)
        for (int c = 0; c < settings.gridColumns; ++c)
            if (cells[static_cast<std::size_t>(r * settings.gridColumns + c)]) {
                const cv::Rect cell(c * picture.cols / settings.gridColumns, r * picture.rows / settings.gridRows,
                                    picture.cols / settings.gridColumns, picture.rows / settings.gridRows);
                tint(cell) += cv::Scalar(0, 60, 0);
            }
    cv::addWeighted(tint, 0.6, picture, 0.4, 0, picture);
    if (!corners.empty()) cv::drawChessboardCorners(picture, options.board.innerCorners(), corners, found);
    if (justTaken) cv::rectangle(picture, {0, 0, picture.cols, picture.rows}, cv::Scalar(255, 255, 255), 8);
    char line[160];
    if (error >= 0)
        std::snprintf(line, sizeof line, "views %zu/%d  coverage %.0f %%  error %.2f px", picker.views().size(),
                      options.views, picker.coverage() * 100, error);
    else
        std::snprintf(line, sizeof line, "views %zu/%d  coverage %.0f %%", picker.views().size(), options.views,
                      picker.coverage() * 100);
    // Outlined text rather than a bar: the board must stay visible right up
    // to the picture's edge, where the views matter most.
    const double scale = picture.cols / 900.0;
    const int height = static_cast<int>(30 * scale) + 4;
    const auto write = [&](const char* text, int y, double size) {
        cv::putText(picture, text, {6, y}, cv::FONT_HERSHEY_SIMPLEX, size, cv::Scalar(0, 0, 0), 4, cv::LINE_AA);
        cv::putText(picture, text, {6, y}, cv::FONT_HERSHEY_SIMPLEX, size, cv::Scalar(255, 255, 255), 1, cv::LINE_AA);
    };
    write(line, height, scale);
    write("Space: take view   Return: calibrate   Esc: quit", 2 * height, scale * 0.8);
}

// Writes the record beside the output first and moves it over the output
// only once it is complete and reads back as a usable calibration: a failed
// or interrupted write leaves the old file as it was. A file replaced keeps
// its permissions (the station's viewer may run as another user of its group).
bool writeAtomically(const std::string& output, const ARParam& param) {
    const std::string temporary = output + ".partial-" + std::to_string(getpid());
    std::string error;
    std::vector<ARParam> back;
    if (!kwo::ar::writeCalibrationFile(temporary, {param}, &error) ||
        !kwo::ar::readCalibrationFile(temporary, 1, back, &error)) {
        std::remove(temporary.c_str());
        complain("--output '" + output + "': " + error);
        return false;
    }
    struct stat old {};
    if (stat(output.c_str(), &old) == 0) chmod(temporary.c_str(), old.st_mode & 07777);
    if (std::rename(temporary.c_str(), output.c_str()) != 0) {
        std::remove(temporary.c_str());
        complain("--output '" + output + "' cannot be replaced");
        return false;
    }
    return true;
}

void printResult(const kwo::calibrate::CameraFit& fit, const kwo::calibrate::ViewPicker& picker) {
    const ARParam& p = fit.param;
    std::printf("Calibration of %dx%d frames from %zu views (coverage %.0f %%):\n", p.xsize, p.ysize,
                picker.views().size(), picker.coverage() * 100);
    std::printf("  fx %.3f  fy %.3f  cx %.3f  cy %.3f\n", p.mat[0][0], p.mat[1][1], p.mat[0][2], p.mat[1][2]);
    std::printf("  distortion: centre x %.3f  centre y %.3f  factor %.4f  scale %.6f\n", p.dist_factor[0],
                p.dist_factor[1], p.dist_factor[2], p.dist_factor[3]);
    std::printf("  reprojection error with the tracker's model: RMS %.3f px, worst corner %.3f px\n", fit.trackerRms,
                fit.worstError);
    std::printf("  (OpenCV's own lens model: RMS %.3f px)\n", fit.openCvRms);
}

int calibrate(const Options& options) {
    if (!outputWritable(options.output)) return 1;
    std::string label;
    std::unique_ptr<kwo::VideoSource> source = openSource(options, label);
    if (!source) return 1;
    const kwo::FrameSize size = source->size();
    const cv::Size frameSize(size.width, size.height);
    std::printf("Reading %s, %dx%d; board of %d x %d inner corners.\n", label.c_str(), size.width, size.height,
                options.board.columns, options.board.rows);

    std::unique_ptr<kwo::calibrate::PreviewWindow> window;
    if (options.window) {
        std::string why;
        if (std::getenv("DISPLAY") && *std::getenv("DISPLAY"))
            window = kwo::calibrate::PreviewWindow::open("kwo-calibrate", frameSize, &why);
        else
            why = "no display";
        if (!window) std::printf("No window (%s): views are taken by themselves.\n", why.c_str());
    }

    const std::vector<cv::Point3f> boardCorners = options.board.cornerPositions();
    kwo::calibrate::ViewPicker picker(frameSize, options.board.innerCorners());
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(size.width) * size.height * 4);
    cv::Mat bgrx(size.height, size.width, CV_8UC4, frame.data()), grey, picture;
    long framesRead = 0, framesWithBoard = 0;
    double lastError = -1;
    bool takeNext = false, finish = false;
    int flash = 0;
    const Clock::time_point start = Clock::now();
    Clock::time_point lastFrame = start;
    std::string stopped;

    source->start();
    while (!finish && static_cast<int>(picker.views().size()) < options.views) {
        if (window) {
            const kwo::calibrate::PreviewEvent event = window->poll();
            if (event == kwo::calibrate::PreviewEvent::Quit) {
                std::printf("Given up: nothing written to %s.\n", options.output.c_str());
                return 1;
            }
            if (event == kwo::calibrate::PreviewEvent::Finish) finish = true;
            if (event == kwo::calibrate::PreviewEvent::TakeView) takeNext = true;
        }
        const Clock::time_point now = Clock::now();
        if (options.seconds > 0 && now - start >= std::chrono::duration<double>(options.seconds)) {
            std::printf("%g seconds have passed.\n", options.seconds);
            break;
        }
        if (!source->takeNewestFrame(frame.data())) {
            const std::string failure = source->failure();
            if (failure == kwo::clipEnded && !options.video.empty()) break;
            if (!failure.empty()) {
                stopped = failure;
                break;
            }
            if (now - lastFrame > cameraSilence) {
                stopped = "no picture for 10 seconds";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        lastFrame = now;
        ++framesRead;
        // The frames come bottom row first.
        cv::cvtColor(bgrx, grey, cv::COLOR_BGRA2GRAY);
        cv::flip(grey, grey, 0);
        kwo::calibrate::BoardView corners;
        const bool found = cv::findChessboardCornersSB(grey, options.board.innerCorners(), corners,
                                                       cv::CALIB_CB_NORMALIZE_IMAGE);
        if (found) ++framesWithBoard;
        const bool take = picker.offer(found ? corners : kwo::calibrate::BoardView(), takeNext);
        if (takeNext && !found) std::printf("No whole board in view: no view taken.\n");
        takeNext = false;
        if (take) {
            picker.take(corners);
            flash = 5;
            std::string why;
            std::optional<kwo::calibrate::CameraFit> fit;
            if (picker.views().size() >= 3) fit = kwo::calibrate::fitCamera(picker.views(), boardCorners, frameSize, &why);
            lastError = fit ? fit->trackerRms : -1;
            if (fit)
                std::printf("View %zu taken (frame %ld): coverage %.0f %%, reprojection error %.3f px\n",
                            picker.views().size(), framesRead, picker.coverage() * 100, fit->trackerRms);
            else
                std::printf("View %zu taken (frame %ld): coverage %.0f %%\n", picker.views().size(), framesRead,
                            picker.coverage() * 100);
            std::fflush(stdout);
        } else if (framesRead % 50 == 0) {
            std::printf("%ld frames read, the board seen in %ld, %zu views taken\n", framesRead, framesWithBoard,
                        picker.views().size());
            std::fflush(stdout);
        }
        if (window) {
            cv::cvtColor(bgrx, picture, cv::COLOR_BGRA2BGR);
            cv::flip(picture, picture, 0);
            drawOverlay(picture, picker, options, corners, found, lastError, flash > 0);
            window->show(picture);
            if (flash > 0) --flash;
        }
    }
    source->stop();

    const std::string nothing = "nothing written to " + options.output;
    if (!stopped.empty()) {
        complain(label + " stopped (" + stopped + "): " + nothing);
        return 1;
    }
    if (framesRead == 0) {
        complain(label + " gave no picture: " + nothing);
        return 1;
    }
    if (framesWithBoard == 0) {
        complain("the board (" + std::to_string(options.board.columns) + " x " + std::to_string(options.board.rows) +
                 " inner corners) was never seen in " + std::to_string(framesRead) + " frames of " + label +
                 ": " + nothing + ". Is the whole board with its white border in the picture, and is --board right?");
        return 1;
    }
    if (static_cast<int>(picker.views().size()) < minimumViews) {
        complain("only " + std::to_string(picker.views().size()) + " views of the board were taken (at least " +
                 std::to_string(minimumViews) + " are needed: hold the board still at more places and angles): " +
                 nothing);
        return 1;
    }
    std::printf("Calibrating from %zu views...\n", picker.views().size());
    std::fflush(stdout);
    std::string why;
    const std::optional<kwo::calibrate::CameraFit> fit =
        kwo::calibrate::fitCamera(picker.views(), boardCorners, frameSize, &why);
    if (!fit) {
        complain("the calibration failed: " + why + ": " + nothing);
        return 1;
    }
    printResult(*fit, picker);
    if (picker.coverage() < 0.5)
        std::printf("Warning: the views cover only %.0f %% of the picture; the lens distortion near its edges is "
                    "extrapolated. Show the board near the edges and corners too.\n",
                    picker.coverage() * 100);
    if (!writeAtomically(options.output, fit->param)) return 1;
    std::printf("Camera file written: %s\n", options.output.c_str());
    return 0;
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
