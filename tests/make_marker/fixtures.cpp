#include "tests/make_marker/fixtures.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace kwo::test {

cv::Mat lopsidedArtwork() {
    cv::Mat art(300, 420, CV_8UC4, cv::Scalar(0, 0, 0, 0));
    cv::circle(art, {110, 100}, 80, {40, 40, 200, 255}, cv::FILLED);                       // red sun, upper left
    const std::vector<cv::Point> wing{{220, 60}, {400, 150}, {250, 280}};
    cv::fillPoly(art, std::vector<std::vector<cv::Point>>{wing}, {160, 60, 20, 255});      // blue wing, right
    cv::rectangle(art, cv::Rect(30, 230, 180, 50), {30, 140, 30, 255}, cv::FILLED);        // green bar, lower left
    return art;
}

cv::Mat printedSquare(const std::string& png) {
    const cv::Mat picture = cv::imread(png, cv::IMREAD_COLOR);
    if (picture.empty()) return picture;
    return picture(cv::Rect(80, 80, 400, 400)).clone();
}

std::vector<PoseResult> identifyAtPoses(const cv::Mat& square, const std::string& pattern) {
    const ARParam camera = distortedCamera();
    ar::Tracker tracker = designTracker(camera);
    tracker.loadPattern(pattern);
    const synthetic::FrameRenderer renderer(camera);
    std::vector<PoseResult> results;
    for (int i = 0; i < 20; ++i) {
        synthetic::PrintedMarker marker;
        marker.picture = square;
        marker.width = 83;
        const double tilt = 35.0 * ((i % 5) - 2) / 2, distance = 400 + 25 * i;
        synthetic::makePose(tilt, -tilt / 2 + (i % 3) * 10 - 10, 18.0 * i + 7, 40.0 * ((i % 4) - 1.5),
                            30.0 * ((i % 3) - 1), distance, marker.pose);
        synthetic::FrameOptions options;
        options.seed = 100 + i;
        options.blur = 0.8;
        options.noise = 3;
        options.gradient = 0.3;
        options.gradientAngle = 20.0 * i;
        const synthetic::SyntheticFrame frame = renderer.render({marker}, options);
        tracker.resetHistory();
        const std::vector<ARMarkerInfo>& found = tracker.detect(view(frame), 100);
        PoseResult result{-1, -1, 1e9};
        if (!found.empty()) {
            // The most confident square: the marker itself, unless it was missed.
            result.id = found.front().id;
            result.cf = found.front().cf;
            result.cornerRms = cornerRms(found.front(), frame.markers[0]);
        }
        results.push_back(result);
    }
    return results;
}

double medianCf(const std::vector<PoseResult>& results) {
    std::vector<double> cf;
    for (const PoseResult& r : results) cf.push_back(r.cf);
    std::sort(cf.begin(), cf.end());
    return cf.empty() ? -1 : (cf[(cf.size() - 1) / 2] + cf[cf.size() / 2]) / 2;
}

double leastCf(const std::vector<PoseResult>& results) {
    double least = 1;
    for (const PoseResult& r : results) least = std::min(least, r.cf);
    return least;
}

} // namespace kwo::test
