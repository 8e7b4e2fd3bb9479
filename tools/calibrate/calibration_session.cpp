#include "tools/calibrate/calibration_session.h"

#include "files/write_file.h"
#include "tools/calibrate/camera_fit.h"
#include "tools/calibrate/preview_window.h"
#include "tools/calibrate/view_picker.h"
#include "tracking/ar/calibration.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace kwo::calibrate {

namespace {

using Clock = std::chrono::steady_clock;

// A calibration is trusted only from enough views (minimumViews) spread over
// enough of the picture, its corners included: the lens distortion is
// largest there, and where no view went it is only extrapolated (a short,
// one-sided recording gave errors of 10 px there).
constexpr double requiredCoverage = 0.7;
// A camera that gives no frame for this long is taken as stopped.
constexpr auto cameraSilence = std::chrono::seconds(10);

void complain(const std::string& text) { std::fprintf(stderr, "kwo-calibrate: %s\n", text.c_str()); }

// The live picture: the board found, the cells covered so far, the figures.
void drawOverlay(cv::Mat& picture, const ViewPicker& picker, const Options& options,
                 const BoardView& corners, bool found, double error, bool justTaken) {
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
// its permissions (the station's viewer may run as another user of its
// group); a new one in a folder the group shares is the group's to replace.
bool writeAtomically(const std::string& output, const ARParam& param) {
    const std::string temporary = output + ".partial-" + std::to_string(getpid());
    const auto fail = [&](const std::string& reason) {
        std::remove(temporary.c_str());
        complain("--output '" + output + "' cannot be written: " + reason + "; nothing written");
        return false;
    };
    std::string error;
    errno = 0;
    if (!kwo::ar::writeCalibrationFile(temporary, {param}, &error)) return fail(kwo::writeFailureReason(temporary, errno));
    std::vector<ARParam> back;
    if (!kwo::ar::readCalibrationFile(temporary, 1, back, &error)) {
        // Written, yet not whole: the disk filled up as it was closed.
        const std::string reason = kwo::whyNotWritable(temporary);
        return fail(reason.empty() ? error : reason);
    }
    struct stat old {};
    if (stat(output.c_str(), &old) == 0) chmod(temporary.c_str(), old.st_mode & 07777);
    else kwo::shareWithFolderGroup(temporary);
    if (std::rename(temporary.c_str(), output.c_str()) != 0) return fail(kwo::writeFailureReason(output, errno));
    return true;
}

void printResult(const CameraFit& fit, double heldOut, const ViewPicker& picker) {
    const ARParam& p = fit.param;
    std::printf("Calibration of %dx%d frames from %zu views (coverage %.0f %%):\n", p.xsize, p.ysize,
                picker.views().size(), picker.coverage() * 100);
    std::printf("  fx %.3f  fy %.3f  cx %.3f  cy %.3f\n", p.mat[0][0], p.mat[1][1], p.mat[0][2], p.mat[1][2]);
    std::printf("  distortion: centre x %.3f  centre y %.3f  factor %.4f  scale %.6f\n", p.dist_factor[0],
                p.dist_factor[1], p.dist_factor[2], p.dist_factor[3]);
    std::printf("  reprojection error with the tracker's model: RMS %.3f px, worst corner %.3f px\n", fit.trackerRms,
                fit.worstError);
    std::printf("  error on views held out of the fit: RMS %.3f px (each fifth of the views left out in turn)\n",
                heldOut);
    std::printf("  (OpenCV's own lens model: RMS %.3f px)\n", fit.openCvRms);
}

class Session {
public:
    Session(const Options& options, kwo::VideoSource& source, const std::string& label)
        : options(options), source(source), label(label), size(source.size().width, source.size().height),
          boardCorners(options.board.cornerPositions()), picker(size, options.board.innerCorners()),
          frame(static_cast<std::size_t>(size.area()) * 4), bgrx(size, CV_8UC4, frame.data()) {}

    int run() {
        std::printf("Reading %s, %dx%d; board of %d x %d inner corners.\n", label.c_str(), size.width, size.height,
                    options.board.columns, options.board.rows);
        openWindow();
        source.start();
        const Next next = takeViews();
        source.stop();
        if (next == Next::GiveUp) {
            std::printf("Given up: nothing written to %s.\n", options.output.c_str());
            return 1;
        }
        return calibrate();
    }

private:
    enum class Next { More, Calibrate, GiveUp };

    void openWindow() {
        if (!options.window) return;
        std::string why = "no display";
        if (const char* display = std::getenv("DISPLAY"); display && *display)
            window = PreviewWindow::open("kwo-calibrate", size, &why);
        if (!window) std::printf("No window (%s): views are taken by themselves.\n", why.c_str());
    }

    // Frames until enough views are taken, a video ends, the time is up,
    // the camera stops or a key says so.
    Next takeViews() {
        const Clock::time_point start = Clock::now();
        lastFrame = start;
        bool toldMissing = false;
        while (true) {
            if (static_cast<int>(picker.views().size()) >= options.views) {
                const std::string missing = picker.missingCoverage(requiredCoverage);
                if (missing.empty()) break;
                // Enough views, not enough of the picture: go on rather than
                // lose the views taken.
                if (!toldMissing)
                    std::printf("%zu views taken, but %s: show the board there too.\n", picker.views().size(),
                                missing.c_str());
                toldMissing = true;
            }
            if (const Next next = keys(); next != Next::More) return next;
            if (options.seconds > 0 && Clock::now() - start >= std::chrono::duration<double>(options.seconds)) {
                std::printf("%g seconds have passed.\n", options.seconds);
                return Next::Calibrate;
            }
            if (const Next next = waitForFrame(); next != Next::More) return next;
            if (!frameReady) continue;
            look();
            show();
        }
        return Next::Calibrate;
    }

    Next keys() {
        if (!window) return Next::More;
        switch (window->poll()) {
        case PreviewEvent::Quit: return Next::GiveUp;
        case PreviewEvent::Finish: return Next::Calibrate;
        case PreviewEvent::TakeView: takeNext = true; break;
        case PreviewEvent::None: break;
        }
        return Next::More;
    }

    // Takes the next frame when there is one (frameReady); notices the end
    // of a video and a camera that stopped.
    Next waitForFrame() {
        if (const std::uint8_t* pixels = source.takeNewestFrame()) {
            std::memcpy(frame.data(), pixels, frame.size());
            source.releaseFrame();
            frameReady = true;
        } else {
            frameReady = false;
        }
        const Clock::time_point now = Clock::now();
        if (frameReady) {
            lastFrame = now;
            ++framesRead;
            return Next::More;
        }
        const std::string failure = source.failure();
        if (failure == kwo::clipEnded && !options.video.empty()) return Next::Calibrate;
        if (failure.empty() && now - lastFrame > cameraSilence) stopped = "no picture for 10 seconds";
        else stopped = failure;
        if (!stopped.empty()) return Next::Calibrate;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        return Next::More;
    }

    // Finds the board in the frame and takes it as a view when it is due.
    void look() {
        cv::cvtColor(bgrx, grey, cv::COLOR_BGRA2GRAY);
        corners.clear();
        found = cv::findChessboardCornersSB(grey, options.board.innerCorners(), corners, cv::CALIB_CB_NORMALIZE_IMAGE);
        if (found) ++framesWithBoard;
        const bool take = picker.offer(found ? corners : BoardView(), takeNext);
        if (takeNext && !found) std::printf("No whole board in view: no view taken.\n");
        takeNext = false;
        if (take) {
            refineCorners(grey, options.board.innerCorners(), corners);
            picker.take(corners);
            flash = 5;
            lastError = quickError(picker.views(), boardCorners, size);
            std::printf("View %zu taken (frame %ld): coverage %.0f %%", picker.views().size(), framesRead,
                        picker.coverage() * 100);
            if (lastError >= 0) std::printf(", reprojection error %.3f px", lastError);
            std::printf("\n");
            std::fflush(stdout);
        } else if (framesRead % 50 == 0) {
            std::printf("%ld frames read, the board seen in %ld, %zu views taken\n", framesRead, framesWithBoard,
                        picker.views().size());
            std::fflush(stdout);
        }
    }

    void show() {
        if (!window) return;
        cv::cvtColor(bgrx, picture, cv::COLOR_BGRA2BGR);
        drawOverlay(picture, picker, options, corners, found, lastError, flash > 0);
        window->show(picture);
        if (flash > 0) --flash;
    }

    // The camera file from the views taken, or the reason there is none.
    int calibrate() const {
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
            complain("the board (" + std::to_string(options.board.columns) + " x " +
                     std::to_string(options.board.rows) + " inner corners) was never seen in " +
                     std::to_string(framesRead) + " frames of " + label + ": " + nothing +
                     ". Is the whole board with its white border in the picture, and is --board right?");
            return 1;
        }
        // Everything that is missing, said at once.
        std::string lacking;
        if (static_cast<int>(picker.views().size()) < minimumViews)
            lacking = "only " + std::to_string(picker.views().size()) + " views of the board were taken (at least " +
                      std::to_string(minimumViews) + " are needed: hold the board still at more places and angles)";
        const std::string missing = picker.missingCoverage(requiredCoverage);
        if (!missing.empty()) lacking += (lacking.empty() ? "not enough of the picture was covered: " : "; ") + missing;
        if (!lacking.empty()) {
            complain(lacking + ": " + nothing +
                     (missing.empty() ? "" : ". Hold the board near the edges and corners of the picture too."));
            return 1;
        }
        std::printf("Calibrating from %zu views...\n", picker.views().size());
        std::fflush(stdout);
        std::string why;
        const std::optional<CameraFit> fit = fitCamera(picker.views(), boardCorners, size, &why);
        if (!fit) {
            complain("the calibration failed: " + why + ": " + nothing);
            return 1;
        }
        printResult(*fit, heldOutError(*fit, picker.views(), boardCorners), picker);
        if (!writeAtomically(options.output, fit->param)) return 1;
        std::printf("Camera file written: %s\n", options.output.c_str());
        return 0;
    }

    const Options& options;
    kwo::VideoSource& source;
    const std::string& label;
    const cv::Size size;
    const std::vector<cv::Point3f> boardCorners;
    ViewPicker picker;
    std::unique_ptr<PreviewWindow> window;

    std::vector<std::uint8_t> frame; // the source's layout: BGRx, top row first
    cv::Mat bgrx, grey, picture;      // bgrx views `frame`
    bool frameReady = false;
    BoardView corners;                // found in the current frame
    bool found = false;
    bool takeNext = false;            // Space was pressed
    int flash = 0;                    // frames left to mark a view just taken
    double lastError = -1;            // of the views so far; negative before 3
    long framesRead = 0, framesWithBoard = 0;
    Clock::time_point lastFrame;
    std::string stopped;              // why the camera stopped, if it did
};

} // namespace

int runCalibration(const Options& options, kwo::VideoSource& source, const std::string& label) {
    return Session(options, source, label).run();
}

} // namespace kwo::calibrate
