// Calibration accuracy figures on recordings rendered independently of the
// calibration tool (OpenCV's camera model, the tool's printed board at 300
// dpi, blur and noise):
//   1. how exactly the board's corners are found in single frames, by the
//      chessboard finder alone and refined in several ways;
//   2. what kwo-calibrate makes of whole recordings, against the camera
//      they were rendered through;
//   3. what it says of a recording that ends early;
//   4. the fit alone on the same corners against OpenCV's with the true
//      camera's model.
//
// usage: bench_calibration_accuracy [--tool PATH] [--keep FOLDER] [--part N]
//   --tool   the kwo-calibrate to measure (default: the build's own)
//   --keep   write the recordings and camera files there and keep them
//   --part   only figures N (1 to 4 as below)

#include "tools/calibrate/camera_fit.h"
#include "tools/synthetic/board_video.h"
#include "tracking/ar/calibration.h"

#include <opencv2/calib3d.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using kwo::synthetic::BoardCamera;
using kwo::synthetic::BoardPose;
using kwo::synthetic::BoardVideoRenderer;
using kwo::synthetic::BoardVideoSettings;

// RMS distance of found corners from the true ones; the finder may number
// the board from either end.
double cornerRms(const std::vector<cv::Point2f>& found, const std::vector<cv::Point2d>& truth) {
    double best = INFINITY;
    for (bool reversed : {false, true}) {
        double sum = 0;
        for (std::size_t i = 0; i < found.size(); ++i) {
            const cv::Point2d t = truth[reversed ? truth.size() - 1 - i : i];
            sum += std::pow(found[i].x - t.x, 2) + std::pow(found[i].y - t.y, 2);
        }
        best = std::min(best, sum);
    }
    return std::sqrt(best / static_cast<double>(found.size()));
}

// The tracker's way with a marker's sides, applied to the board: along each
// of the two board lines through a corner, the steepest brightness step
// across the line is found at points spread over the half squares next to
// the corner (the centroid of the rise, as the tracker does), a line is
// fitted to them, and the corner is where the two lines cross.
bool edgePoint(const cv::Mat& grey, cv::Point2d at, cv::Point2d normal, double reach, cv::Point2d& edge) {
    constexpr double step = 0.25;
    const int steps = static_cast<int>(2 * reach / step) + 1;
    std::vector<double> profile(static_cast<std::size_t>(steps));
    for (int k = 0; k < steps; ++k) {
        const cv::Point2d p = at + normal * (-reach + k * step);
        if (p.x < 1 || p.y < 1 || p.x > grey.cols - 2 || p.y > grey.rows - 2) return false;
        cv::Mat one;
        cv::getRectSubPix(grey, {1, 1}, cv::Point2f(static_cast<float>(p.x), static_cast<float>(p.y)), one, CV_32F);
        profile[static_cast<std::size_t>(k)] = one.at<float>(0);
    }
    std::vector<double> rise(static_cast<std::size_t>(steps - 1));
    double total = 0;
    for (int k = 0; k + 1 < steps; ++k) total += rise[static_cast<std::size_t>(k)] = profile[k + 1] - profile[k];
    const double sign = total >= 0 ? 1 : -1;
    int best = -1;
    double steepest = 0;
    for (int k = 0; k + 1 < steps; ++k)
        if (sign * rise[static_cast<std::size_t>(k)] > steepest) {
            steepest = sign * rise[static_cast<std::size_t>(k)];
            best = k;
        }
    if (best < 0 || steepest < 9) return false;
    int first = best, last = best;
    while (first > 0 && sign * rise[static_cast<std::size_t>(first - 1)] > 0.05 * steepest) --first;
    while (last + 2 < steps && sign * rise[static_cast<std::size_t>(last + 1)] > 0.05 * steepest) ++last;
    double weight = 0, moment = 0;
    for (int k = first; k <= last; ++k) {
        weight += sign * rise[static_cast<std::size_t>(k)];
        moment += sign * rise[static_cast<std::size_t>(k)] * (k + 0.5);
    }
    edge = at + normal * (-reach + moment / weight * step);
    return true;
}

