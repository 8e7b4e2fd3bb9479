// Accuracy figures of our tracker beside OpenCV's ArUco (with its sub-pixel
// corner refinement) on equal synthetic frames: identification rate, corner
// error, pose error, the smallest identified marker and the jitter of a
// still marker; and our tracker alone on the sample patterns of other
// tools under camera conditions, also with the local threshold. Figures,
// not tests: nothing here fails.
//
// usage: bench_tracking_accuracy

#include "bench/tracking/adaptive_figures.h"
#include "bench/tracking/scenes.h"
#include "bench/tracking/hands_figures.h"
#include "bench/tracking/tracking_figures.h"
#include "tools/synthetic/pose_errors.h"

#include <opencv2/calib3d.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <string>

namespace kwo::bench {
namespace {

using synthetic::rotationError;
using synthetic::translationError;

struct Result {
    bool found = false;
    double corners[4][2]; // printed upper-left first
    double pose[3][4];
};

Result ours(ar::Tracker& tracker, const synthetic::SyntheticFrame& frame, int id, const double* previous = nullptr) {
    Result r;
    tracker.resetHistory();
    const ARMarkerInfo* best = nullptr;
    for (const ARMarkerInfo& m : tracker.detect(ar::FrameView::packed(frame.data(), frame.width, frame.height), 100))
        if (m.id == id && (!best || m.cf > best->cf)) best = &m;
    if (!best) return r;
    for (int k = 0; k < 4; ++k)
        for (int c = 0; c < 2; ++c) r.corners[k][c] = best->vertex[(4 - best->dir + k) % 4][c];
    const double center[2] = {0, 0};
    const double e = previous ? tracker.poseContinued(*best, reinterpret_cast<const double(*)[4]>(previous), center, 83, r.pose)
                              : tracker.pose(*best, center, 83, r.pose);
    r.found = e >= 0;
    return r;
}

Result aruco(const synthetic::SyntheticFrame& frame, const ARParam& param, int id) {
    static const auto dictionary = arucoDictionary();
    static const auto parameters = [] {
        auto p = cv::aruco::DetectorParameters::create();
        p->cornerRefinementMethod = cv::aruco::CORNER_REFINE_SUBPIX;
        return p;
    }();
    Result r;
    std::vector<std::vector<cv::Point2f>> corners;
    std::vector<int> ids;
    cv::aruco::detectMarkers(arucoGrey(frame), dictionary, corners, ids, parameters);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        if (ids[i] != id) continue;
        std::vector<cv::Vec3d> rvecs, tvecs;
        cv::aruco::estimatePoseSingleMarkers(std::vector<std::vector<cv::Point2f>>{corners[i]}, 83,
                                             cv::Mat(intrinsics(param)), cv::Mat::zeros(1, 5, CV_64F), rvecs, tvecs);
        cv::Matx33d rotation;
        cv::Rodrigues(rvecs[0], rotation);
        for (int k = 0; k < 4; ++k) {
            r.corners[k][0] = corners[i][k].x;
            r.corners[k][1] = corners[i][k].y;
        }
        // ArUco's marker frame: x right, y up, z toward the viewer, as ours.
        for (int a = 0; a < 3; ++a) {
            for (int b = 0; b < 3; ++b) r.pose[a][b] = rotation(a, b);
            r.pose[a][3] = tvecs[0][a];
        }
        r.found = true;
    }
    return r;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * v.size()))];
}

struct Tally {
    int frames = 0, found = 0;
    double cornerSquares = 0;
    int cornerCount = 0;
    std::vector<double> rotation, translation;
    void add(const Result& r, const synthetic::MarkerTruth& truth) {
        ++frames;
        if (!r.found) return;
        ++found;
        for (int k = 0; k < 4; ++k) {
            cornerSquares += std::pow(r.corners[k][0] - truth.ideal[k][0], 2) + std::pow(r.corners[k][1] - truth.ideal[k][1], 2);
            ++cornerCount;
        }
        rotation.push_back(rotationError(r.pose, truth.pose));
        translation.push_back(100 * translationError(r.pose, truth.pose));
    }
    void print(const char* name) const {
        std::printf("  %-6s identified %5.1f %%  corner RMS %.3f px  rotation error median %.3f / 95%% %.3f deg  "
                    "translation error median %.3f / 95%% %.3f %%\n",
                    name, 100.0 * found / frames, std::sqrt(cornerSquares / std::max(1, cornerCount)),
                    percentile(rotation, 0.5), percentile(rotation, 0.95), percentile(translation, 0.5),
                    percentile(translation, 0.95));
    }
};

