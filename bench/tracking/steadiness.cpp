// How steadily a creature stands on its card: the placement as it is by
// default (each frame's pose as estimated, a lost marker's creature hidden at
// once) beside the steadied placement (tracking/smoothing and tracking/hold at
// the values recommended here), on the same films of a hand-held card with a
// real camera's faults (bench/tracking/hand_held.h), at 640x480 and 320x240:
// - a still card: how far the point where the creature stands (the marker's
//   centre) and a point 50 mm above it (a creature's head) move on the
//   picture from frame to frame, RMS, how far the creature turns, and in
//   how many frames it moved at all;
// - a moving card (0.1, 0.3 and 1 m/s at 40 cm, turning at up to 90 degrees
//   per second): how far the shown points trail the true ones, in pixels and
//   milliseconds, and the largest jump of the head point in one frame beyond
//   the card's own movement;
// - dropouts: frames in which the whole card is in the picture and no
//   creature shows, and how long a creature stays after its card was taken
//   away.
// Then a grid of the filter's two main parameters, from which the
// recommended values were chosen, and the cost per marker (Google Benchmark,
// thread processor time, median of interleaved rounds): the filter beside the
// pose estimate it follows, and the whole steadied placement beside today's.
//
// usage: bench_steadiness [Google Benchmark options]
//        (default: --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true)

#include "bench/tracking/hand_held.h"
#include "bench/tracking/rounds.h"
#include "bench/tracking/scenes.h"
#include "tracking/ar/pose.h"
#include "tracking/placement.h"