bool fitLine(const std::vector<cv::Point2d>& points, cv::Vec3d& line) {
    if (points.size() < 3) return false;
    cv::Vec4f fitted;
    std::vector<cv::Point2f> p(points.begin(), points.end());
    cv::fitLine(p, fitted, cv::DIST_L2, 0, 0.001, 0.001);
    const double a = -fitted[1], b = fitted[0];
    line = {a, b, -(a * fitted[2] + b * fitted[3])};
    return true;
}

std::vector<cv::Point2f> refineByEdges(const cv::Mat& grey, const std::vector<cv::Point2f>& corners, cv::Size board) {
    std::vector<cv::Point2f> refined = corners;
    const auto at = [&](int c, int r) { return cv::Point2d(corners[static_cast<std::size_t>(r * board.width + c)]); };
    for (int r = 0; r < board.height; ++r)
        for (int c = 0; c < board.width; ++c) {
            const cv::Point2d corner = at(c, r);
            cv::Vec3d lines[2];
            bool ok = true;
            for (int direction = 0; direction < 2 && ok; ++direction) {
                std::vector<cv::Point2d> points;
                for (int side : {-1, 1}) {
                    const int nc = direction == 0 ? c + side : c, nr = direction == 0 ? r : r + side;
                    if (nc < 0 || nr < 0 || nc >= board.width || nr >= board.height) continue;
                    const cv::Point2d towards = at(nc, nr) - corner;
                    const double length = cv::norm(towards);
                    const cv::Point2d along = towards / length, normal(-along.y, along.x);
                    for (double t = 0.12; t <= 0.62; t += 0.05) {
                        cv::Point2d edge;
                        if (edgePoint(grey, corner + along * (t * length), normal, std::clamp(0.12 * length, 1.5, 3.0),
                                      edge))
                            points.push_back(edge);
                    }
                }
                ok = fitLine(points, lines[direction]);
            }
            if (!ok) continue;
            const cv::Vec3d crossing = lines[0].cross(lines[1]);
            if (std::abs(crossing[2]) < 1e-12) continue;
            const cv::Point2d p(crossing[0] / crossing[2], crossing[1] / crossing[2]);
            if (cv::norm(p - corner) < 2) refined[static_cast<std::size_t>(r * board.width + c)] = p;
        }
    return refined;
}

// The half window cornerSubPix looks through: a third of the shortest
// distance between neighbouring corners, so it stays inside the squares
// next to the corner however the board is tilted.
int subPixelHalfWindow(const std::vector<cv::Point2f>& corners, cv::Size board) {
    double shortest = INFINITY;
    for (int r = 0; r < board.height; ++r)
        for (int c = 0; c < board.width; ++c) {
            const cv::Point2f p = corners[static_cast<std::size_t>(r * board.width + c)];
            if (c + 1 < board.width) shortest = std::min(shortest, cv::norm(p - corners[static_cast<std::size_t>(r * board.width + c + 1)]));
            if (r + 1 < board.height) shortest = std::min(shortest, cv::norm(p - corners[static_cast<std::size_t>((r + 1) * board.width + c)]));
        }
    return std::clamp(static_cast<int>(shortest / 3), 2, 10);
}

