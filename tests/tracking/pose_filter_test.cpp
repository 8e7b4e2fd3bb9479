// Steadying one marker's pose: a card held still keeps its creature still, a
// moving one is followed within a frame, a one-frame flip stays out of the
// picture while a jump that holds is glided into, and a fresh start shows the
// measurement as it is.
#include "tracking/pose_filter.h"

#include <opencv2/core.hpp>
#include <opencv2/core/quaternion.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

using kwo::MarkerPose;
using kwo::PoseFilter;

constexpr double degree = std::numbers::pi / 180;
constexpr double framePeriod = 1.0 / 30;

MarkerPose makePose(const cv::Quatd& q, const cv::Vec3d& position)
{
    MarkerPose pose;
    pose.orientation = {q.w, q.x, q.y, q.z};
    pose.position = {position[0], position[1], position[2]};
    return pose;
}

cv::Quatd quat(const kwo::Orientation& o)
{
    return {o.w, o.x, o.y, o.z};
}

// Where a creature's head is, 50 mm above the marker, in camera millimetres.
cv::Vec3d head(const MarkerPose& pose)
{
    const cv::Matx33d r = quat(pose.orientation).toRotMat3x3();
    return r * cv::Vec3d(0, 0, 50) + cv::Vec3d(pose.position[0], pose.position[1], pose.position[2]);
}

// A card facing the camera 400 mm away, tipped back a little.
const cv::Quatd facing = cv::Quatd::createFromAngleAxis(std::numbers::pi, cv::Vec3d(1, 0, 0)) *
                         cv::Quatd::createFromAngleAxis(5 * degree, cv::Vec3d(1, 0, 0));

// A camera's measurement of a pose: the detector's noise, mostly in the
// orientation (0.3 degrees about each axis, 0.1 mm), and the frame cycle
// taking each frame up to one of its own 60 Hz periods after it arrived.
class Camera {
public:
    explicit Camera(unsigned seed) : random(seed) {}

    MarkerPose measure(const cv::Quatd& q, const cv::Vec3d& position)
    {
        const cv::Vec3d turn(turnNoise(random), turnNoise(random), turnNoise(random));
        const cv::Quatd noisy = cv::Quatd::createFromRvec(turn) * q;
        return makePose(noisy, position + cv::Vec3d(shift(random), shift(random), shift(random)));
    }
    double takenAt(int frame) { return frame * framePeriod + late(random); }

private:
    std::minstd_rand random;
    std::normal_distribution<double> turnNoise{0, 0.3 * degree};
    std::normal_distribution<double> shift{0, 0.1};
    std::uniform_real_distribution<double> late{0, 1.0 / 60};
};

double rms(const std::vector<double>& steps)
{
    double sum = 0;
    for (double s : steps)
        sum += s * s;
    return std::sqrt(sum / static_cast<double>(steps.size()));
}

TEST(PoseFilter, AStillCardsCreatureStaysStillWhereTheCardIs)
{
    Camera camera(7);
    PoseFilter filter;
    const cv::Vec3d where(30, -20, 400);
    const MarkerPose truth = makePose(facing, where);
    std::vector<double> measuredSteps, shownSteps;
    double worstOffset = 0;
    MarkerPose lastMeasured, lastShown;
    for (int i = 0; i < 90; ++i) {
        const MarkerPose measured = camera.measure(facing, where);
        const MarkerPose shown = filter.update(camera.takenAt(i), measured);
        if (i >= 10) {
            measuredSteps.push_back(cv::norm(head(measured) - head(lastMeasured)));
            shownSteps.push_back(cv::norm(head(shown) - head(lastShown)));
            worstOffset = std::max(worstOffset, cv::norm(head(shown) - head(truth)));
        }
        lastMeasured = measured;
        lastShown = shown;
    }
    // The head moves 0.37 mm RMS from frame to frame as measured (about a
    // pixel at this distance); shown, it moves a fifth of that at most.
    EXPECT_GT(rms(measuredSteps), 0.3);
    EXPECT_LT(rms(shownSteps), rms(measuredSteps) / 5);
    // Held still where the card is, not somewhere near it.
    EXPECT_LT(worstOffset, 0.3);
}