#include <benchmark/benchmark.h>
#include <opencv2/core/utility.hpp>

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace kwo::bench {
namespace {

// The values the demo and the README recommend (chosen from the grid below).
PoseFilterParameters recommendedFilter() {
    PoseFilterParameters p;
    p.minCutoff = 0.4;
    p.beta = 0.08;
    p.derivativeCutoff = 1.0;
    return p;
}
constexpr double recommendedHold = 0.15; // seconds

Steadying today() { return {}; }
Steadying steadied(const PoseFilterParameters& filter = recommendedFilter(), double hold = recommendedHold) {
    Steadying s;
    s.smoothing = filter;
    s.hold = hold;
    return s;
}

constexpr int frameRate = 30;
constexpr double headHeight = 50; // millimetres above the marker
// Frames left out of the figures at the start of each film: the viewer has
// just found the card.
constexpr int settling = 10;

// ---- Films --------------------------------------------------------------

struct Resolution {
    int width, height;
};
const Resolution resolutions[] = {{640, 480}, {320, 240}};

std::string sizeName(const ARParam& camera) {
    return std::to_string(camera.xsize) + "x" + std::to_string(camera.ysize);
}

CardPath stillCard(double tiltX, double tiltY, double spin, double x, double y, double z) {
    return [=](double, double pose[3][4]) { synthetic::makePose(tiltX, tiltY, spin, x, y, z, pose); };
}

// A card carried round a circle of 90 mm at `speed` metres per second,
// `distance` millimetres from the camera, turned to and fro about its normal
// by up to 90 degrees per second and tilted a little, through facing the
// camera square-on.
CardPath movingCard(double speed, double distance = 400) {
    return [=](double t, double pose[3][4]) {
        const double radius = 90, angle = speed * 1000 * t / radius;
        const double spinRate = 2 * std::numbers::pi * 0.48; // 30 degrees at this rate peak at 90 per second
        synthetic::makePose(-8 + 10 * std::sin(2 * std::numbers::pi * 0.3 * t),
                            6 * std::sin(2 * std::numbers::pi * 0.23 * t), 20 + 30 * std::sin(spinRate * t),
                            radius * std::cos(angle), 0.8 * radius * std::sin(angle), distance, pose);
    };
}

struct FilmCase {
    std::string name;
    Film film;
    double speed = 0;   // metres per second
    bool dim = false;   // exposed for 1/20 s, as in a dim room
};

std::vector<FilmCase> stillFilms() {
    std::vector<FilmCase> films;
    std::uint32_t seed = 100;
    for (const Resolution& r : resolutions) {
        const ARParam camera = bench::camera(r.width, r.height);
        // Up to the largest card whose sheet stays in the picture.
        const std::vector<int> sides = r.width >= 640 ? std::vector<int>{60, 120, 200} : std::vector<int>{40, 60, 100};
        for (const int side : sides)
            for (const bool squareOn : {true, false})
                for (const double noise : {2.0, 4.0}) {
                    const double z = camera.mat[0][0] * cardWidth / side;
                    CameraFaults faults;
                    faults.noise = noise;
                    // Held as visitors hold cards, nearly square-on, or tilted
                    // back as a card on a table; a little off the centre.
                    const CardPath path = squareOn ? stillCard(4, -3, 20, 0.08 * z, 0.05 * z, z)
                                                   : stillCard(-35, 10, 20, 0.08 * z, 0.05 * z, z);
                    char name[96];
                    std::snprintf(name, sizeof name, "%-8s %3d px  %-9s  %1.0f", sizeName(camera).c_str(), side,
                                  squareOn ? "square-on" : "tilted", noise);
                    films.push_back({name, filmCard(camera, path, 90, faults, {}, seed)});
                    ++seed;
                }
    }
    return films;
}

std::vector<FilmCase> movingFilms() {
    std::vector<FilmCase> films;
    std::uint32_t seed = 300;
    for (const Resolution& r : resolutions) {
        const ARParam camera = bench::camera(r.width, r.height);
        for (const double speed : {0.1, 0.3, 1.0}) {
            char name[96];
            std::snprintf(name, sizeof name, "%-8s %.1f m/s        ", sizeName(camera).c_str(), speed);
            films.push_back({name, filmCard(camera, movingCard(speed), 90, CameraFaults{}, {}, seed), speed});
            ++seed;
        }
        // In a dim room the camera exposes longer: more blur, and a small
        // card's two mirror-image poses fit its blurred corners about
        // equally well.
        for (const double distance : {400.0, 700.0}) {
            CameraFaults dim;
            dim.exposure = 1.0 / 20;
            char name[96];
            std::snprintf(name, sizeof name, "%-8s 0.3 m/s %2.0f cm dim", sizeName(camera).c_str(), distance / 10);
            films.push_back({name, filmCard(camera, movingCard(0.3, distance), 90, dim, {}, seed), 0.3, true});
            ++seed;
        }
    }
    return films;
}

// A card held in view, swaying slowly, covered now and then by a finger for
// one, two and three frames and once washed out by a glare for three, then
// taken away.
Mishap dropouts(int frame) {
    if (frame == 20 || (frame >= 40 && frame < 42) || (frame >= 60 && frame < 63)) return Mishap::finger;
    if (frame >= 80 && frame < 83) return Mishap::glare;
    if (frame >= 100) return Mishap::away;
    return Mishap::none;
}
constexpr int takenAway = 100;

std::vector<FilmCase> dropoutFilms() {
    std::vector<FilmCase> films;
    std::uint32_t seed = 500;
    for (const Resolution& r : resolutions) {
        const ARParam camera = bench::camera(r.width, r.height);
        const CardPath path = [](double t, double pose[3][4]) {
            synthetic::makePose(-25, 0, 10 + 5 * std::sin(2 * std::numbers::pi * 0.2 * t),
                                30 * std::sin(2 * std::numbers::pi * 0.1 * t), 10, 400, pose);
        };
        films.push_back({sizeName(camera), filmCard(camera, path, 120, CameraFaults{}, dropouts, seed)});
        ++seed;
    }
    return films;
}

// ---- Placement ------------------------------------------------------------

struct Shown {
    bool shown = false;
    MarkerPose pose;
};

// The estimates the viewer places creatures with (tracking/marker_tracking.h),
// from this tracker and calibration.
PoseEstimates viewerEstimates(const ar::Tracker& tracker, const ar::Calibration& calibration) {
    const ar::Tracker* t = &tracker;
    const ar::Calibration* c = &calibration;
    return {[t](ARMarkerInfo* m, double center[2], double width, double conv[3][4]) {
                return t->pose(*m, center, width, conv);
            },
            [t](ARMarkerInfo* m, double previous[3][4], double center[2], double width, double conv[3][4]) {
                return t->poseContinued(*m, previous, center, width, conv);
            },
            [c](ARMarkerInfo* m, double previous[3][4], double center[2], double width, double conv[3][4]) {
                return ar::estimatePoseNear(*c, *m, center, width, previous, conv);
            }};
}

// The viewer's placement of the card's creature, frame by frame.
std::vector<Shown> place(const Film& film, const Steadying& steadying) {
    const ar::Tracker tracker = filmTracker(film.camera);
    ar::Calibration calibration;
    ar::prepareCalibration(film.camera, calibration);
    const PoseEstimates estimates = viewerEstimates(tracker, calibration);
    std::vector<TrackedObject> objects(1);
    objects[0].patternId = 0;
    objects[0].width = cardWidth;
    std::vector<NodeChange> changes;
    std::vector<ARMarkerInfo> markers;
    std::vector<Shown> shown;
    for (const FilmedFrame& frame : film.frames) {
        markers = frame.markers;
        planPlacements(markers.data(), static_cast<int>(markers.size()), 0, steadying, frame.time, objects, estimates,
                       changes);
        shown.push_back({objects[0].visible, shownPose(objects[0], steadying)});
    }
    return shown;
}

// ---- Figures --------------------------------------------------------------

// Where the point `height` millimetres above the marker's centre shows on the
// picture, pixels.
cv::Point2d onPicture(const ARParam& camera, const MarkerPose& pose, double height) {
    double t[3][4];
    pose.toTransform(t);
    double p[3];
    for (int r = 0; r < 3; ++r) p[r] = t[r][2] * height + t[r][3];
    double q[3];
    for (int r = 0; r < 3; ++r)
        q[r] = camera.mat[r][0] * p[0] + camera.mat[r][1] * p[1] + camera.mat[r][2] * p[2] + camera.mat[r][3];
    return {q[0] / q[2], q[1] / q[2]};
}

struct Figures {
    // Still card: RMS movement from frame to frame.
    double foot = 0, head = 0, turn = 0; // pixels, pixels, degrees
    double headOffset = 0;               // mean distance of the shown head point from the true one, pixels
    int moves = 0, steps = 0;            // frames in which the shown pose changed at all, of those measured
    // Moving card.
    double footLag = 0, headLag = 0;     // mean distance from the true points, pixels
    double footLagMs = 0, headLagMs = 0; // the same over the points' mean speed
    double headStep = 0;                 // the true head point's mean movement per frame, pixels
    double jump = 0;                     // the head point's largest movement beyond the card's own in one frame
    double turnError = 0;                // mean angle between the shown and the true orientation, degrees
    // Both.
    int blinks = 0;                      // frames with the whole card in view and no creature
    double goneAfter = -1;               // milliseconds a creature stayed after its card was taken away
};

Figures measure(const Film& film, const std::vector<Shown>& shown) {
    Figures f;
    double footSquares = 0, headSquares = 0, turnSquares = 0;
    int steps = 0, placed = 0;
    double footTrue = 0, headTrue = 0;
    int trueSteps = 0;
    const double period = 1000.0 / frameRate;
    for (std::size_t i = settling; i < film.frames.size(); ++i) {
        const FilmedFrame& frame = film.frames[i];
        if (frame.inView && !shown[i].shown) ++f.blinks;
        const MarkerPose truth = MarkerPose::fromTransform(frame.truth);
        const MarkerPose previousTruth = MarkerPose::fromTransform(film.frames[i - 1].truth);
        const cv::Point2d headNow = onPicture(film.camera, truth, headHeight);
        const cv::Point2d headBefore = onPicture(film.camera, previousTruth, headHeight);
        if (frame.inView) {
            footTrue += cv::norm(onPicture(film.camera, truth, 0) - onPicture(film.camera, previousTruth, 0));
            headTrue += cv::norm(headNow - headBefore);
            ++trueSteps;
        }
        if (!shown[i].shown || !frame.inView) continue;
        ++placed;
        const cv::Point2d foot = onPicture(film.camera, shown[i].pose, 0);
        const cv::Point2d head = onPicture(film.camera, shown[i].pose, headHeight);
        f.footLag += cv::norm(foot - onPicture(film.camera, truth, 0));
        f.headLag += cv::norm(head - headNow);
        f.turnError += turnBetween(shown[i].pose.orientation, truth.orientation) * 180 / std::numbers::pi;
        if (!shown[i - 1].shown) continue;
        const cv::Point2d footBefore = onPicture(film.camera, shown[i - 1].pose, 0);
        const cv::Point2d headShownBefore = onPicture(film.camera, shown[i - 1].pose, headHeight);
        footSquares += std::pow(cv::norm(foot - footBefore), 2);
        headSquares += std::pow(cv::norm(head - headShownBefore), 2);
        turnSquares += std::pow(turnBetween(shown[i].pose.orientation, shown[i - 1].pose.orientation) * 180 /
                                    std::numbers::pi,
                                2);
        f.jump = std::max(f.jump, cv::norm((head - headShownBefore) - (headNow - headBefore)));
        const MarkerPose& now = shown[i].pose;
        const MarkerPose& before = shown[i - 1].pose;
        if (now.position != before.position || now.orientation.w != before.orientation.w ||
            now.orientation.x != before.orientation.x || now.orientation.y != before.orientation.y ||
            now.orientation.z != before.orientation.z)
            ++f.moves;
        ++steps;
    }
    f.steps = steps;
    if (steps > 0) {
        f.foot = std::sqrt(footSquares / steps);
        f.head = std::sqrt(headSquares / steps);
        f.turn = std::sqrt(turnSquares / steps);
    }
    if (placed > 0) {
        f.footLag /= placed;
        f.headLag /= placed;
        f.turnError /= placed;
        f.headOffset = f.headLag;
    }
    if (trueSteps > 0) {
        f.headStep = headTrue / trueSteps;
        f.footLagMs = footTrue > 0 ? f.footLag / (footTrue / trueSteps) * period : 0;
        f.headLagMs = headTrue > 0 ? f.headLag / (headTrue / trueSteps) * period : 0;
    }
    for (std::size_t i = 1; i < film.frames.size(); ++i)
        if (dropouts(static_cast<int>(i)) == Mishap::away && dropouts(static_cast<int>(i) - 1) != Mishap::away) {
            std::size_t gone = i;
            while (gone < film.frames.size() && shown[gone].shown) ++gone;
            f.goneAfter = (film.frames[std::min(gone, film.frames.size() - 1)].time - film.frames[i - 1].time) * 1000;
        }
    return f;
}

// ---- Tables ---------------------------------------------------------------

void stillTable(const std::vector<FilmCase>& films) {
    std::printf("\nA still card (90 frames at 30 fps; sensor noise sigma 2 or 4, JPEG 75, exposure flicker 3 %%, lens "
                "blur 0.7 px):\nRMS movement from frame to frame of the point the creature stands on (foot), of a "
                "point 50 mm above it (head)\nand of its orientation (turn); head offset: the head point's mean "
                "distance from the truth; moved: frames in which the creature moved at all. today | steadied\n");
    std::printf("%-8s %6s  %-9s %5s  %15s  %15s  %15s  %15s  %13s\n", "frames", "card", "held", "noise", "foot px",
                "head px", "turn deg", "head offset px", "moved");
    for (const FilmCase& c : films) {
        const Figures a = measure(c.film, place(c.film, today()));
        const Figures b = measure(c.film, place(c.film, steadied()));
        std::printf("%s  %6.3f | %6.3f  %6.3f | %6.3f  %6.3f | %6.3f  %6.3f | %6.3f  %2d | %2d of %2d\n", c.name.c_str(),
                    a.foot, b.foot, a.head, b.head, a.turn, b.turn, a.headOffset, b.headOffset, a.moves, b.moves,
                    b.steps);
    }
}

void movingTable(const std::vector<FilmCase>& films) {
    std::printf("\nA moving card (40 cm away, round a circle of 90 mm, turning at up to 90 deg/s; 90 frames; noise "
                "sigma 2, JPEG 75, flicker,\nmotion blur over 1/60 s): mean distance of the shown points from the "
                "true ones (lag; in ms over the point's speed),\nthe head point's largest jump in one frame beyond "
                "the card's own movement, and frames in view without a creature.\ntoday | steadied\n");
    std::printf("%-26s %9s  %15s  %15s  %17s  %15s  %15s  %7s\n", "frames", "head/frame", "foot lag px",
                "head lag px", "head lag ms", "head jump px", "turn error deg", "blinks");
    for (const FilmCase& c : films) {
        const Figures a = measure(c.film, place(c.film, today()));
        const Figures b = measure(c.film, place(c.film, steadied()));
        std::printf("%-26s %7.1f px  %6.2f | %6.2f  %6.2f | %6.2f  %7.1f | %7.1f  %6.1f | %6.1f  %6.1f | %6.1f  %2d | %2d\n",
                    c.name.c_str(), a.headStep, a.footLag, b.footLag, a.headLag, b.headLag, a.headLagMs, b.headLagMs,
                    a.jump, b.jump, a.turnError, b.turnError, a.blinks, b.blinks);
    }
}

void dropoutTable(const std::vector<FilmCase>& films) {
    std::printf("\nDropouts (a card swaying slowly 40 cm away, covered by a finger for 1, 2 and 3 frames and by a "
                "glare for 3,\nthen taken away; 120 frames): frames with the whole card in view and no creature, and "
                "how long the creature\nstayed after the card was taken away. today | steadied (hold %.0f ms)\n",
                recommendedHold * 1000);
    std::printf("%-10s %9s  %19s\n", "frames", "blinks", "gone after ms");
    for (const FilmCase& c : films) {
        const Figures a = measure(c.film, place(c.film, today()));
        const Figures b = measure(c.film, place(c.film, steadied()));
        std::printf("%-10s %3d | %3d  %7.0f | %7.0f\n", c.name.c_str(), a.blinks, b.blinks, a.goneAfter, b.goneAfter);
    }
}

// The still cards' head jitter against the moving cards' lag, for a grid of
// the filter's cutoff and speed coefficient (the hold does not enter).
void parameterGrid(const std::vector<FilmCase>& still, const std::vector<FilmCase>& moving) {
    std::printf("\nThe filter's parameters (derivative_cutoff 1): head point of the still cards held square-on "
                "under noise sigma 4,\nworst RMS movement in px and worst share of today's; head lag of the "
                "moving cards, worst in frames of the card's\nown movement, and the worst head jump at 0.3 m/s in px\n");
    std::printf("%10s %6s  %16s  %8s  %8s  %8s  %8s\n", "min_cutoff", "beta", "still head px, x", "0.1 m/s", "0.3 m/s",
                "1 m/s", "jump 0.3");
    for (const double minCutoff : {0.4, 0.8, 1.5})
        for (const double beta : {0.02, 0.04, 0.08, 0.16, 0.32}) {
            PoseFilterParameters p = recommendedFilter();
            p.minCutoff = minCutoff;
            p.beta = beta;
            double worstHead = 0, worstShare = 0, lag01 = 0, lag03 = 0, lag1 = 0, jump = 0;
            for (const FilmCase& c : still) {
                if (c.name.find("square-on") == std::string::npos || c.name.back() != '4') continue;
                const Figures a = measure(c.film, place(c.film, today()));
                const Figures b = measure(c.film, place(c.film, steadied(p)));
                worstHead = std::max(worstHead, b.head);
                worstShare = std::max(worstShare, b.head / a.head);
            }
            for (const FilmCase& c : moving) {
                const Figures b = measure(c.film, place(c.film, steadied(p)));
                const double frames = b.headLag / b.headStep;
                if (c.speed == 0.1) lag01 = std::max(lag01, frames);
                if (c.speed == 0.3 && !c.dim) lag03 = std::max(lag03, frames);
                if (c.speed == 0.3 && c.name.find("70 cm") == std::string::npos) jump = std::max(jump, b.jump);
                if (c.speed == 1.0) lag1 = std::max(lag1, frames);
            }
            std::printf("%10.1f %6.3f  %7.3f  %6.2f  %8.2f  %8.2f  %8.2f  %8.1f%s\n", minCutoff, beta, worstHead,
                        worstShare, lag01, lag03, lag1, jump,
                        minCutoff == recommendedFilter().minCutoff && beta == recommendedFilter().beta
                            ? "   <- recommended"
                            : "");
        }
}

// ---- Cost -----------------------------------------------------------------

const Film& costFilm() {
    static const Film film = filmCard(bench::camera(640, 480), movingCard(0.3), 60, CameraFaults{}, {}, 900);
    return film;
}

// The measured poses of the cost film, as the filter takes them in.
const std::vector<std::pair<double, MarkerPose>>& measuredPoses() {
    static const std::vector<std::pair<double, MarkerPose>> poses = [] {
        std::vector<std::pair<double, MarkerPose>> out;
        const Film& film = costFilm();
        const std::vector<Shown> raw = place(film, today());
        for (std::size_t i = 0; i < raw.size(); ++i)
            if (raw[i].shown) out.emplace_back(film.frames[i].time, raw[i].pose);
        return out;
    }();
    return poses;
}

void filterUpdate(benchmark::State& state) {
    const auto& poses = measuredPoses();
    PoseFilter filter(recommendedFilter());
    std::size_t i = 0;
    double offset = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(filter.update(poses[i].first + offset, poses[i].second));
        if (++i == poses.size()) {
            i = 0;
            offset += 10;
        }
    }
}

// The pose estimate the filter follows: continued from the last one.
void continuedEstimate(benchmark::State& state) {
    const Film& film = costFilm();
    const ar::Tracker tracker = filmTracker(film.camera);
    double transform[3][4];
    const double center[2] = {0, 0};
    std::size_t i = 0;
    bool started = false;
    for (auto _ : state) {
        const FilmedFrame& frame = film.frames[i];
        if (!frame.markers.empty())
            benchmark::DoNotOptimize(started ? tracker.poseContinued(frame.markers[0], transform, center, cardWidth, transform)
                                             : tracker.pose(frame.markers[0], center, cardWidth, transform));
        started = true;
        if (++i == film.frames.size()) i = 0;
    }
}

// One marker's whole placement per frame, today's and steadied.
void placement(benchmark::State& state, const Steadying& steadying) {
    const Film& film = costFilm();
    const ar::Tracker tracker = filmTracker(film.camera);
    ar::Calibration calibration;
    ar::prepareCalibration(film.camera, calibration);
    const PoseEstimates estimates = viewerEstimates(tracker, calibration);
    std::vector<TrackedObject> objects(1);
    objects[0].patternId = 0;
    objects[0].width = cardWidth;
    std::vector<NodeChange> changes;
    std::vector<std::vector<ARMarkerInfo>> markers;
    for (const FilmedFrame& frame : film.frames) markers.push_back(frame.markers);
    std::size_t i = 0;
    double offset = 0;
    for (auto _ : state) {
        planPlacements(markers[i].data(), static_cast<int>(markers[i].size()), 0, steadying,
                       film.frames[i].time + offset, objects, estimates, changes);
        benchmark::DoNotOptimize(objects[0].transform);
        if (++i == film.frames.size()) {
            i = 0;
            offset += 10;
        }
    }
}

void placementToday(benchmark::State& state) { placement(state, today()); }
void placementSteadied(benchmark::State& state) { placement(state, steadied()); }

BENCHMARK(filterUpdate);
BENCHMARK(continuedEstimate);
BENCHMARK(placementToday);
BENCHMARK(placementSteadied);

std::vector<double> scaled(std::vector<double> v, double factor) {
    for (double& x : v) x *= factor;
    return v;
}

} // namespace
} // namespace kwo::bench