void cornerFigures() {
    struct Method {
        const char* name;
        std::function<bool(const cv::Mat&, cv::Size, std::vector<cv::Point2f>&)> find;
    };
    const auto sb = [](const cv::Mat& grey, cv::Size board, std::vector<cv::Point2f>& corners, int flags) {
        return cv::findChessboardCornersSB(grey, board, corners, flags);
    };
    const auto subPix = [&](const cv::Mat& grey, cv::Size board, std::vector<cv::Point2f>& corners, int fixedHalf) {
        if (!sb(grey, board, corners, cv::CALIB_CB_NORMALIZE_IMAGE)) return false;
        const int half = fixedHalf > 0 ? fixedHalf : subPixelHalfWindow(corners, board);
        cv::cornerSubPix(grey, corners, {half, half}, {-1, -1},
                         cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100, 1e-4));
        return true;
    };
    const std::vector<Method> methods{
        {"A", [&](const cv::Mat& g, cv::Size b, std::vector<cv::Point2f>& c) {
             return sb(g, b, c, cv::CALIB_CB_NORMALIZE_IMAGE);
         }},
        {"B", [&](const cv::Mat& g, cv::Size b, std::vector<cv::Point2f>& c) {
             return sb(g, b, c, cv::CALIB_CB_NORMALIZE_IMAGE | cv::CALIB_CB_ACCURACY);
         }},
        {"C", [&](const cv::Mat& g, cv::Size b, std::vector<cv::Point2f>& c) { return subPix(g, b, c, 5); }},
        {"D", [&](const cv::Mat& g, cv::Size b, std::vector<cv::Point2f>& c) { return subPix(g, b, c, 0); }},
        {"E", [&](const cv::Mat& g, cv::Size b, std::vector<cv::Point2f>& c) {
             if (!sb(g, b, c, cv::CALIB_CB_NORMALIZE_IMAGE)) return false;
             kwo::calibrate::refineCorners(g, b, c);
             return true;
         }},
        {"F", [&](const cv::Mat& g, cv::Size b, std::vector<cv::Point2f>& c) {
             if (!sb(g, b, c, cv::CALIB_CB_NORMALIZE_IMAGE)) return false;
             c = refineByEdges(g, c, b);
             return true;
         }},
    };
    std::printf("\n1. Corners in single frames against the truth: RMS px over 25 poses (frames found)\n"
                "   A findChessboardCornersSB as the tool used it (NORMALIZE_IMAGE)\n"
                "   B findChessboardCornersSB with CALIB_CB_ACCURACY\n"
                "   C A + cornerSubPix, half window 5\n"
                "   D A + cornerSubPix, half window a third of the shortest corner distance (2..10)\n"
                "   E A + the tool's refinement (kwo::calibrate::refineCorners)\n"
                "   F A + the tracker's edge steps on both board lines through each corner, the lines crossed\n");
    std::printf("   %-34s", "conditions");
    for (const Method& method : methods) std::printf(" %12s", method.name);
    std::printf("\n");
    struct Conditions {
        const char* name;
        double blur, noise;
        int supersample;
    };
    for (const Conditions& conditions : {Conditions{"blur 0.7 noise 2 (the recordings')", 0.7, 2, 4},
                                         Conditions{"the same, truth at 8x8 samples", 0.7, 2, 8},
                                         Conditions{"sharp: blur 0.4 noise 1", 0.4, 1, 4},
                                         Conditions{"soft: blur 1.2 noise 2", 1.2, 2, 4},
                                         Conditions{"noisy: blur 0.7 noise 5", 0.7, 5, 4}}) {
        BoardVideoSettings settings;
        settings.blur = conditions.blur;
        settings.noise = conditions.noise;
        settings.supersample = conditions.supersample;
        const BoardVideoRenderer renderer(settings);
        const std::vector<BoardPose> poses = kwo::synthetic::thoroughPoses(renderer);
        const cv::Size board = settings.board.innerCorners();
        std::vector<double> sums(methods.size());
        std::vector<int> frames(methods.size());
        for (std::size_t i = 0; i < poses.size(); ++i) {
            cv::Mat grey;
            cv::cvtColor(renderer.render(poses[i], static_cast<std::uint32_t>(100 + i)), grey, cv::COLOR_BGRA2GRAY);
            const std::vector<cv::Point2d> truth = renderer.trueCorners(poses[i]);
            for (std::size_t m = 0; m < methods.size(); ++m) {
                std::vector<cv::Point2f> corners;
                if (!methods[m].find(grey, board, corners)) continue;
                const double rms = cornerRms(corners, truth);
                sums[m] += rms * rms;
                ++frames[m];
            }
        }
        std::printf("   %-34s", conditions.name);
        for (std::size_t m = 0; m < methods.size(); ++m)
            std::printf("   %5.3f (%2d)", std::sqrt(sums[m] / std::max(1, frames[m])), frames[m]);
        std::printf("\n");
    }
}

