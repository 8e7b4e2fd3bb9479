// When the rendering loop sleeps for the display, and what the engine log
// says about the run's frames: pure time arithmetic, driven with made-up
// clocks.
#include "app/drawing_pace.h"
#include "app/frame_pacer.h"
#include "app/run_figures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using kwo::DrawingPace;
using kwo::FramePacer;
using kwo::RunFigures;
using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

const Clock::time_point origin = Clock::time_point() + std::chrono::hours(1);

// Runs a loop whose frames take `work` each (the time from one wait's end to
// the next call), `frames` times, sleeping until each due time; the start
// times of the frames.
std::vector<Clock::time_point> runLoop(FramePacer& pacer, Clock::time_point& now, Clock::duration work, int frames)
{
    std::vector<Clock::time_point> starts;
    for (int i = 0; i < frames; ++i) {
        now = std::max(now, pacer.frameDue(now));
        starts.push_back(now);
        now += work;
    }
    return starts;
}

TEST(FramePacer, PacesOnlyALoopFasterThanTheDisplayWithVsyncAsked)
{
    const struct {
        bool vsync;
        double refreshHz;
        microseconds frame; // what one frame of the unpaced loop takes
        bool paced;
        double periodMs;
    } cases[] = {
        {true, 60, microseconds(5000), true, 1000.0 / 60},      // a virtual display: swaps return at once
        {true, 60, microseconds(16667), false, 1000.0 / 60},    // the driver waits for the display
        {true, 60, microseconds(15500), false, 1000.0 / 60},    // within the measuring margin
        {true, 60, microseconds(25000), false, 1000.0 / 60},    // slower than the display
        {false, 60, microseconds(5000), false, 1000.0 / 60},    // no vertical sync asked: as fast as it goes
        {true, 0, microseconds(5000), true, 1000.0 / 60},       // refresh rate unknown: 60 Hz
        {true, -1, microseconds(5000), true, 1000.0 / 60},
        {true, 144, microseconds(8000), false, 1000.0 / 144},   // a fast display the loop cannot outrun
        {true, 144, microseconds(3000), true, 1000.0 / 144},
        {true, 50, microseconds(17000), true, 1000.0 / 50},     // faster than 50 Hz, slower than 60
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "vsync " << c.vsync << ", " << c.refreshHz << " Hz, frame "
                                        << c.frame.count() << " us");
        FramePacer pacer(c.vsync, c.refreshHz);
        EXPECT_NEAR(ms(pacer.period()), c.periodMs, 1e-3);
        Clock::time_point now = origin;
        // Deciding takes one interval more than the measured frames.
        runLoop(pacer, now, c.frame, static_cast<int>(FramePacer::measuredFrames));
        EXPECT_FALSE(pacer.pacing());
        runLoop(pacer, now, c.frame, 1);
        EXPECT_EQ(pacer.pacing(), c.paced);
        // Paced, frames start one period apart; otherwise as the loop goes.
        const std::vector<Clock::time_point> starts = runLoop(pacer, now, c.frame, 3);
        const double expected = c.paced ? c.periodMs : ms(c.frame);
        for (std::size_t i = 1; i < starts.size(); ++i)
            EXPECT_NEAR(ms(starts[i] - starts[i - 1]), expected, 1e-3);
    }
}

TEST(FramePacer, AFewSlowFramesDoNotHideALoopThatDoesNotWait)
{
    // A third of the measured frames slowed by loading or another program:
    // their mean is slower than the display, their median is not.
    FramePacer pacer(true, 60);
    Clock::time_point now = origin;
    for (std::size_t i = 0; i <= FramePacer::measuredFrames; ++i) {
        pacer.frameDue(now);
        now += i % 3 == 0 ? milliseconds(50) : milliseconds(5);
    }
    EXPECT_TRUE(pacer.pacing());
}

TEST(FramePacer, KeepsMeasuringUntilTheLoopOutrunsTheDisplay)
{
    // Started on a busy machine, the loop is slower than the display at
    // first; once it is not, it is paced.
    FramePacer pacer(true, 60);
    Clock::time_point now = origin;
    runLoop(pacer, now, milliseconds(20), 3 * static_cast<int>(FramePacer::measuredFrames));
    EXPECT_FALSE(pacer.pacing());
    runLoop(pacer, now, milliseconds(4), 2 * static_cast<int>(FramePacer::measuredFrames));
    EXPECT_TRUE(pacer.pacing());
}

