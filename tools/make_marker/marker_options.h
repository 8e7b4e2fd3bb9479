#pragma once

// The command line of kwo-make-marker, read into plain settings. Pure: no
// file is opened here; the program checks the files when it uses them.

#include <optional>
#include <string>
#include <vector>

namespace kwo::make_marker {

// Where the pattern comes from: exactly one of these per run.
enum class Source { Picture, Text, Camera };

struct MarkerOptions {
    Source source = Source::Picture;
    std::string picture;     // --picture: PNG or JPEG artwork
    bool crop = false;       // --fit crop: the picture's middle square (else --fit pad: all of it on white paper)
    bool wholePicture = false; // --whole-picture: never take a whole marker's inside
    std::string text;        // --text: a letter or short word in a bold font
    std::string camera;      // --camera: a camera's name as the viewer lists it
    std::string output;      // --output: BASE.pattern, BASE.png, BASE.pdf
    std::string name;        // --name: printed under the marker; default the output's file name
    double millimetres = 83; // --size: the printed black square's side
    // Pattern files to compare the new one with (--against), besides the
    // station's (--config, or the program folder's kwo.config).
    std::vector<std::string> against;
    std::optional<std::string> config;
    bool noStation = false;      // --no-station: compare with --against only
    // Refuse when a turn of the pattern matches it this well: views of a
    // marker score 0.96 or more against its upright pattern on rendered test
    // views, so a turn at 0.8 still leaves a margin for noise and light.
    double symmetryLimit = 0.8;
    double confusionLimit = 0.5; // warn when another pattern matches it this well
    // Camera only.
    bool takeFirst = false;             // --take-first: the first square seen, no window
    std::optional<int> threshold;       // --threshold: default the station's
    double waitSeconds = 10;            // --wait: give up after this long without a square (--take-first)
    bool help = false;
};

// Longest --text: the tracker compares 16x16 cells, and a longer word's
// letters would be thinner than a cell.
constexpr int maxTextCharacters = 6;

// Reads the arguments (without the program name). Returns the settings, or
// puts a message naming the offending argument into `error` and returns
// nothing.
std::optional<MarkerOptions> parseOptions(const std::vector<std::string>& arguments, std::string& error);

// The --help text.
std::string usageText();

} // namespace kwo::make_marker