struct ToolRun {
    int status = -1;
    std::string output;
};

ToolRun runTool(const std::string& command) {
    ToolRun result;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) result.output += buffer;
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The lines of the tool's report worth repeating here.
void echoReport(const std::string& output) {
    std::size_t at = 0;
    while (at < output.size()) {
        const std::size_t end = output.find('\n', at);
        const std::string line = output.substr(at, end == std::string::npos ? std::string::npos : end - at);
        for (const char* key : {"error", "views", "kwo-calibrate:", "fx", "Warning"})
            if (line.find(key) != std::string::npos && line.rfind("View ", 0) != 0) {
                std::printf("     | %s\n", line.c_str());
                break;
            }
        if (end == std::string::npos) break;
        at = end + 1;
    }
}

// Where a calibration puts the true rays: for a grid over the frame, the
// pixel the true camera shows a ray at against the pixel the calibration
// projects it to.
void rayErrors(const ARParam& found, const BoardCamera& truth, double& rms, double& worst) {
    const cv::Matx33d k = truth.matrix();
    std::vector<cv::Point2d> pixels, rays;
    for (int y = 0; y < truth.size.height; y += 16)
        for (int x = 0; x < truth.size.width; x += 16) pixels.emplace_back(x, y);
    cv::undistortPoints(pixels, rays, k, truth.distortion(), cv::noArray(), cv::noArray(),
                        cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 100, 1e-12));
    double sum = 0;
    worst = 0;
    for (std::size_t i = 0; i < rays.size(); ++i) {
        const double ix = found.mat[0][0] * rays[i].x + found.mat[0][1] * rays[i].y + found.mat[0][2];
        const double iy = found.mat[1][1] * rays[i].y + found.mat[1][2];
        double ox, oy;
        kwo::ar::idealToObserved(found.dist_factor, ix, iy, ox, oy);
        const double e = std::hypot(ox - pixels[i].x, oy - pixels[i].y);
        sum += e * e;
        worst = std::max(worst, e);
    }
    rms = std::sqrt(sum / static_cast<double>(rays.size()));
}

void toolFigures(const std::string& tool, const std::string& folder) {
    struct Case {
        const char* name;
        BoardCamera camera;
        std::uint32_t seed;
        bool snapToDots = false;
    };
    BoardCamera mild;
    mild.fx = 820;
    mild.fy = 815;
    mild.cx = 331;
    mild.cy = 247;
    mild.k1 = -0.08;
    BoardCamera wide;
    wide.fx = 560;
    wide.fy = 563;
    wide.cx = 315;
    wide.cy = 243;
    wide.k1 = -0.28;
    const Case cases[] = {
        {"fx 700 fy 702 c (322, 236) k1 -0.2", BoardCamera{}, 1},
        {"fx 700 fy 702 c (322, 236) k1 -0.2, other noise", BoardCamera{}, 1000},
        {"fx 820 fy 815 c (331, 247) k1 -0.08", mild, 1},
        {"fx 560 fy 563 c (315, 243) k1 -0.28", wide, 1},
        {"fx 700 ... k1 -0.2, the page printed on whole dots", BoardCamera{}, 1, true},
    };
    std::printf("\n2. %s on whole recordings (25 poses up to 45 degrees, 2 frames each, --views 25):\n", tool.c_str());
    std::printf("   %-48s %8s %8s %8s %8s %9s %9s\n", "camera", "fx %", "fy %", "cx px", "cy px", "rays RMS",
                "rays max");
    for (const Case& c : cases) {
        BoardVideoSettings settings;
        settings.camera = c.camera;
        settings.snapToDots = c.snapToDots;
        const BoardVideoRenderer renderer(settings);
        const std::string video = folder + "/board-" + std::to_string(&c - cases) + ".mkv";
        const std::string output = folder + "/camera-" + std::to_string(&c - cases) + ".dat";
        kwo::synthetic::writeBoardVideo(video, renderer, kwo::synthetic::thoroughPoses(renderer), 2, c.seed);
        std::error_code ignored;
        fs::remove(output, ignored);
        const ToolRun run = runTool("'" + tool + "' --video '" + video + "' --output '" + output +
                                    "' --no-window --views 25");
        std::vector<ARParam> records;
        std::string error;
        if (run.status != 0 || !kwo::ar::readCalibrationFile(output, 1, records, &error)) {
            std::printf("   %-48s failed (exit %d): %s\n", c.name, run.status, error.c_str());
            echoReport(run.output);
            continue;
        }
        const ARParam& p = records[0];
        const double s = p.dist_factor[3];
        double px, py;
        kwo::ar::idealToObserved(p.dist_factor, p.mat[0][2], p.mat[1][2], px, py);
        double rms, worst;
        rayErrors(p, c.camera, rms, worst);
        std::printf("   %-48s %+8.3f %+8.3f %+8.2f %+8.2f %9.3f %9.3f\n", c.name,
                    100 * (p.mat[0][0] * s / c.camera.fx - 1), 100 * (p.mat[1][1] * s / c.camera.fy - 1),
                    px - c.camera.cx, py - c.camera.cy, rms, worst);
        echoReport(run.output);
    }
    std::printf("   (fx, fy: the focal lengths times the lens scale, against the truth; cx, cy: the pixel the optical\n"
                "   axis falls on; rays: where the calibration puts the true camera's rays, every 16th pixel, px)\n");
}

