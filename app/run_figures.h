#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

namespace kwo {

// How smoothly a run went, counted from the frames themselves: frames drawn
// over the run's whole time, the worst whole second, and the 95th percentile
// of the time between drawn frames. (The engine's own average is a decaying
// one over the last seconds, not the run's.) Memory stays the same however
// long the run: frame times go into a histogram.
class RunFigures {
public:
    using Clock = std::chrono::steady_clock;

    explicit RunFigures(Clock::time_point start = Clock::now());

    // A frame drawn, started at `now`.
    void frameDrawn(Clock::time_point now);
    // Nothing drawn at `now` (the window is hidden): the second this falls
    // in says nothing about the drawing rate, and the time until the next
    // drawn frame is no frame time.
    void idle(Clock::time_point now);
    // A camera picture put on screen (uploaded for the frame being drawn).
    // Drawn frames and shown pictures differ: a frame may be drawn without a
    // new picture, and pictures the loop was too slow for are never shown.
    void pictureShown() { ++pictures; }

    struct Summary {
        std::uint64_t frames = 0;
        double seconds = 0;            // the run's whole time
        double framesPerSecond = 0;    // frames / seconds
        int worstSecond = -1;          // frames in the worst whole second drawn throughout; -1: none
        double frameTimeP95 = 0;       // milliseconds; 0 when fewer than two frames were drawn
        std::uint64_t pictures = 0;    // camera pictures shown
        double picturesPerSecond = 0;  // pictures / seconds
    };
    Summary summary(Clock::time_point end) const;

    // The engine log's closing line.
    static std::string describe(const Summary& summary);

    // Frame times are kept in steps of this many milliseconds up to the last
    // bin, which holds everything longer.
    static constexpr double binMilliseconds = 0.1;
    static constexpr std::size_t bins = 2000;

private:
    void closeSecondsBefore(std::int64_t second);

    Clock::time_point start;
    std::uint64_t frames = 0;
    std::uint64_t pictures = 0;
    std::int64_t second = 0;     // the second of the run now being counted
    int framesThisSecond = 0;
    bool secondIdle = false;     // something was not drawn in it
    int worst = -1;
    bool haveLast = false;
    Clock::time_point lastFrame{};
    std::array<std::uint32_t, bins> frameTimes{};
    std::uint64_t frameTimeCount = 0;
};

} // namespace kwo