synthetic::PrintedMarker printed(bool isAruco, int index, const double pose[3][4]) {
    synthetic::PrintedMarker m;
    m.picture = isAruco ? arucoPicture(index) : synthetic::designPicture(designNames()[index], 512);
    m.width = 83;
    std::copy(&pose[0][0], &pose[0][0] + 12, &m.pose[0][0]);
    return m;
}

void randomPoses(const ARParam& param, synthetic::FrameRenderer& renderer, ar::Tracker& tracker) {
    std::printf("Random single-marker poses (640x480, 60 deg camera, tilt up to 50 deg, 400..1200 mm, noise 2, blur 0.5), 200 frames:\n");
    std::minstd_rand random(7);
    std::uniform_real_distribution<double> tilt(-50, 50), spin(0, 360), depth(400, 1200), unit(-1, 1);
    Tally ourTally, arucoTally;
    for (int i = 0; i < 200; ++i) {
        const double z = depth(random);
        double pose[3][4];
        // Drawn one by one, last argument first: the order the poses were
        // always drawn in, now fixed by the code rather than the compiler.
        const double y = unit(random) * z * 0.25, x = unit(random) * z * 0.35;
        const double turn = spin(random), tiltY = tilt(random), tiltX = tilt(random);
        synthetic::makePose(tiltX, tiltY, turn, x, y, z, pose);
        synthetic::FrameOptions options;
        options.seed = 1000 + i;
        options.noise = 2;
        options.blur = 0.5;
        const int index = i % 4;
        const auto a = renderer.render({printed(false, index, pose)}, options);
        ourTally.add(ours(tracker, a, index), a.markers[0]);
        const auto b = renderer.render({printed(true, index, pose)}, options);
        arucoTally.add(aruco(b, param, index), b.markers[0]);
    }
    ourTally.print("ours");
    arucoTally.print("ArUco");
}

void smallMarkers(const ARParam& param, synthetic::FrameRenderer& renderer, ar::Tracker& tracker) {
    std::printf("Identification by marker side (tilt up to 30 deg, any turn, noise 2), 32 frames per side:\n");
    for (double side : {40.0, 32.0, 28.0, 24.0, 22.0, 20.0, 18.0, 16.0, 14.0, 12.0, 11.0, 10.0}) {
        std::minstd_rand random(static_cast<unsigned>(side));
        std::uniform_real_distribution<double> tilt(-30, 30), spin(0, 360), unit(-1, 1);
        int ourCount = 0, arucoCount = 0;
        const int frames = 32;
        for (int i = 0; i < frames; ++i) {
            const double z = param.mat[0][0] * 83 / side;
            double pose[3][4];
            const double y = unit(random) * z * 0.2, x = unit(random) * z * 0.3;
            const double turn = spin(random), tiltY = tilt(random), tiltX = tilt(random);
            synthetic::makePose(tiltX, tiltY, turn, x, y, z, pose);
            synthetic::FrameOptions options;
            options.seed = 5000 + i;
            options.noise = 2;
            const int index = i % 4;
            ourCount += ours(tracker, renderer.render({printed(false, index, pose)}, options), index).found;
            arucoCount += aruco(renderer.render({printed(true, index, pose)}, options), param, index).found;
        }
        std::printf("  side %4.0f px: ours %5.1f %%  ArUco %5.1f %%\n", side, 100.0 * ourCount / frames, 100.0 * arucoCount / frames);
    }
}