void shortRecordingFigures(const std::string& tool, const std::string& folder) {
    const BoardVideoRenderer renderer{BoardVideoSettings{}};
    const std::string video = folder + "/one-sided.mkv", output = folder + "/one-sided.dat";
    kwo::synthetic::writeBoardVideo(video, renderer, kwo::synthetic::oneSidedPoses(renderer), 2, 7);
    std::error_code ignored;
    fs::remove(output, ignored);
    const ToolRun run = runTool("'" + tool + "' --video '" + video + "' --output '" + output + "' --no-window");
    std::vector<ARParam> records;
    std::printf("\n3. A recording that ends early (11 poses in the left half of the picture): exit %d, %s\n", run.status,
                kwo::ar::readCalibrationFile(output, 1, records) ? "a camera file was written" : "nothing written");
    if (!records.empty()) {
        const ARParam& p = records[0];
        double px, py;
        kwo::ar::idealToObserved(p.dist_factor, p.mat[0][2], p.mat[1][2], px, py);
        double rms, worst;
        rayErrors(p, BoardCamera{}, rms, worst);
        std::printf("   fx %+.3f %%, fy %+.3f %%, axis off by (%+.2f, %+.2f) px, rays RMS %.2f px, worst %.2f px\n",
                    100 * (p.mat[0][0] * p.dist_factor[3] / 700 - 1), 100 * (p.mat[1][1] * p.dist_factor[3] / 702 - 1),
                    px - 322, py - 236, rms, worst);
    }
    echoReport(run.output);
}

