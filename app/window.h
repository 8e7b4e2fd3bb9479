#pragma once

namespace kwo {

// The application window (SDL). Placeholder until the engine stage exists.
class AppWindow {
public:
    AppWindow() = default;
};

} // namespace kwo