void jitter(const ARParam& param, synthetic::FrameRenderer& renderer, ar::Tracker& tracker) {
    std::printf("Jitter of a still marker (tilt 20 deg, 600 mm, 60 frames of fresh noise 3):\n");
    double truth[3][4];
    synthetic::makePose(20, 10, 30, 30, -20, 600, truth);
    struct Spread {
        std::vector<double> x, y, z, angle;
        void add(const Result& r, const double reference[3][4]) {
            if (!r.found) return;
            x.push_back(r.pose[0][3]);
            y.push_back(r.pose[1][3]);
            z.push_back(r.pose[2][3]);
            angle.push_back(rotationError(r.pose, reference));
        }
        static double deviation(const std::vector<double>& v) {
            const double mean = std::accumulate(v.begin(), v.end(), 0.0) / v.size();
            double sum = 0;
            for (double value : v) sum += (value - mean) * (value - mean);
            return std::sqrt(sum / v.size());
        }
        void print(const char* name) const {
            std::printf("  %-16s position standard deviation x %.3f y %.3f z %.3f mm, rotation %.3f deg (%zu frames)\n", name,
                        deviation(x), deviation(y), deviation(z), deviation(angle), z.size());
        }
    } fresh, continued, arucoSpread;
    double previous[3][4];
    bool havePrevious = false;
    for (int i = 0; i < 60; ++i) {
        synthetic::FrameOptions options;
        options.seed = 9000 + i;
        options.noise = 3;
        const auto a = renderer.render({printed(false, 2, truth)}, options);
        fresh.add(ours(tracker, a, 2), truth);
        const Result c = ours(tracker, a, 2, havePrevious ? &previous[0][0] : nullptr);
        if (c.found) {
            std::copy(&c.pose[0][0], &c.pose[0][0] + 12, &previous[0][0]);
            havePrevious = true;
        }
        continued.add(c, truth);
        arucoSpread.add(aruco(renderer.render({printed(true, 2, truth)}, options), param, 2), truth);
    }
    fresh.print("ours, fresh");
    continued.print("ours, continued");
    arucoSpread.print("ArUco");
}

void tableScenes(const ARParam& param, synthetic::FrameRenderer& renderer, ar::Tracker& tracker) {
    std::printf("Four markers on a table (the speed benchmark's scenes, 32 frames):\n");
    Tally ourTally, arucoTally;
    for (int i = 0; i < 32; ++i) {
        synthetic::FrameOptions options;
        options.seed = 100 + i;
        options.noise = 2;
        options.blur = 0.5;
        const auto scene = tableScene(4, 100 + i);
        const auto a = renderer.render(printScene(scene, false), options);
        const auto b = renderer.render(printScene(scene, true), options);
        for (int id = 0; id < 4; ++id) {
            ourTally.add(ours(tracker, a, id), a.markers[id]);
            arucoTally.add(aruco(b, param, id), b.markers[id]);
        }
    }
    ourTally.print("ours");
    arucoTally.print("ArUco");
}

// Our tracker alone: the patterns are ones of other tools, which ArUco
// cannot read.
void cameraConditions() {
    const char* data = std::getenv("KWO_TEST_DATA");
    const auto figures = conditionFigures(data ? data : KWO_SAMPLE_DATA, 200, 50000);
    if (figures.empty()) {
        std::printf("Sample markers under camera conditions: sample patterns not found\n");
        return;
    }
    std::printf("Sample markers under camera conditions (640x480, 40-150 px, tilt up to 50 deg, noise 3, JPEG), %d "
                "renders each:\n",
                figures[0].renders);
    for (const ConditionFigures& f : figures)
        std::printf("  %-26s named %5.1f %%  wrongly named %3d  mean cf %.3f\n", f.condition.c_str(),
                    100.0 * f.named / std::max(1, f.renders), f.wrong, f.cfMean);
}

// Cards held by a thumb over the border, before (squares alone) and after
// (following broken outlines).
void thumbFigures() {
    std::printf("Cards held by a thumb 30-100 %% into one side's border after being seen whole (24 sequences of "
                "30 frames, 100-200 px, drifting up to 0.1 m/s), threshold 100:\n");
    for (bool follow : {false, true}) {
        const ThumbFigures thumb = thumbSequences(24, follow);
        std::printf("  %-32s named %5.1f %%  translation error < 2 %% in %5.1f %%  wrong names %d  frames named after "
                    "the card left (beyond the history) %d\n",
                    follow ? "following broken outlines" : "squares alone (before)",
                    100.0 * thumb.named / std::max(1, thumb.thumbFrames),
                    100.0 * thumb.accurate / std::max(1, thumb.thumbFrames), thumb.wrong, thumb.afterRemoval);
    }
    std::printf("  the original: no square at any threshold (0 %%)\n");
}

