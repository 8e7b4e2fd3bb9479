#pragma once

#include <array>
#include <chrono>
#include <cstddef>

namespace kwo {

// Holds the rendering loop to the display's refresh rate when vertical sync
// is asked for but the driver does not wait for the display (a virtual
// display never does; some drivers ignore the request). Without it the loop
// draws as fast as it can, most frames carrying no new camera picture, and
// takes every core it can get.
//
// Whether the driver waits is measured, not asked: the engine owns the GL
// context, so the window library cannot tell the swap interval. A loop that
// waits for the display draws one frame per refresh; one whose frames come
// clearly faster than that (the median of a run of frames) does not wait, and
// from then on each frame is started on a fixed schedule of one refresh
// period, the loop sleeping until it is due. A loop slower than the display
// is left alone. Pure time arithmetic: the caller sleeps.
class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    // `vsync`: vertical sync asked for; without it the loop is never paced.
    // `refreshHz`: the display's refresh rate; 0 or less (unknown) counts as 60.
    FramePacer(bool vsync = false, double refreshHz = 0);
    // A loop held to at most `hz` frames a second (above 0) from its first
    // frame, whatever the display does.
    static FramePacer capped(double hz);

    // A frame that will be drawn is about to start at `now`: the time it is
    // due, until which the caller sleeps (`now` or earlier: start at once).
    Clock::time_point frameDue(Clock::time_point now);
    // Nothing is being drawn (the window is hidden): the time until the next
    // drawn frame is no frame interval, and the schedule restarts then.
    void pause() { resumed = true; }

    bool pacing() const { return paced; }
    double refreshHz() const { return hz; }
    Clock::duration period() const { return framePeriod; }

    // Frames whose intervals are measured before deciding; a loop faster
    // than the display by this factor at the median does not wait for it.
    static constexpr std::size_t measuredFrames = 30;
    static constexpr double fasterThanDisplay = 1.1;

private:
    void measure(Clock::duration interval);

    bool wanted;
    double hz;
    Clock::duration framePeriod;
    bool paced = false;
    bool resumed = true; // no previous frame to measure from
    Clock::time_point previousStart{};
    Clock::time_point nextDue{};
    std::array<Clock::duration, measuredFrames> intervals{};
    std::size_t measured = 0;
};

} // namespace kwo
