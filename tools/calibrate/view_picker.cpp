#include "tools/calibrate/view_picker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace kwo::calibrate {

namespace {

// The board's place, size and tilt, from its outer corners.
struct ViewShape {
    cv::Point2d centre;
    double logSize;
    double leftRight; // log of left side over right side
    double topBottom; // log of top side over bottom side
};

// The board's outer corners as the picture shows them: the finder may number
// a board from either end, so the numbering is turned to run left to right
// along the board's first row. Then the sides named left and right are the
// picture's, and a board tilted one way is not taken for one tilted the other.
ViewShape shapeOf(const BoardView& view, int columns) {
    const std::size_t n = view.size(), c = static_cast<std::size_t>(columns);
    cv::Point2d p[4] = {view[0], view[c - 1], view[n - 1], view[n - c]};
    if (p[1].x < p[0].x) {
        std::swap(p[0], p[2]);
        std::swap(p[1], p[3]);
    }
    const double area = 0.5 * std::abs((p[0].x * p[1].y - p[1].x * p[0].y) + (p[1].x * p[2].y - p[2].x * p[1].y) +
                                       (p[2].x * p[3].y - p[3].x * p[2].y) + (p[3].x * p[0].y - p[0].x * p[3].y));
    const double top = cv::norm(p[1] - p[0]), right = cv::norm(p[2] - p[1]);
    const double bottom = cv::norm(p[2] - p[3]), left = cv::norm(p[3] - p[0]);
    const auto ratio = [](double x, double y) { return std::log(std::max(x, 1e-9) / std::max(y, 1e-9)); };
    return {(p[0] + p[1] + p[2] + p[3]) / 4, 0.5 * std::log(std::max(area, 1e-9)), ratio(left, right),
            ratio(top, bottom)};
}

} // namespace

double viewDifference(const BoardView& a, const BoardView& b, int columns, double diagonal,
                      const PickerSettings& settings) {
    const ViewShape x = shapeOf(a, columns), y = shapeOf(b, columns);
    return std::max({cv::norm(x.centre - y.centre) / (settings.shift * diagonal),
                     std::abs(x.logSize - y.logSize) / settings.resize,
                     std::abs(x.leftRight - y.leftRight) / settings.tilt,
                     std::abs(x.topBottom - y.topBottom) / settings.tilt});
}

ViewPicker::ViewPicker(cv::Size frameSize, cv::Size innerCorners, PickerSettings settings)
    : size(frameSize), board(innerCorners), diagonal(std::hypot(frameSize.width, frameSize.height)), config(settings),
      cells(static_cast<std::size_t>(settings.gridColumns * settings.gridRows), false) {}

double ViewPicker::differenceToNearestView(const BoardView& view) const {
    double nearest = std::numeric_limits<double>::infinity();
    for (const BoardView& other : taken)
        nearest = std::min(nearest, viewDifference(view, other, board.width, diagonal, config));
    return nearest;
}

bool ViewPicker::offer(const BoardView& detection, bool forced) {
    const bool complete = detection.size() == static_cast<std::size_t>(board.area());
    bool still = false;
    if (complete && previous.size() == detection.size()) {
        double largest = 0;
        for (std::size_t i = 0; i < detection.size(); ++i)
            largest = std::max(largest, cv::norm(detection[i] - previous[i]));
        still = largest <= config.stillness * diagonal;
    }
    previous = complete ? detection : BoardView();
    if (!complete) return false;
    if (forced) return true;
    return still && differenceToNearestView(detection) >= 1;
}

void ViewPicker::take(const BoardView& view) {
    taken.push_back(view);
    for (const cv::Point2f& p : view) {
        const int column = std::clamp(static_cast<int>(p.x * config.gridColumns / size.width), 0, config.gridColumns - 1);
        const int row = std::clamp(static_cast<int>(p.y * config.gridRows / size.height), 0, config.gridRows - 1);
        cells[static_cast<std::size_t>(row * config.gridColumns + column)] = true;
    }
}

double ViewPicker::coverage() const {
    return static_cast<double>(std::count(cells.begin(), cells.end(), true)) / static_cast<double>(cells.size());
}

std::array<bool, 4> ViewPicker::cornersReached() const {
    const int columns = config.gridColumns, rows = config.gridRows;
    const auto covered = [&](int column, int row) { return cells[static_cast<std::size_t>(row * columns + column)]; };
    return {covered(0, 0), covered(columns - 1, 0), covered(columns - 1, rows - 1), covered(0, rows - 1)};
}

std::string ViewPicker::missingCoverage(double required) const {
    static const char* const cornerNames[4] = {"upper-left", "upper-right", "lower-right", "lower-left"};
    const std::array<bool, 4> reached = cornersReached();
    std::vector<const char*> unreached;
    for (int i = 0; i < 4; ++i)
        if (!reached[static_cast<std::size_t>(i)]) unreached.push_back(cornerNames[i]);
    const bool enough = coverage() + 1e-9 >= required;
    if (enough && unreached.empty()) return "";
    char text[160];
    std::snprintf(text, sizeof text, "the views cover %.0f %% of the picture", coverage() * 100);
    std::string words = text;
    if (!enough) {
        std::snprintf(text, sizeof text, " (at least %.0f %% is needed)", required * 100);
        words += text;
    }
    if (unreached.size() == 4) {
        words += enough ? " but none reached any of its corners" : " and none reached any of its corners";
    } else if (!unreached.empty()) {
        words += enough ? " but none reached its " : " and none reached its ";
        for (std::size_t i = 0; i < unreached.size(); ++i) {
            if (i > 0) words += i + 1 == unreached.size() ? " or " : ", ";
            words += unreached[i];
        }
        words += unreached.size() == 1 ? " corner" : " corners";
    }
    return words;
}

} // namespace kwo::calibrate
