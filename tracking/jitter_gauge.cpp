#include "tracking/jitter_gauge.h"

#include <cmath>

namespace kwo {
namespace {

double squaredDistance(double ax, double ay, double bx, double by)
{
    return (ax - bx) * (ax - bx) + (ay - by) * (ay - by);
}

} // namespace

JitterGauge::Point JitterGauge::onPicture(const MarkerPose& pose) const
{
    double transform[3][4];
    pose.toTransform(transform);
    double p[3];
    for (int r = 0; r < 3; ++r)
        p[r] = transform[r][2] * headHeight + transform[r][3];
    double q[3];
    for (int r = 0; r < 3; ++r)
        q[r] = camera_.mat[r][0] * p[0] + camera_.mat[r][1] * p[1] + camera_.mat[r][2] * p[2] + camera_.mat[r][3];
    // A point at or behind the camera shows nowhere; count it as standing still.
    if (q[2] <= 0)
        return {};
    return {q[0] / q[2], q[1] / q[2]};
}

void JitterGauge::placed(const std::vector<TrackedObject>& objects, const Steadying& steadying, double time)
{
    tracks_.resize(objects.size());
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const TrackedObject& object = objects[i];
        Track& track = tracks_[i];
        // Held, or reported again from the tracker's memory: nothing new.
        if (!object.visible || object.lastSeen != time) {
            track.seen = false;
            continue;
        }
        const Point estimated = onPicture(MarkerPose::fromTransform(object.transform));
        const Point shown = onPicture(shownPose(object, steadying));
        if (track.seen) {
            const double e = squaredDistance(estimated.x, estimated.y, track.estimated.x, track.estimated.y);
            const double s = squaredDistance(shown.x, shown.y, track.shown.x, track.shown.y);
            if (!measured_) {
                estimatedSquares_ = e;
                shownSquares_ = s;
                measured_ = true;
            } else {
                estimatedSquares_ += weight * (e - estimatedSquares_);
                shownSquares_ += weight * (s - shownSquares_);
            }
        }
        track = {true, estimated, shown};
    }
}

Jitter JitterGauge::jitter() const
{
    return {std::sqrt(estimatedSquares_), std::sqrt(shownSquares_), measured_};
}

void JitterGauge::reset()
{
    tracks_.clear();
    estimatedSquares_ = shownSquares_ = 0;
    measured_ = false;
}

} // namespace kwo