TEST(PoseFilter, AStillCardsCreatureIsDrawnTheSameFrameAfterFrame)
{
    // What the low-pass leaves of the noise would still move the creature by
    // a little every frame, and redraw its outline's pixels differently: the
    // creature is shown exactly as before while the card keeps still, and
    // moves with the card once it moves further than that.
    const kwo::PoseFilterParameters held;
    kwo::PoseFilterParameters unheld;
    unheld.stillness = 0;
    PoseFilter filter(held), plain(unheld);
    Camera camera(3);
    const cv::Vec3d where(30, -20, 400);
    MarkerPose last;
    int moved = 0;
    for (int i = 0; i < 90; ++i) {
        const double t = camera.takenAt(i);
        const MarkerPose measured = camera.measure(facing, where);
        const MarkerPose shown = filter.update(t, measured);
        plain.update(t, measured);
        if (i >= 10 && (shown.position != last.position || quat(shown.orientation) != quat(last.orientation)))
            ++moved;
        last = shown;
    }
    // This camera trembles more than a real one (the head moves about a
    // pixel from frame to frame as measured); still the creature stands
    // exactly still in at least four frames of five.
    EXPECT_LE(moved, 80 / 5);

    // Then carried away slowly, at 15 mm/s: followed in small steps, never
    // further behind than the steadied pose by more than the stillness.
    double worstOffset = 0, worstPlainOffset = 0;
    for (int i = 90; i < 150; ++i) {
        const double t = camera.takenAt(i);
        const cv::Vec3d at = where + cv::Vec3d(15 * (i - 90) * framePeriod, 0, 0);
        const MarkerPose measured = camera.measure(facing, at);
        const cv::Vec3d trueHead = head(makePose(facing, at));
        worstOffset = std::max(worstOffset, cv::norm(head(filter.update(t, measured)) - trueHead));
        worstPlainOffset = std::max(worstPlainOffset, cv::norm(head(plain.update(t, measured)) - trueHead));
    }
    EXPECT_LE(worstOffset, worstPlainOffset + held.stillness / 1000 * cv::norm(where + cv::Vec3d(15, 0, 0)) * 1.01);
}

TEST(PoseFilter, AMovingCardIsFollowedWithinAFrame)
{
    // Carried across at 0.3 and 1 m/s while turning at 90 degrees per second
    // about its normal and tipping at 30: the shown head trails the true one
    // by less than the head moves in one frame.
    for (const double speed : {300.0, 1000.0}) {
        SCOPED_TRACE(speed);
        Camera camera(11);
        PoseFilter filter;
        double worstLag = 0, worstStep = 0;
        cv::Vec3d lastHead;
        for (int i = 0; i < 45; ++i) {
            const double t = camera.takenAt(i);
            // The pose at the middle of the exposure, as the camera saw it.
            const double exposed = i * framePeriod;
            const cv::Quatd q = facing * cv::Quatd::createFromAngleAxis(30 * degree * exposed, cv::Vec3d(1, 0, 0)) *
                                cv::Quatd::createFromAngleAxis(90 * degree * exposed, cv::Vec3d(0, 0, 1));
            const cv::Vec3d where(-200 + speed * exposed, 0, 400);
            const MarkerPose shown = filter.update(t, camera.measure(q, where));
            const cv::Vec3d trueHead = head(makePose(q, where));
            if (i >= 10) {
                worstLag = std::max(worstLag, cv::norm(head(shown) - trueHead));
                worstStep = std::max(worstStep, cv::norm(trueHead - lastHead));
            }
            lastHead = trueHead;
        }
        EXPECT_LT(worstLag, worstStep);
    }
}

TEST(PoseFilter, AFlipOfOneFrameStaysOutAndATurnThatHoldsIsGlidedInto)
{
    const cv::Vec3d where(0, 0, 400);
    const MarkerPose facingPose = makePose(facing, where);
    // The square's other pose: tipped as far the other way, 40 degrees off.
    const MarkerPose flipped = makePose(facing * cv::Quatd::createFromAngleAxis(-40 * degree, cv::Vec3d(1, 0, 0)), where);
    const kwo::PoseFilterParameters parameters;
    PoseFilter filter(parameters);
    int frame = 0;
    for (; frame < 10; ++frame)
        filter.update(frame * framePeriod, facingPose);

    // One frame flips: nothing of it shows, before or after.
    filter.update(frame++ * framePeriod, flipped);
    EXPECT_LT(kwo::turnBetween(filter.pose().orientation, facingPose.orientation), 1e-6);
    for (int i = 0; i < 3; ++i) {
        filter.update(frame++ * framePeriod, facingPose);
        EXPECT_LT(kwo::turnBetween(filter.pose().orientation, facingPose.orientation), 1e-6) << i;
    }

    // The estimate jumped for good (or the card was turned in a flash): the
    // creature glides over, never turning by much more than the glide rate
    // allows in one frame, and arrives.
    const double mostPerFrame = parameters.glideRate * degree * framePeriod;
    kwo::Orientation last = filter.pose().orientation;
    double largestStep = 0;
    int frames = 0;
    for (; frames < 60 && kwo::turnBetween(filter.pose().orientation, flipped.orientation) > 0.5 * degree; ++frames) {
        filter.update(frame++ * framePeriod, flipped);
        largestStep = std::max(largestStep, kwo::turnBetween(filter.pose().orientation, last));
        last = filter.pose().orientation;
    }
    // (The low-pass, speeding up as the turn goes on, adds a little.)
    EXPECT_LT(largestStep, mostPerFrame * 1.25);
    EXPECT_GT(largestStep, mostPerFrame * 0.5);
    // 40 degrees at 2 per frame, and a few frames for the low-pass to settle.
    EXPECT_LT(frames, 40 / 2 + 8);

    // Without the limit the flip shows at once.
    kwo::PoseFilterParameters unlimited;
    unlimited.turnBreak = 0;
    PoseFilter eager(unlimited);
    eager.update(0, facingPose);
    eager.update(framePeriod, flipped);
    EXPECT_GT(kwo::turnBetween(eager.pose().orientation, facingPose.orientation), 10 * degree);
}

