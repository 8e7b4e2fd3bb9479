#pragma once

// The live picture of a calibration: one window showing frames, and the few
// keys the technician uses. SDL stays inside this file's implementation.

#include <opencv2/core.hpp>

#include <memory>
#include <string>

namespace kwo::calibrate {

enum class PreviewEvent {
    None,
    TakeView, // Space: take the board as a view now
    Finish,   // Return: calibrate with the views taken
    Quit,     // Escape or the window closed: give up
};

class PreviewWindow {
public:
    // A window of the frame's size; nothing, with the reason in `why`,
    // when no window can be opened (no display).
    static std::unique_ptr<PreviewWindow> open(const std::string& title, cv::Size size, std::string* why);
    ~PreviewWindow();
    PreviewWindow(const PreviewWindow&) = delete;
    PreviewWindow& operator=(const PreviewWindow&) = delete;

    // Shows a BGR picture of the window's size.
    void show(const cv::Mat& picture);
    // The next key or window event, None when there is none waiting.
    PreviewEvent poll();

private:
    struct Handles;
    explicit PreviewWindow(std::unique_ptr<Handles> handles);
    std::unique_ptr<Handles> handles;
};

} // namespace kwo::calibrate
