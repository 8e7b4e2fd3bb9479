#include "tracking/pose_filter.h"

#include <opencv2/core.hpp>
#include <opencv2/core/quaternion.hpp>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kwo {
namespace {

cv::Quatd toQuat(const Orientation& o)
{
    return {o.w, o.x, o.y, o.z};
}

Orientation fromQuat(const cv::Quatd& q)
{
    return {q.w, q.x, q.y, q.z};
}

cv::Vec3d toVec(const std::array<double, 3>& v)
{
    return {v[0], v[1], v[2]};
}

std::array<double, 3> fromVec(const cv::Vec3d& v)
{
    return {v[0], v[1], v[2]};
}

double dot(const Orientation& a, const Orientation& b)
{
    return a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z;
}

// The weight of a new sample in an exponential low-pass of cutoff `cutoff`
// (hertz) after `interval` seconds.
double smoothingFactor(double interval, double cutoff)
{
    const double timeConstant = 1.0 / (2 * std::numbers::pi * cutoff);
    return 1.0 / (1.0 + timeConstant / interval);
}

// The rotation taking `from` to `to` as a rotation vector (axis times angle,
// radians), the short way round.
cv::Vec3d rotationVector(const cv::Quatd& from, const cv::Quatd& to)
{
    cv::Quatd step = to * from.conjugate();
    if (step.w < 0)
        step = -step;
    const double sine = std::sqrt(std::max(0.0, 1.0 - step.w * step.w));
    // For a turn this small the axis is lost in rounding, and twice the
    // vector part is the rotation vector to within it.
    if (sine < 1e-9)
        return {2 * step.x, 2 * step.y, 2 * step.z};
    const double scale = 2 * std::acos(std::min(1.0, step.w)) / sine;
    return {step.x * scale, step.y * scale, step.z * scale};
}

// `q` turned toward no rotation at all by at most `angle` radians.
cv::Quatd towardIdentity(const cv::Quatd& q, double angle)
{
    const cv::Quatd shortWay = q.w < 0 ? -q : q;
    const double turn = 2 * std::acos(std::min(1.0, shortWay.w));
    if (turn <= angle)
        return {1, 0, 0, 0};
    return cv::Quatd::slerp(shortWay, {1, 0, 0, 0}, angle / turn, cv::QUAT_ASSUME_UNIT);
}

} // namespace

MarkerPose MarkerPose::fromTransform(const double transform[3][4])
{
    const cv::Matx33d rotation(transform[0][0], transform[0][1], transform[0][2], transform[1][0], transform[1][1],
                               transform[1][2], transform[2][0], transform[2][1], transform[2][2]);
    MarkerPose pose;
    pose.orientation = fromQuat(cv::Quatd::createFromRotMat(rotation).normalize());
    pose.position = {transform[0][3], transform[1][3], transform[2][3]};
    return pose;
}

void MarkerPose::toTransform(double transform[3][4]) const
{
    const cv::Matx33d rotation = toQuat(orientation).toRotMat3x3(cv::QUAT_ASSUME_UNIT);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c)
            transform[r][c] = rotation(r, c);
        transform[r][3] = position[static_cast<std::size_t>(r)];
    }
}

double turnBetween(const Orientation& a, const Orientation& b)
{
    return 2 * std::acos(std::min(1.0, std::abs(dot(a, b))));
}

void PoseFilter::restart(double time, const MarkerPose& measured)
{
    started_ = true;
    lastTime_ = time;
    filtered_ = shown_ = measured;
    lastMeasured_ = measured.orientation;
    lastStep_ = {0, 0, 0};
    lastInput_ = measured;
    offset_ = {};
    velocity_ = turning_ = {0, 0, 0};
    speed_ = 0;
}

const MarkerPose& PoseFilter::update(double time, const MarkerPose& measured)
{
    if (!started_) {
        restart(time, measured);
        return shown_;
    }
    // The clock never stands still between frames; should it seem to, the
    // new pose gets next to no weight rather than a division by zero.
    const double interval = std::max(time - lastTime_, 1e-4);
    lastTime_ = time;

    // q and -q are the same orientation: keep to one side, so that
    // interpolation goes the short way.
    cv::Quatd raw = toQuat(measured.orientation);
    if (dot(measured.orientation, lastMeasured_) < 0)
        raw = -raw;
    const cv::Vec3d step = rotationVector(toQuat(lastMeasured_), raw);
    lastMeasured_ = fromQuat(raw);

    // What is left of earlier jumps shrinks at the glide rate. A new jump
    // (the turning changed more than a hand can change it within a frame)
    // is taken out whole: the filter sees the orientation it saw last, and
    // the creature glides over from there, or stays, should the estimate
    // jump back.
    const double turnBreak = parameters_.turnBreak * std::numbers::pi / 180;
    cv::Quatd offset = towardIdentity(toQuat(offset_), parameters_.glideRate * std::numbers::pi / 180 * interval);
    if (turnBreak > 0 && cv::norm(step - toVec(lastStep_)) > turnBreak)
        offset = toQuat(lastInput_.orientation) * raw.conjugate();
    offset_ = fromQuat(offset);
    lastStep_ = fromVec(step);

    MarkerPose input;
    input.position = measured.position;
    cv::Quatd taken = (offset * raw).normalize();
    if (dot(fromQuat(taken), lastInput_.orientation) < 0)
        taken = -taken;
    input.orientation = fromQuat(taken);

    // The speeds, low-passed as vectors: the random steps of a still card's
    // noise cancel out, a real movement adds up.
    const cv::Vec3d position = toVec(input.position), lastPosition = toVec(lastInput_.position);
    const cv::Quatd orientation = toQuat(input.orientation);
    const double speedWeight = smoothingFactor(interval, parameters_.derivativeCutoff);
    cv::Vec3d velocity = toVec(velocity_), turning = toVec(turning_);
    velocity += speedWeight * ((position - lastPosition) / interval - velocity);
    turning += speedWeight * (rotationVector(toQuat(lastInput_.orientation), orientation) / interval - turning);
    velocity_ = fromVec(velocity);
    turning_ = fromVec(turning);
    const double moving = cv::norm(velocity), turningAtLever = parameters_.lever * cv::norm(turning);
    speed_ = moving + turningAtLever;

    // Position and orientation each follow their own speed: a card carried
    // fast but not turned keeps its orientation smoothed, and the detector's
    // noise (mostly in the orientation) stays out of the picture.
    const double positionWeight = smoothingFactor(interval, parameters_.minCutoff + parameters_.beta * moving);
    const double orientationWeight =
        smoothingFactor(interval, parameters_.minCutoff + parameters_.beta * turningAtLever);
    const cv::Vec3d filteredPosition = toVec(filtered_.position);
    filtered_.position = fromVec(filteredPosition + positionWeight * (position - filteredPosition));
    const cv::Quatd before = toQuat(filtered_.orientation);
    const cv::Quatd after = cv::Quatd::slerp(before, orientation, orientationWeight, cv::QUAT_ASSUME_UNIT, true);
    filtered_.orientation = fromQuat(after);
    lastInput_ = input;

    // How far the steadied pose moved from the one shown, as seen from the
    // camera: millimetres over the marker's distance.
    const double apart = (cv::norm(toVec(filtered_.position) - toVec(shown_.position)) +
                          parameters_.lever * turnBetween(filtered_.orientation, shown_.orientation)) /
                         std::max(cv::norm(toVec(shown_.position)), 1.0);
    if (!(apart * 1000 <= parameters_.stillness))
        shown_ = filtered_;
    return shown_;
}

} // namespace kwo
