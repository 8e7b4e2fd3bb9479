#include "tracking/tuning_picture.h"

#include "tracking/ar/ar.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>

namespace kwo {
namespace {

constexpr int font = cv::FONT_HERSHEY_SIMPLEX;

// Text a little over a fiftieth of the frame's width high, readable when the
// picture is shown in a small viewport.
double textScale(int width)
{
    return std::max(0.35, width / 1400.0);
}

void splitAtThreshold(const ar::FrameView& frame, int threshold, cv::Mat& picture)
{
    const int limit = 3 * std::clamp(threshold, -1, 255);
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* in = frame.pixel(0, y);
        std::uint32_t* out = picture.ptr<std::uint32_t>(y);
        for (int x = 0; x < frame.width; ++x, in += 4)
            out[x] = in[0] + in[1] + in[2] <= limit ? 0xff000000u : 0xffffffffu;
    }
}

// Black where the local threshold takes a pixel as dark, white elsewhere.
void splitLocally(const ar::FrameView& frame, const ar::Threshold& threshold, cv::Mat& picture)
{
    cv::Mat dark;
    ar::markDarkPixels(frame, threshold, dark);
    for (int y = 0; y < frame.height; ++y) {
        const std::uint8_t* in = dark.ptr<std::uint8_t>(y);
        std::uint32_t* out = picture.ptr<std::uint32_t>(y);
        for (int x = 0; x < frame.width; ++x)
            out[x] = in[x] ? 0xff000000u : 0xffffffffu;
    }
}

// The square's corners in the frame's pixels.
std::vector<cv::Point> observedCorners(const ARMarkerInfo& marker, const double* distFactor)
{
    std::vector<cv::Point> corners;
    for (const auto& vertex : marker.vertex) {
        double x = vertex[0], y = vertex[1];
        if (distFactor && distFactor[2] != 0)
            arParamIdeal2Observ(distFactor, vertex[0], vertex[1], &x, &y);
        corners.emplace_back(cvRound(x), cvRound(y));
    }
    return corners;
}

// Text boxes are dark grey: legible on black and on white, and never taken
// for the detector's own black.
const cv::Scalar labelBox(48, 48, 48, 255);

// A line of text on a box, its anchor the middle of the box's top edge
// (centred) or its top-left corner, kept inside the picture.
void writeLabel(cv::Mat& picture, const std::string& text, cv::Point anchor, bool centred, const cv::Scalar& colour)
{
    const double scale = textScale(picture.cols);
    int baseline = 0;
    const cv::Size size = cv::getTextSize(text, font, scale, 1, &baseline);
    const int pad = 2;
    cv::Point corner = centred ? cv::Point(anchor.x - size.width / 2 - pad, anchor.y) : anchor;
    corner.x = std::clamp(corner.x, 0, std::max(0, picture.cols - size.width - 2 * pad));
    corner.y = std::clamp(corner.y, 0, std::max(0, picture.rows - size.height - baseline - 2 * pad));
    cv::rectangle(picture, cv::Rect(corner, cv::Size(size.width + 2 * pad, size.height + baseline + 2 * pad)),
                  labelBox, cv::FILLED);
    cv::putText(picture, text, corner + cv::Point(pad, pad + size.height), font, scale, colour, 1, cv::LINE_AA);
}

} // namespace

void drawTuningPicture(const ar::FrameView& frame, int threshold, const TuningMarks& marks,
                       const std::string& caption, bool mirrored, cv::Mat& picture)
{
    drawTuningPicture(frame, ar::Threshold::global(threshold), marks, caption, mirrored, picture);
}

void drawTuningPicture(const ar::FrameView& frame, const ar::Threshold& threshold, const TuningMarks& marks,
                       const std::string& caption, bool mirrored, cv::Mat& picture)
{
    picture.create(frame.height, frame.width, CV_8UC4);
    if (threshold.mode == ar::Threshold::Mode::adaptive)
        splitLocally(frame, threshold, picture);
    else
        splitAtThreshold(frame, threshold.level, picture);
    // Two pixels at least: the picture is usually shown magnified, and
    // filtered, which pales a line of one pixel.
    const int thickness = std::max(2, frame.width / 320);
    struct Square {
        std::vector<cv::Point> corners;
        cv::Scalar colour;
    };
    std::vector<Square> squares;
    for (int i = 0; i < marks.count; ++i) {
        const ARMarkerInfo& marker = marks.markers[i];
        squares.push_back({observedCorners(marker, marks.distFactor),
                           marker.id >= 0 ? identifiedColour : unidentifiedColour});
    }

    // Text first, written into the picture as it will be seen; each label
    // below its square.
    if (mirrored)
        cv::flip(picture, picture, 1);
    for (int i = 0; i < marks.count; ++i) {
        const ARMarkerInfo& marker = marks.markers[i];
        char text[64];
        std::snprintf(text, sizeof text, "id %d cf %.2f dir %d", marker.id, marker.cf, marker.dir);
        int below = 0;
        for (const cv::Point& corner : squares[static_cast<std::size_t>(i)].corners)
            below = std::max(below, corner.y);
        const int x = cvRound(marker.pos[0]);
        // A lighter tint of the outline's colour reads better on the box.
        const cv::Scalar tint = squares[static_cast<std::size_t>(i)].colour * 0.6 + cv::Scalar::all(255) * 0.4;
        writeLabel(picture, text, cv::Point(mirrored ? frame.width - 1 - x : x, below + 2 * thickness + 3), true,
                   tint);
    }
    // The caption's lines one under the other.
    int top = 4;
    for (std::size_t start = 0; start <= caption.size();) {
        const std::size_t end = std::min(caption.find('\n', start), caption.size());
        const std::string line = caption.substr(start, end - start);
        writeLabel(picture, line, cv::Point(4, top), false, cv::Scalar(255, 255, 255, 255));
        int baseline = 0;
        top += cv::getTextSize(line, font, textScale(picture.cols), 1, &baseline).height + baseline + 6;
        start = end + 1;
    }
    if (mirrored)
        cv::flip(picture, picture, 1);

    // The outlines over everything, so that no label hides a square's corner;
    // a dot on the printed upper-left corner gives the direction.
    for (std::size_t i = 0; i < squares.size(); ++i) {
        const Square& square = squares[i];
        cv::polylines(picture, square.corners, true, square.colour, thickness, cv::LINE_8);
        cv::circle(picture, square.corners[static_cast<std::size_t>((4 - marks.markers[i].dir % 4) % 4)],
                   2 * thickness + 1, square.colour, cv::FILLED);
    }
}

} // namespace kwo