// Where visitors meet the station: shadows and fingers on cards, real
// rooms, real photos of printed markers; the original library's figures on
// the same kind of input beside ours.
void visitorsHandsAndLight() {
    std::printf("Cards half in a hard shadow (40 %% light), face-on, our four designs shadowed right or bottom "
                "(8 cards, 160 px):\n");
    for (const ShadowRow& row : shadowedCards({30, 45, 60, 75, 90, 100})) {
        std::printf("  threshold %3d: named %d of %d (found as squares %d)", row.threshold, row.named, row.cards,
                    row.squares);
        if (row.threshold == 60) std::printf("   the original: 8 of 8");
        if (row.threshold == 100) std::printf("   the original: 0 of 8");
        std::printf("\n");
    }
    const ShadowSweep sweep = shadowSweep(64);
    std::printf("Hard shadow edges across cards in any pose (64 cards, 60-200 px, 30-60 %% light, JPEG), "
                "thresholds 30-90:\n  named %d of %d renders, found as squares %d, real markers refused (cf >= 0.5 "
                "for their pattern) %d, wrong names %d   the original: refused 0\n",
                sweep.named, sweep.renders, sweep.squares, sweep.refused, sweep.wrong);
    const OccluderFigures finger = occludedCards(64, 0.3);
    std::printf("A finger over 30 %% of the pattern (64 cards, 80-200 px, threshold 100):\n  named %5.1f %% "
                "(found as squares %d of %d), wrong names %d   the original: 100 %%\n",
                100.0 * finger.named / std::max(1, finger.cards), finger.squares, finger.cards, finger.wrong);
    thumbFigures();
    const auto clutter = realClutter(KWO_CLUTTER_PHOTOS);
    if (clutter.empty()) {
        std::printf("Real marker-free photos: not installed (%s, Debian's opencv-doc)\n", KWO_CLUTTER_PHOTOS);
    } else {
        std::printf("Real marker-free photos and video (%s), threshold 100, false identifications per 1,000 frames:\n",
                    KWO_CLUTTER_PHOTOS);
        for (const RealClutterRow& row : clutter)
            std::printf("  %-18s %4d frames  squares %5d  with the sample patterns %6.1f  with our designs %6.1f\n",
                        row.source.c_str(), row.frames, row.squares, 1000.0 * row.samplePatterns / std::max(1, row.frames),
                        1000.0 * row.designs / std::max(1, row.frames));
    }
    const char* data = std::getenv("KWO_TEST_DATA");
    const auto photos = realPhotoFigures(KWO_REAL_PHOTOS, data ? data : KWO_SAMPLE_DATA);
    if (photos.empty()) {
        std::printf("Real photos of printed markers: not found (%s)\n", KWO_REAL_PHOTOS);
        return;
    }
    std::printf("Real photos of printed markers, threshold 100: cf of each marker's own pattern:\n");
    for (const RealPhotoFigure& f : photos)
        std::printf("  %-20s %-5s ours %.3f%s  the original %.3f%s\n", f.photo.c_str(), f.marker.c_str(), f.cf,
                    f.named ? " named" : " unnamed", f.original, f.cf + 1e-9 >= f.original ? "" : "  (below)");
}

} // namespace
} // namespace kwo::bench

// usage: bench_tracking_accuracy [hands|thumbs|adaptive]   (hands: only the
//        figures of shadows, fingers, thumbs, real clutter and real photos;
//        thumbs: only the thumb sequences; adaptive: only the camera
//        conditions under each threshold mode)
int main(int argc, char** argv) {
    using namespace kwo::bench;
    if (argc > 1 && std::string(argv[1]) == "thumbs") {
        thumbFigures();
        return 0;
    }
    if (argc > 1 && std::string(argv[1]) == "hands") {
        visitorsHandsAndLight();
        return 0;
    }
    const char* data = std::getenv("KWO_TEST_DATA");
    if (argc > 1 && std::string(argv[1]) == "adaptive") {
        printAdaptiveConditions(data ? data : KWO_SAMPLE_DATA, 200, 50000);
        return 0;
    }
    const ARParam param = camera(640, 480);
    kwo::synthetic::FrameRenderer renderer(param);
    kwo::ar::Tracker tracker = designTracker(param);
    randomPoses(param, renderer, tracker);
    smallMarkers(param, renderer, tracker);
    jitter(param, renderer, tracker);
    tableScenes(param, renderer, tracker);
    cameraConditions();
    printAdaptiveConditions(data ? data : KWO_SAMPLE_DATA, 200, 50000);
    visitorsHandsAndLight();
    return 0;
}