int main(int argc, char** argv) {
    using namespace kwo::bench;
    cv::setNumThreads(1);
    initializeWithRounds(argc, argv);

    const kwo::PoseFilterParameters p = recommendedFilter();
    std::printf("Steadied: tracking/smoothing min_cutoff %.1f Hz, beta %.3f Hz per mm/s, derivative_cutoff %.1f Hz; "
                "tracking/hold %.0f ms.\nToday: each frame's pose as estimated, a lost marker's creature hidden at "
                "once. Both on the same frames.\n",
                p.minCutoff, p.beta, p.derivativeCutoff, recommendedHold * 1000);
    const auto still = stillFilms();
    const auto moving = movingFilms();
    stillTable(still);
    movingTable(moving);
    dropoutTable(dropoutFilms());
    parameterGrid(still, moving);

    RoundsReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto& r = reporter.rounds;
    if (r.count("filterUpdate") && r.count("continuedEstimate") && r.count("placementToday") &&
        r.count("placementSteadied")) {
        std::printf("\nProcessor time per marker and frame (640x480, a card moving at 0.3 m/s), median of %zu rounds "
                    "[min..max]:\n",
                    r.at("filterUpdate").size());
        std::printf("  the filter                               %s us\n", spread(scaled(r.at("filterUpdate"), 1e-3)).c_str());
        std::printf("  the continued pose estimate              %s us\n",
                    spread(scaled(r.at("continuedEstimate"), 1e-3)).c_str());
        std::printf("  the filter / the continued estimate      %s %%\n",
                    spread(ratios(r.at("filterUpdate"), r.at("continuedEstimate"), 100)).c_str());
        std::printf("  placement, today                         %s us\n", spread(scaled(r.at("placementToday"), 1e-3)).c_str());
        std::printf("  placement, steadied                      %s us\n",
                    spread(scaled(r.at("placementSteadied"), 1e-3)).c_str());
        std::printf("  steadied / today                         %s\n",
                    spread(ratios(r.at("placementSteadied"), r.at("placementToday"))).c_str());
    }
    benchmark::Shutdown();
    return 0;
}
