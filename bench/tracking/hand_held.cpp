#include "bench/tracking/hand_held.h"

#include "bench/tracking/scenes.h"
#include "tools/synthetic/lighting.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <random>

namespace kwo::bench {
namespace {

// Where a point of the card (marker coordinates, millimetres) shows in the
// frame, observed pixels.
cv::Point2d onFrame(const ARParam& camera, const double pose[3][4], double mx, double my) {
    double ideal[2], observed[2];
    synthetic::projectPoint(camera, pose, mx, my, ideal, observed);
    return {observed[0], observed[1]};
}

// The card and its white border lie inside the picture.
bool wholeInView(const ARParam& camera, const double pose[3][4]) {
    const double sheet = cardWidth * 0.75;
    for (double mx : {-sheet, sheet})
        for (double my : {-sheet, sheet}) {
            double ideal[2], observed[2];
            if (!synthetic::projectPoint(camera, pose, mx, my, ideal, observed)) return false;
            if (observed[0] < 1 || observed[1] < 1 || observed[0] > camera.xsize - 2 || observed[1] > camera.ysize - 2)
                return false;
        }
    return true;
}

// How far the card's corners travel on the picture during the exposure, in
// pixels: the number of sub-exposures that blur it smoothly.
int exposureSteps(const ARParam& camera, const CardPath& path, double start, double end) {
    double a[3][4], b[3][4];
    path(start, a);
    path(end, b);
    double travel = 0;
    const double h = cardWidth / 2;
    for (double mx : {-h, h})
        for (double my : {-h, h}) travel = std::max(travel, cv::norm(onFrame(camera, a, mx, my) - onFrame(camera, b, mx, my)));
    return std::clamp(static_cast<int>(std::ceil(travel / 1.5)), 1, 16);
}

// A finger across the middle of the card's left border, into the pattern.
void drawFinger(cv::Mat& picture, const ARParam& camera, const double pose[3][4]) {
    const cv::Point2d from = onFrame(camera, pose, -cardWidth * 0.9, -cardWidth * 0.05);
    const cv::Point2d to = onFrame(camera, pose, -cardWidth * 0.15, cardWidth * 0.05);
    const double side = cv::norm(onFrame(camera, pose, -cardWidth / 2, 0) - onFrame(camera, pose, cardWidth / 2, 0));
    cv::line(picture, from, to, cv::Scalar(125, 150, 205, 255), std::max(3, static_cast<int>(side * 0.16)), cv::LINE_AA);
}

// A reflection washing out the card's upper-right corner.
void drawGlare(cv::Mat& picture, const ARParam& camera, const double pose[3][4]) {
    const cv::Point2d corner = onFrame(camera, pose, cardWidth / 2, cardWidth / 2);
    const double side = cv::norm(onFrame(camera, pose, -cardWidth / 2, 0) - onFrame(camera, pose, cardWidth / 2, 0));
    cv::Mat light = picture.clone();
    cv::circle(light, corner, std::max(3, static_cast<int>(side * 0.18)), cv::Scalar(250, 250, 250, 255), cv::FILLED,
               cv::LINE_AA);
    cv::GaussianBlur(light, light, cv::Size(0, 0), std::max(1.0, side * 0.03));
    cv::max(picture, light, picture);
}

} // namespace

ar::Tracker filmTracker(const ARParam& camera) { return designTracker(camera); }

Film filmCard(const ARParam& camera, const CardPath& path, int frameCount, const CameraFaults& faults,
              const std::function<Mishap(int frame)>& mishaps, std::uint32_t seed) {
    const synthetic::FrameRenderer renderer(camera, 3);
    std::minstd_rand random(seed);
    std::uniform_real_distribution<double> unit(0, 1);

    // One table top behind the card for the whole film.
    synthetic::FrameOptions options;
    options.seed = seed;
    const synthetic::SyntheticFrame empty = renderer.render({}, options);
    cv::cvtColor(cv::Mat(empty.height, empty.width, CV_8UC4, const_cast<std::uint8_t*>(empty.data())),
                 options.background, cv::COLOR_BGRA2BGR);
    options.blur = faults.lensBlur;

    synthetic::PrintedMarker card;
    card.picture = synthetic::designPicture(designNames()[0], 512);
    card.width = cardWidth;

    ar::Tracker tracker = filmTracker(camera);
    Film film{camera, {}};
    const double period = 1 / faults.framesPerSecond;
    for (int i = 0; i < frameCount; ++i) {
        const double middle = i * period;
        FilmedFrame frame;
        // The frame cycle runs at 60 Hz: it takes a frame up to one of its
        // periods after the frame arrived.
        frame.time = middle + unit(random) / 60;
        path(middle, frame.truth);
        const Mishap mishap = mishaps ? mishaps(i) : Mishap::none;
        frame.inView = mishap != Mishap::away && wholeInView(camera, frame.truth);

        cv::Mat exposed(camera.ysize, camera.xsize, CV_32FC4, cv::Scalar::all(0));
        const double start = middle - faults.exposure / 2, end = middle + faults.exposure / 2;
        const int steps = mishap == Mishap::away ? 1 : exposureSteps(camera, path, start, end);
        for (int s = 0; s < steps; ++s) {
            const double t = steps == 1 ? middle : start + (end - start) * s / (steps - 1);
            path(t, card.pose);
            std::vector<synthetic::PrintedMarker> shown;
            if (mishap != Mishap::away) shown.push_back(card);
            const synthetic::SyntheticFrame sharp = renderer.render(shown, options);
            cv::accumulate(cv::Mat(sharp.height, sharp.width, CV_8UC4, const_cast<std::uint8_t*>(sharp.data())),
                           exposed);
        }
        exposed *= 1.0 / steps;
        synthetic::SyntheticFrame picture = empty;
        cv::Mat pixels(camera.ysize, camera.xsize, CV_8UC4, picture.pixels.data());
        exposed.convertTo(pixels, CV_8UC4);
        if (mishap == Mishap::finger) drawFinger(pixels, camera, frame.truth);
        if (mishap == Mishap::glare) drawGlare(pixels, camera, frame.truth);

        const double brightness = 1 + faults.flicker * (2 * unit(random) - 1);
        picture = synthetic::relit(picture, brightness, faults.noise, seed * 7919u + static_cast<std::uint32_t>(i));
        synthetic::compressAsJpeg(picture, faults.jpegQuality);
        const auto& found =
            tracker.detect(ar::FrameView::packed(picture.data(), picture.width, picture.height), 100);
        frame.markers.assign(found.begin(), found.end());
        film.frames.push_back(std::move(frame));
    }
    return film;
}

} // namespace kwo::bench