FramePacer pacedAt60(Clock::time_point& now)
{
    FramePacer pacer(true, 60);
    runLoop(pacer, now, milliseconds(2), static_cast<int>(FramePacer::measuredFrames) + 1);
    EXPECT_TRUE(pacer.pacing());
    return pacer;
}

TEST(FramePacer, HoldsTheDisplaysRateWithoutDrift)
{
    // Ten minutes of frames: the schedule adds periods, it does not
    // accumulate each sleep's rounding.
    Clock::time_point now = origin;
    FramePacer pacer = pacedAt60(now);
    const std::vector<Clock::time_point> starts = runLoop(pacer, now, microseconds(3100), 36000);
    EXPECT_NEAR(duration<double>(starts.back() - starts.front()).count(), 35999.0 / 60, 1e-3);
}

TEST(FramePacer, ALateFrameIsMadeUpAStallIsNot)
{
    Clock::time_point now = origin;
    FramePacer pacer = pacedAt60(now);
    const Clock::time_point due = pacer.frameDue(now);
    const auto period = pacer.period();
    // Late by half a period: the next frame is due on the old schedule.
    Clock::time_point next = pacer.frameDue(due + period + period / 2);
    EXPECT_EQ(next, due + period);
    EXPECT_EQ(pacer.frameDue(next + microseconds(100)), due + 2 * period);
    // Stalled for 200 ms: the schedule starts again, no burst of frames
    // drawn back to back to catch up.
    const Clock::time_point afterStall = due + 2 * period + milliseconds(200);
    EXPECT_EQ(pacer.frameDue(afterStall), afterStall);
    EXPECT_EQ(pacer.frameDue(afterStall + milliseconds(3)), afterStall + period);
}

TEST(FramePacer, APauseRestartsTheSchedule)
{
    Clock::time_point now = origin;
    FramePacer pacer = pacedAt60(now);
    pacer.frameDue(now);
    pacer.pause();
    // Back from a hidden window a little under a period later: drawn at
    // once, and the loop stays paced.
    const Clock::time_point back = now + milliseconds(10);
    EXPECT_EQ(pacer.frameDue(back), back);
    EXPECT_TRUE(pacer.pacing());
    EXPECT_EQ(pacer.frameDue(back + milliseconds(1)), back + pacer.period());
}

TEST(FramePacer, ACapPacesFromTheFirstFrame)
{
    FramePacer pacer = FramePacer::capped(24);
    EXPECT_TRUE(pacer.pacing());
    Clock::time_point now = origin;
    const std::vector<Clock::time_point> starts = runLoop(pacer, now, milliseconds(3), 5);
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_NEAR(ms(starts[i] - starts[i - 1]), 1000.0 / 24, 1e-3);
}

// The loop as the viewer runs it: after each frame (taking `work`), it
// sleeps and looks until the pace says draw. Something new is there when a
// camera picture or an event came after the last frame began. The start
// times of the frames drawn until `end`.
std::vector<Clock::time_point> runWaitingLoop(FramePacer& pacer, DrawingPace& pace, Clock::duration work,
                                              const std::vector<Clock::time_point>& arrivals, Clock::time_point end)
{
    std::vector<Clock::time_point> starts;
    Clock::time_point now = origin;
    std::size_t next = 0; // the first arrival not yet shown
    while (now < end) {
        starts.push_back(now);
        pace.frameStarted(now);
        while (next < arrivals.size() && arrivals[next] <= now)
            ++next;
        now += work;
        const Clock::time_point due = pacer.frameDue(now);
        for (int looks = 0; !pace.drawNow(now, due, next < arrivals.size() && arrivals[next] <= now); ++looks) {
            const Clock::time_point look = pace.nextLook(now, due);
            EXPECT_GT(look, now); // every look sleeps
            now = look;
            if (looks > 10000) {
                ADD_FAILURE() << "the loop never draws";
                return starts;
            }
        }
    }
    return starts;
}

std::vector<Clock::time_point> everyPeriod(Clock::time_point from, Clock::time_point to, Clock::duration period)
{
    std::vector<Clock::time_point> times;
    for (Clock::time_point t = from; t < to; t += period)
        times.push_back(t);
    return times;
}

TEST(DrawingPace, FollowingTheCameraDrawsEachPictureOnceAndSoon)
{
    // A camera at 30 fps on a loop held to a 60 Hz display, frames taking
    // 6 ms: one frame per picture, each started within one look of the
    // picture's arrival.
    FramePacer pacer = FramePacer::capped(60);
    DrawingPace pace(true);
    const Clock::time_point end = origin + std::chrono::seconds(2);
    const std::vector<Clock::time_point> arrivals = everyPeriod(origin + microseconds(5100), end, microseconds(33333));
    const std::vector<Clock::time_point> starts = runWaitingLoop(pacer, pace, milliseconds(6), arrivals, end);
    ASSERT_EQ(starts.size(), arrivals.size() + 1); // and the first frame, before any picture
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        EXPECT_GE(starts[i + 1], arrivals[i]);
        EXPECT_LE(starts[i + 1] - arrivals[i], DrawingPace::lookInterval);
    }
}

