#pragma once

// The command line of kwo-calibrate, read without touching any file or
// device: what to do and with which settings, or what is wrong with it.

#include "tools/calibrate/chessboard.h"

#include <optional>
#include <string>
#include <vector>

namespace kwo::calibrate {

// Fewer views than this never make a calibration (see --views).
constexpr int minimumViews = 10;

struct Options {
    enum class Task { Help, PrintBoard, ListCameras, Calibrate };
    Task task = Task::Help;
    Chessboard board;
    std::string boardPdf;   // --print-board: where the board's page goes
    std::string camera;     // --camera: a name from the camera list
    std::string video;      // --video: a clip file read once, every frame
    std::string output;     // --output: the camera file to write
    int frameWidth = 0;     // --size: the camera mode asked for; 0 lets the camera choose
    int frameHeight = 0;
    int views = 20;         // --views: calibrate once this many views are taken
    bool window = true;     // --no-window: no live picture, no keys
    double seconds = 0;     // --seconds: stop taking views after this long; 0 no limit
};

// Reads the arguments after the program's name. On failure returns nothing
// and puts a message naming the argument into `error`.
std::optional<Options> parseArguments(const std::vector<std::string>& arguments, std::string& error);

// The text of --help.
std::string helpText();

} // namespace kwo::calibrate
