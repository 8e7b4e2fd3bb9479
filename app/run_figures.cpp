#include "app/run_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kwo {

RunFigures::RunFigures(Clock::time_point start) : start(start) {}

void RunFigures::closeSecondsBefore(std::int64_t now)
{
    if (now <= second)
        return;
    if (!secondIdle)
        worst = worst < 0 ? framesThisSecond : std::min(worst, framesThisSecond);
    // Whole seconds passed without a frame or an idle mark: nothing was
    // drawn in them although the window was up.
    if (now > second + 1)
        worst = 0;
    second = now;
    framesThisSecond = 0;
    secondIdle = false;
}

void RunFigures::frameDrawn(Clock::time_point now)
{
    closeSecondsBefore(std::chrono::duration_cast<std::chrono::seconds>(now - start).count());
    ++frames;
    ++framesThisSecond;
    if (haveLast) {
        const double ms = std::chrono::duration<double, std::milli>(now - lastFrame).count();
        const auto bin = static_cast<std::size_t>(std::max(0.0, ms / binMilliseconds));
        ++frameTimes[std::min(bin, bins - 1)];
        ++frameTimeCount;
    }
    haveLast = true;
    lastFrame = now;
}

void RunFigures::idle(Clock::time_point now)
{
    closeSecondsBefore(std::chrono::duration_cast<std::chrono::seconds>(now - start).count());
    secondIdle = true;
    haveLast = false;
}

RunFigures::Summary RunFigures::summary(Clock::time_point end) const
{
    Summary result;
    result.frames = frames;
    result.seconds = std::chrono::duration<double>(end - start).count();
    result.framesPerSecond = result.seconds > 0 ? static_cast<double>(frames) / result.seconds : 0;
    result.pictures = pictures;
    result.picturesPerSecond = result.seconds > 0 ? static_cast<double>(pictures) / result.seconds : 0;
    // The seconds completed by `end`, the one in progress left out.
    RunFigures closed = *this;
    closed.closeSecondsBefore(std::chrono::duration_cast<std::chrono::seconds>(end - start).count());
    result.worstSecond = closed.worst;
    if (frameTimeCount > 0) {
        // The smallest frame time with at least 95 % of frames at or below it.
        const auto wanted = static_cast<std::uint64_t>(std::ceil(0.95 * static_cast<double>(frameTimeCount)));
        std::uint64_t seen = 0;
        for (std::size_t bin = 0; bin < bins; ++bin) {
            seen += frameTimes[bin];
            if (seen >= wanted) {
                result.frameTimeP95 = static_cast<double>(bin + 1) * binMilliseconds;
                break;
            }
        }
    }
    return result;
}

std::string RunFigures::describe(const Summary& s)
{
    char line[256];
    std::snprintf(line, sizeof line, "Run ended: %llu frames drawn in %.1f s, %.1f frames per second",
                  static_cast<unsigned long long>(s.frames), s.seconds, s.framesPerSecond);
    std::string text = line;
    if (s.worstSecond >= 0)
        text += ", worst second " + std::to_string(s.worstSecond) + " frames";
    else
        text += ", no whole second drawn";
    if (s.frameTimeP95 > 0) {
        std::snprintf(line, sizeof line, ", frame time 95th percentile %.1f ms", s.frameTimeP95);
        text += line;
    }
    std::snprintf(line, sizeof line, ", %llu camera pictures shown, %.1f per second",
                  static_cast<unsigned long long>(s.pictures), s.picturesPerSecond);
    return text + line;
}

} // namespace kwo