// The fit alone, on the same corners: the tool's fit (the tracker's lens
// model) against OpenCV's calibrateCamera with the true camera's own model
// (one radial factor), on the true corners and on the corners the tool
// finds, so a bias can be told from the finder's and from the model's; and
// the same for a page printed with every edge on a whole dot.
void fitFigures() {
    std::printf("\n4. The fit alone on the same 25 views, given the board as designed:\n");
    std::printf("   %-66s %8s %8s %8s %8s\n", "print, corners, fit", "fx %", "fy %", "cx px", "cy px");
    for (bool snapped : {false, true}) {
        BoardVideoSettings settings;
        settings.snapToDots = snapped;
        const BoardVideoRenderer renderer(settings);
        const BoardCamera truth = settings.camera;
        const std::vector<BoardPose> poses = kwo::synthetic::thoroughPoses(renderer);
        const kwo::calibrate::Chessboard& board = settings.board;
        const std::vector<cv::Point3f> object = board.cornerPositions();
        std::vector<kwo::calibrate::BoardView> exact, found;
        for (std::size_t i = 0; i < poses.size(); ++i) {
            const std::vector<cv::Point2d> t = renderer.trueCorners(poses[i]);
            exact.emplace_back(t.begin(), t.end());
            cv::Mat grey;
            cv::cvtColor(renderer.render(poses[i], static_cast<std::uint32_t>(100 + i)), grey, cv::COLOR_BGRA2GRAY);
            std::vector<cv::Point2f> corners;
            if (!cv::findChessboardCornersSB(grey, board.innerCorners(), corners, cv::CALIB_CB_NORMALIZE_IMAGE))
                continue;
            kwo::calibrate::refineCorners(grey, board.innerCorners(), corners);
            // In the true corners' order, whichever end the finder began at.
            if (cv::norm(cv::Point2d(corners.front()) - t.front()) > cv::norm(cv::Point2d(corners.front()) - t.back()))
                std::reverse(corners.begin(), corners.end());
            found.push_back(corners);
        }
        const std::string print = snapped ? "300 dpi on whole dots" : "300 dpi anti-aliased";
        for (const auto& [name, views] : {std::pair<const char*, std::vector<kwo::calibrate::BoardView>&>{"true", exact},
                                          {"found and refined", found}}) {
            const std::string row = print + ", " + name + " corners, ";
            if (const auto fit = kwo::calibrate::fitCamera(views, object, truth.size)) {
                const ARParam& p = fit->param;
                double px, py;
                kwo::ar::idealToObserved(p.dist_factor, p.mat[0][2], p.mat[1][2], px, py);
                std::printf("   %-66s %+8.3f %+8.3f %+8.2f %+8.2f\n", (row + "the tool's fit").c_str(),
                            100 * (p.mat[0][0] * p.dist_factor[3] / truth.fx - 1),
                            100 * (p.mat[1][1] * p.dist_factor[3] / truth.fy - 1), px - truth.cx, py - truth.cy);
            }
            cv::Mat k = cv::Mat::eye(3, 3, CV_64F), d;
            std::vector<cv::Mat> r, t;
            std::vector<std::vector<cv::Point3f>> objects(views.size(), object);
            cv::calibrateCamera(objects, views, truth.size, k, d, r, t,
                                cv::CALIB_FIX_K2 | cv::CALIB_FIX_K3 | cv::CALIB_ZERO_TANGENT_DIST);
            std::printf("   %-66s %+8.3f %+8.3f %+8.2f %+8.2f\n", (row + "OpenCV, the true model").c_str(),
                        100 * (k.at<double>(0, 0) / truth.fx - 1), 100 * (k.at<double>(1, 1) / truth.fy - 1),
                        k.at<double>(0, 2) - truth.cx, k.at<double>(1, 2) - truth.cy);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string tool = KWO_PROGRAM_DIR "/kwo-calibrate", keep;
    int part = 0;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (name == "--tool") tool = argv[i + 1];
        else if (name == "--keep") keep = argv[i + 1];
        else if (name == "--part") part = std::atoi(argv[i + 1]);
        else {
            std::fprintf(stderr, "usage: %s [--tool PATH] [--keep FOLDER] [--part 1..4]\n", argv[0]);
            return 2;
        }
    }
    std::string folder = keep;
    if (folder.empty()) {
        char name[] = "/tmp/kwo-calibration-XXXXXX";
        if (!mkdtemp(name)) return 1;
        folder = name;
    } else {
        fs::create_directories(folder);
    }

    if (part == 0 || part == 1) cornerFigures();
    if (part == 0 || part == 2) toolFigures(tool, folder);
    if (part == 0 || part == 3) shortRecordingFigures(tool, folder);
    if (part == 0 || part == 4) fitFigures();

    if (keep.empty()) fs::remove_all(folder);
    return 0;
}