// A card turned steadily but faster than any glide: after the first frame of
// the turn the creature turns with it, and trails it by no more than the
// first frame's turn.
TEST(PoseFilter, AFastTurnThatKeepsGoingIsFollowed)
{
    const cv::Vec3d where(0, 0, 400);
    const double rate = 450 * degree; // radians per second: a quick twist of the wrist
    PoseFilter filter;
    for (int frame = 0; frame < 10; ++frame)
        filter.update(frame * framePeriod, makePose(facing, where));
    double worstBehind = 0;
    for (int frame = 10; frame < 25; ++frame) {
        const double turned = rate * (frame - 9) * framePeriod;
        const MarkerPose truth = makePose(facing * cv::Quatd::createFromAngleAxis(turned, cv::Vec3d(0, 0, 1)), where);
        filter.update(frame * framePeriod, truth);
        if (frame >= 13)
            worstBehind = std::max(worstBehind, kwo::turnBetween(filter.pose().orientation, truth.orientation));
    }
    EXPECT_LT(worstBehind, rate * framePeriod);
}

TEST(PoseFilter, AFreshStartShowsTheMeasurementAsItIs)
{
    PoseFilter filter;
    EXPECT_FALSE(filter.started());
    const MarkerPose first = makePose(facing, {10, 20, 400});
    const MarkerPose &shown = filter.update(5.0, first);
    EXPECT_TRUE(filter.started());
    EXPECT_EQ(shown.position, first.position);
    EXPECT_EQ(quat(shown.orientation), quat(first.orientation));

    // Somewhere else after a reset: there at once, nothing carried over.
    filter.update(5.1, makePose(facing, {12, 20, 400}));
    filter.reset();
    EXPECT_FALSE(filter.started());
    const MarkerPose elsewhere = makePose(facing * cv::Quatd::createFromAngleAxis(1.0, cv::Vec3d(0, 1, 0)), {-90, 5, 600});
    filter.update(5.2, elsewhere);
    EXPECT_EQ(filter.pose().position, elsewhere.position);
    EXPECT_EQ(quat(filter.pose().orientation), quat(elsewhere.orientation));
    EXPECT_EQ(filter.speed(), 0);
}

TEST(PoseFilter, SignOfTheQuaternionAndAStoppedClockChangeNothing)
{
    // q and -q are one orientation: alternating them is no movement.
    PoseFilter filter;
    const cv::Quatd q = facing * cv::Quatd::createFromAngleAxis(0.4, cv::Vec3d(0, 1, 0));
    for (int i = 0; i < 6; ++i) {
        filter.update(i * framePeriod, makePose(i % 2 ? -q : q, {0, 0, 400}));
        EXPECT_LT(kwo::turnBetween(filter.pose().orientation, makePose(q, {0, 0, 400}).orientation), 1e-7) << i;
        EXPECT_LT(filter.speed(), 1e-6) << i;
    }
    // The same time twice, or a clock that went back: a finite pose near
    // the last one.
    filter.update(1.0, makePose(q, {50, 0, 400}));
    filter.update(1.0, makePose(q, {60, 0, 400}));
    filter.update(0.5, makePose(q, {70, 0, 400}));
    for (double v : filter.pose().position)
        EXPECT_TRUE(std::isfinite(v));
    EXPECT_TRUE(std::isfinite(filter.pose().orientation.w));
}

TEST(MarkerPose, TransformRoundTrip)
{
    const cv::Quatd q = cv::Quatd::createFromAngleAxis(2.0, cv::normalize(cv::Vec3d(1, -2, 0.5)));
    const cv::Matx33d r = q.toRotMat3x3();
    double transform[3][4];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            transform[i][j] = r(i, j);
        transform[i][3] = 100.0 * (i + 1);
    }
    double back[3][4];
    MarkerPose::fromTransform(transform).toTransform(back);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            EXPECT_NEAR(back[i][j], transform[i][j], 1e-12) << i << "," << j;
}

} // namespace
