#include "app/tuning_view.h"

#include "tracking/tuning_picture.h"

#include <OgreLogManager.h>

#include <algorithm>
#include <cstdio>

namespace kwo {
namespace {

constexpr int thresholdStep = 5;
// Per cent of the picture's white: about 2 grey levels on white paper.
constexpr int offsetStep = 1;
// Past the tracker's memory of vanished markers (3 frames by default).
constexpr int framesToSettle = 5;

void log(const std::string& line)
{
    Ogre::LogManager::getSingleton().logMessage(line);
}

} // namespace

void TuningView::setUp(const ARParam& camera, bool mirror)
{
    std::copy(camera.dist_factor, camera.dist_factor + 4, distortion.begin());
    mirrored = mirror;
    jitter = JitterGauge(camera);
}

void TuningView::handleKey(WindowEvent key, DetectionThreshold& threshold)
{
    switch (key) {
    case WindowEvent::tuningView:
        on = !on;
        log(on ? "Tuning view on" : "Tuning view off");
        if (!on)
            picture.release();
        jitter.reset();
        break;
    case WindowEvent::thresholdUp:
    case WindowEvent::thresholdDown: {
        // Only while the technician looks: a key pressed by a visitor must
        // not change the show.
        if (!on)
            break;
        const std::string before =
            threshold.automatic() ? "auto, " + std::to_string(threshold.current()) : threshold.setting();
        const bool up = key == WindowEvent::thresholdUp;
        // + always makes more pixels dark: a higher level, a smaller offset.
        if (threshold.mode() == DetectionThreshold::Mode::adaptive)
            threshold.step(up ? -offsetStep : offsetStep);
        else
            threshold.step(up ? thresholdStep : -thresholdStep);
        log("tracking/threshold " + threshold.setting() + " (was " + before + ")");
        framesToReport = framesToSettle;
        break;
    }
    default:
        break;
    }
}

void TuningView::report()
{
    const int identified = static_cast<int>(
        std::count_if(lastMarkers, lastMarkers + lastCount, [](const ARMarkerInfo& m) { return m.id >= 0; }));
    log("tracking/threshold " + thresholdText(lastUsed) + ": " + std::to_string(lastCount) + " squares, " +
        std::to_string(identified) + " identified");
}

const std::uint8_t* TuningView::draw(const std::uint8_t* frame, int width, int height,
                                     const DetectionThreshold& threshold)
{
    std::string caption = "threshold " + (threshold.automatic() ? "auto " : std::string()) +
                          thresholdText(lastUsed) + "   +/- change it, F2 closes";
    const Jitter figures = jitter.jitter();
    if (figures.measured) {
        char line[96];
        if (smoothing)
            std::snprintf(line, sizeof line, "\nhead jitter %.2f px, shown %.2f px", figures.estimated, figures.shown);
        else
            std::snprintf(line, sizeof line, "\nhead jitter %.2f px (smoothing off)", figures.estimated);
        caption += line;
    }
    drawTuningPicture(ar::FrameView::packed(frame, width, height), lastUsed,
                      {lastMarkers, lastCount, distortion.data()}, caption, mirrored, picture);
    return picture.data;
}

} // namespace kwo
