#include "app/frame_pacer.h"

#include <algorithm>

namespace kwo {

FramePacer::FramePacer(bool vsync, double refreshHz)
    : wanted(vsync), hz(refreshHz > 0 ? refreshHz : 60.0),
      framePeriod(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / hz)))
{
}

FramePacer FramePacer::capped(double hz)
{
    FramePacer pacer(true, hz);
    pacer.paced = true;
    return pacer;
}

FramePacer::Clock::time_point FramePacer::frameDue(Clock::time_point now)
{
    if (!wanted)
        return now;
    const bool first = resumed;
    resumed = false;
    if (!paced) {
        if (!first)
            measure(now - previousStart);
        previousStart = now;
        if (paced)
            nextDue = now + framePeriod;
        return now;
    }
    // A frame late by less than a period keeps the schedule, so the next one
    // comes sooner and the rate stays the display's. After a longer stall (or
    // a pause) the schedule starts again from now rather than drawing a burst
    // of frames to catch up.
    if (first || now - nextDue > framePeriod)
        nextDue = now;
    const Clock::time_point due = nextDue;
    nextDue += framePeriod;
    return due;
}

void FramePacer::measure(Clock::duration interval)
{
    intervals[measured++] = interval;
    if (measured < intervals.size())
        return;
    measured = 0;
    // The median: a few slow frames (loading, another program taking the
    // processor) do not hide a loop that does not wait.
    std::nth_element(intervals.begin(), intervals.begin() + intervals.size() / 2, intervals.end());
    const std::chrono::duration<double> median = intervals[intervals.size() / 2];
    paced = median.count() * fasterThanDisplay < std::chrono::duration<double>(framePeriod).count();
}

} // namespace kwo
