#pragma once

#include <chrono>

namespace kwo {

// Whether the loop, having drawn a frame, draws the next one now or sleeps a
// little longer. On a software renderer every drawn frame costs a whole show
// of processor time, while the picture only changes when the camera gives a
// new one (30 a second from most webcams, half the display's refresh). A
// loop that follows the camera draws when something new is there: a camera
// picture, an input event, the camera lost or back, or the run ending; with
// nothing new it still draws once every `quietPeriod`, so that creatures on
// markers the camera stopped showing go on moving. Between looks at the
// camera and the window it sleeps `lookInterval`, which keeps input, Escape
// and a lost camera as quick as drawing at the display's refresh.
//
// The display's schedule (FramePacer's due time) still holds: a frame never
// starts before it is due. Pure time arithmetic: the caller sleeps and looks.
class DrawingPace {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr Clock::duration lookInterval = std::chrono::milliseconds(2);
    static constexpr Clock::duration quietPeriod = std::chrono::milliseconds(250);

    // `followCamera` false: every frame is drawn as soon as it is due.
    explicit DrawingPace(bool followCamera = false) : following(followCamera) {}

    bool followsCamera() const { return following; }

    // A frame started drawing at `now`.
    void frameStarted(Clock::time_point now) { lastStart = now; }

    // The next frame may start at `now`: it is due (`due` from the display's
    // schedule) and, when following the camera, something new is there
    // (`news`) or the quiet period is over.
    bool drawNow(Clock::time_point now, Clock::time_point due, bool news) const;

    // Until when the caller sleeps before it looks for news again (only
    // asked while drawNow says no).
    Clock::time_point nextLook(Clock::time_point now, Clock::time_point due) const;

private:
    bool following;
    Clock::time_point lastStart{};
};

} // namespace kwo
