#include "app/drawing_pace.h"

#include <algorithm>

namespace kwo {

bool DrawingPace::drawNow(Clock::time_point now, Clock::time_point due, bool news) const
{
    if (now < due)
        return false;
    return !following || news || now >= lastStart + quietPeriod;
}

DrawingPace::Clock::time_point DrawingPace::nextLook(Clock::time_point now, Clock::time_point due) const
{
    // Before the display's turn nothing new could be drawn anyway.
    if (now < due)
        return due;
    return std::min(now + lookInterval, std::max(now, lastStart + quietPeriod));
}

} // namespace kwo