TEST(DrawingPace, NeverFasterThanTheDisplay)
{
    // A camera (or a clip) faster than the display: the display's schedule holds.
    FramePacer pacer = FramePacer::capped(60);
    DrawingPace pace(true);
    const Clock::time_point end = origin + std::chrono::seconds(1);
    const std::vector<Clock::time_point> starts =
        runWaitingLoop(pacer, pace, milliseconds(2), everyPeriod(origin, end, milliseconds(5)), end);
    EXPECT_NEAR(static_cast<double>(starts.size()), 60, 1);
}

TEST(DrawingPace, WithoutPicturesItDrawsOncePerQuietPeriod)
{
    // The camera stopped (or is lost): creatures go on moving, slowly.
    FramePacer pacer = FramePacer::capped(60);
    DrawingPace pace(true);
    const std::vector<Clock::time_point> starts =
        runWaitingLoop(pacer, pace, milliseconds(6), {}, origin + std::chrono::seconds(1));
    ASSERT_EQ(starts.size(), 4u);
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_EQ(starts[i] - starts[i - 1], DrawingPace::quietPeriod);
}

TEST(DrawingPace, NewsEndsTheWaitButNotBeforeTheDisplaysTurn)
{
    DrawingPace pace(true);
    pace.frameStarted(origin);
    const Clock::time_point due = origin + milliseconds(16);
    // Before the display's turn: nothing is drawn, and there is no need to look.
    EXPECT_FALSE(pace.drawNow(origin + milliseconds(10), due, true));
    EXPECT_EQ(pace.nextLook(origin + milliseconds(10), due), due);
    // After it, news (a key, the camera lost, a picture) is drawn at once;
    // without news the loop looks again one look later.
    EXPECT_TRUE(pace.drawNow(origin + milliseconds(20), due, true));
    EXPECT_FALSE(pace.drawNow(origin + milliseconds(20), due, false));
    EXPECT_EQ(pace.nextLook(origin + milliseconds(20), due), origin + milliseconds(20) + DrawingPace::lookInterval);
    // The last look before the quiet period ends wakes just in time.
    const Clock::time_point quietEnd = origin + DrawingPace::quietPeriod;
    EXPECT_EQ(pace.nextLook(quietEnd - microseconds(500), due), quietEnd);
    EXPECT_TRUE(pace.drawNow(quietEnd, due, false));
}

TEST(DrawingPace, NotFollowingTheCameraDrawsWhenDue)
{
    DrawingPace pace(false);
    pace.frameStarted(origin);
    EXPECT_FALSE(pace.drawNow(origin + milliseconds(5), origin + milliseconds(16), false));
    EXPECT_TRUE(pace.drawNow(origin + milliseconds(16), origin + milliseconds(16), false));
}

