#pragma once

// Shared by the marker tool's tests: running the program, a lopsided test
// artwork, and identifying a printed marker at many poses.

#include "tests/support/files.h"
#include "tests/support/process.h"
#include "tests/tracking_ar/fixtures.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace kwo::test {

inline const std::string makeMarkerProgram = KWO_PROGRAM_DIR "/kwo-make-marker";
inline const std::string programTracking = KWO_PROGRAM_DIR "/tracking/";

inline ProcessResult makeMarker(const std::vector<std::string>& arguments, const std::vector<std::string>& environment = {}) {
    std::vector<std::string> argv{makeMarkerProgram};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return run(argv, "", environment, std::chrono::seconds(120));
}

// A colourful picture wider than tall with a transparent background: shapes
// that differ from their own turns, as a museum's artwork would.
cv::Mat lopsidedArtwork();

// The black square of a marker picture written by the tool (400 pixels with
// a quiet zone of 80).
cv::Mat printedSquare(const std::string& png);

// How the marker was seen at each of 20 poses (spun all round, tilted up to
// 35 degrees, 400 to 900 mm away) by a tracker holding the project's four
// patterns in slots 0..3 and `pattern` in slot 4.
struct PoseResult {
    int id;           // -1 when not found
    double cf;
    double cornerRms; // corners from the reported upper-left on, pixels
};
std::vector<PoseResult> identifyAtPoses(const cv::Mat& square, const std::string& pattern);

// Median and least of the confidences (not-found poses count as -1).
double medianCf(const std::vector<PoseResult>& results);
double leastCf(const std::vector<PoseResult>& results);

} // namespace kwo::test