// The time of frame `k` of a loop at `hz` frames per second, exact to the
// nanosecond so that frame k*hz falls on second k.
Clock::time_point frameTime(Clock::time_point start, long long k, long long hz)
{
    return start + nanoseconds(k * 1'000'000'000LL / hz);
}

TEST(RunFigures, CountsFramesOverTheWholeRunAndItsWorstSecond)
{
    RunFigures figures(origin);
    // Two seconds at 60 fps, one at 30, two and a half at 60.
    Clock::time_point t = origin;
    for (int k = 0; k < 120; ++k)
        figures.frameDrawn(t = frameTime(origin, k, 60));
    const Clock::time_point slow = origin + std::chrono::seconds(2);
    for (int k = 0; k < 30; ++k)
        figures.frameDrawn(t = frameTime(slow, k, 30));
    const Clock::time_point fast = origin + std::chrono::seconds(3);
    for (int k = 0; k < 150; ++k)
        figures.frameDrawn(t = frameTime(fast, k, 60));
    const RunFigures::Summary s = figures.summary(origin + milliseconds(5500));
    EXPECT_EQ(s.frames, 300u);
    EXPECT_DOUBLE_EQ(s.seconds, 5.5);
    EXPECT_NEAR(s.framesPerSecond, 300 / 5.5, 1e-9);
    // The half second at the end is not a whole second.
    EXPECT_EQ(s.worstSecond, 30);
    // 30 of 299 frame times are 33.3 ms: more than 5 %.
    EXPECT_NEAR(s.frameTimeP95, 33.4, 0.051);
}

TEST(RunFigures, FrameTimePercentileOfASteadyRun)
{
    RunFigures figures(origin);
    for (int k = 0; k < 600; ++k)
        figures.frameDrawn(frameTime(origin, k, 60));
    // A few slow frames, under 5 %, do not move the 95th percentile.
    Clock::time_point t = frameTime(origin, 599, 60);
    for (int k = 0; k < 20; ++k)
        figures.frameDrawn(t += milliseconds(40));
    const RunFigures::Summary s = figures.summary(origin + std::chrono::seconds(11));
    EXPECT_EQ(s.frames, 620u);
    EXPECT_NEAR(s.frameTimeP95, 16.7, 0.051);
    EXPECT_EQ(s.worstSecond, 20); // the slow frames' own second
}

TEST(RunFigures, HiddenTimeIsNeitherASlowSecondNorAFrameTime)
{
    RunFigures figures(origin);
    for (int k = 0; k < 120; ++k)
        figures.frameDrawn(frameTime(origin, k, 60));
    // Minimised from 2.0 s to 4.5 s, the loop idling every 10 ms.
    for (int ms = 2000; ms < 4500; ms += 10)
        figures.idle(origin + milliseconds(ms));
    const Clock::time_point back = origin + milliseconds(4500);
    for (int k = 0; k < 150; ++k)
        figures.frameDrawn(frameTime(back, k, 60));
    const RunFigures::Summary s = figures.summary(origin + std::chrono::seconds(7));
    EXPECT_EQ(s.frames, 270u);
    EXPECT_NEAR(s.framesPerSecond, 270 / 7.0, 1e-9); // over the run's whole time
    EXPECT_EQ(s.worstSecond, 60);                    // seconds 2, 3 and 4 had hidden time
    EXPECT_NEAR(s.frameTimeP95, 16.7, 0.051);        // no 2.5 s frame time
}

TEST(RunFigures, ASecondWithoutAnyFrameCountsAsNone)
{
    // The loop stuck for 2.5 s while the window was up: the seconds it
    // spans drew nothing.
    RunFigures figures(origin);
    for (int k = 0; k < 60; ++k)
        figures.frameDrawn(frameTime(origin, k, 60));
    const Clock::time_point after = origin + milliseconds(3500);
    for (int k = 0; k < 60; ++k)
        figures.frameDrawn(frameTime(after, k, 60));
    EXPECT_EQ(figures.summary(origin + std::chrono::seconds(5)).worstSecond, 0);
}

TEST(RunFigures, ShortAndEmptyRuns)
{
    RunFigures empty(origin);
    const RunFigures::Summary none = empty.summary(origin);
    EXPECT_EQ(none.frames, 0u);
    EXPECT_EQ(none.framesPerSecond, 0);
    EXPECT_EQ(none.worstSecond, -1);
    EXPECT_EQ(none.frameTimeP95, 0);
    EXPECT_EQ(RunFigures::describe(none), "Run ended: 0 frames drawn in 0.0 s, 0.0 frames per second, no whole "
                                          "second drawn, 0 camera pictures shown, 0.0 per second");

    RunFigures brief(origin);
    for (int k = 0; k < 40; ++k) {
        brief.frameDrawn(frameTime(origin, k, 60));
        if (k % 2 == 0)
            brief.pictureShown();
    }
    const RunFigures::Summary s = brief.summary(origin + milliseconds(800));
    EXPECT_EQ(s.worstSecond, -1);
    EXPECT_EQ(RunFigures::describe(s), "Run ended: 40 frames drawn in 0.8 s, 50.0 frames per second, no whole "
                                       "second drawn, frame time 95th percentile 16.7 ms, 20 camera pictures shown, "
                                       "25.0 per second");
}

TEST(RunFigures, ClosingLineNamesEveryFigure)
{
    RunFigures::Summary s;
    s.frames = 3612;
    s.seconds = 60.25;
    s.framesPerSecond = 59.94;
    s.worstSecond = 57;
    s.frameTimeP95 = 17.3;
    s.pictures = 1800;
    s.picturesPerSecond = 29.88;
    EXPECT_EQ(RunFigures::describe(s), "Run ended: 3612 frames drawn in 60.2 s, 59.9 frames per second, worst "
                                       "second 57 frames, frame time 95th percentile 17.3 ms, 1800 camera "
                                       "pictures shown, 29.9 per second");
}

} // namespace
