#include "tools/make_marker/marker_options.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kwo::make_marker {

namespace {

bool readNumber(const std::string& text, double low, double high, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v) || v < low || v > high) return false;
    value = v;
    return true;
}

int utf8Characters(const std::string& text) {
    int count = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++count;
    return count;
}

std::string numberText(double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", v);
    return buffer;
}

} // namespace

std::optional<MarkerOptions> parseOptions(const std::vector<std::string>& arguments, std::string& error) {
    MarkerOptions options;
    int sources = 0;
    bool fitGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            return options;
        }
        if (argument == "--take-first") {
            options.takeFirst = true;
            continue;
        }
        if (argument == "--no-station") {
            options.noStation = true;
            continue;
        }
        if (argument == "--whole-picture") {
            options.wholePicture = true;
            continue;
        }
        static const char* const withValue[] = {"--picture", "--text", "--camera", "--output", "-o", "--name",
                                                "--size", "--against", "--config", "--symmetry-limit",
                                                "--confusion-limit", "--threshold", "--wait", "--fit"};
        bool known = false;
        for (const char* option : withValue) known = known || argument == option;
        if (!known) {
            error = argument.starts_with("-") ? "unknown option '" + argument + "'"
                                              : "unexpected argument '" + argument + "' (the output is given with --output)";
            return std::nullopt;
        }
        if (i + 1 >= arguments.size()) {
            error = argument + " needs a value";
            return std::nullopt;
        }
        const std::string& value = arguments[++i];
        auto number = [&](double low, double high, const std::string& what, double& into) {
            if (readNumber(value, low, high, into)) return true;
            error = argument + ": '" + value + "' is not " + what + " from " + numberText(low) + " to " + numberText(high);
            return false;
        };
        if (argument == "--picture" || argument == "--text" || argument == "--camera") {
            ++sources;
            if (value.empty()) {
                error = argument + " needs a value";
                return std::nullopt;
            }
            if (argument == "--picture") {
                options.source = Source::Picture;
                options.picture = value;
            } else if (argument == "--text") {
                options.source = Source::Text;
                options.text = value;
                if (utf8Characters(value) > maxTextCharacters) {
                    error = "--text: '" + value + "' is longer than " + std::to_string(maxTextCharacters) +
                            " characters (the letters would be thinner than the tracker's cells)";
                    return std::nullopt;
                }
            } else {
                options.source = Source::Camera;
                options.camera = value;
            }
        } else if (argument == "--output" || argument == "-o") {
            if (value.empty() || value.back() == '/') {
                error = argument + ": '" + value + "' names no file (give the path without extension, e.g. tracking/Owl)";
                return std::nullopt;
            }
            options.output = value;
            // "Owl.pattern" means the marker Owl, not "Owl.pattern.pattern".
            for (const char* extension : {".pattern", ".png", ".pdf"})
                if (options.output.ends_with(extension) && options.output.size() > std::strlen(extension) &&
                    options.output[options.output.size() - std::strlen(extension) - 1] != '/')
                    options.output.resize(options.output.size() - std::strlen(extension));
        } else if (argument == "--name") {
            options.name = value;
        } else if (argument == "--size") {
            if (!number(10, 1000, "a size in millimetres", options.millimetres)) return std::nullopt;
        } else if (argument == "--against") {
            options.against.push_back(value);
        } else if (argument == "--config") {
            options.config = value;
        } else if (argument == "--symmetry-limit") {
            if (!number(0, 1, "a limit", options.symmetryLimit)) return std::nullopt;
        } else if (argument == "--confusion-limit") {
            if (!number(0, 1, "a limit", options.confusionLimit)) return std::nullopt;
        } else if (argument == "--threshold") {
            double threshold = 0;
            if (!number(0, 255, "a whole threshold", threshold) ) return std::nullopt;
            if (threshold != std::floor(threshold)) {
                error = argument + ": '" + value + "' is not a whole threshold from 0 to 255";
                return std::nullopt;
            }
            options.threshold = static_cast<int>(threshold);
        } else if (argument == "--wait") {
            if (!number(0.1, 3600, "a time in seconds", options.waitSeconds)) return std::nullopt;
        } else if (argument == "--fit") {
            if (value != "pad" && value != "crop") {
                error = "--fit: '" + value + "' is neither pad (the whole picture on white paper) nor crop (its middle "
                        "square)";
                return std::nullopt;
            }
            options.crop = value == "crop";
            fitGiven = true;
        }
    }
    if (sources != 1) {
        error = sources == 0 ? "give the artwork with --picture or --text, or a camera with --camera"
                             : "give only one of --picture, --text and --camera";
        return std::nullopt;
    }
    if (options.output.empty()) {
        error = "give the output with --output (e.g. --output tracking/Owl)";
        return std::nullopt;
    }
    if (options.source != Source::Camera && (options.takeFirst || options.threshold)) {
        error = std::string(options.takeFirst ? "--take-first" : "--threshold") + " only applies with --camera";
        return std::nullopt;
    }
    if (options.source != Source::Picture && (fitGiven || options.wholePicture)) {
        error = std::string(fitGiven ? "--fit" : "--whole-picture") + " only applies with --picture";
        return std::nullopt;
    }
    if (options.config && options.noStation) {
        error = "give either --config or --no-station";
        return std::nullopt;
    }
    if (options.name.empty()) {
        const std::size_t slash = options.output.rfind('/');
        options.name = slash == std::string::npos ? options.output : options.output.substr(slash + 1);
    }
    return options;
}

std::string usageText() {
    return R"(usage: kwo-make-marker (--picture FILE | --text WORD | --camera NAME) --output BASE [options]

Makes a marker for the viewer: BASE.pattern (the tracker's pattern file),
BASE.png (a picture of the marker) and BASE.pdf (a sheet to print at 100 %).
The artwork fills the white inner half of a black square.

  --picture FILE        PNG or JPEG artwork, any size (transparency prints white).
                        A picture of a whole marker (a black square with a
                        border of a quarter of its side) gives its inside
  --fit pad|crop        a picture that is not square: pad puts all of it on
                        white paper (the default), crop takes its middle
                        square; the paper does not count as artwork when
                        the turns are compared
  --whole-picture       take the whole picture even when it is a whole marker
  --text WORD           a letter or short word (at most 6 characters), bold
  --camera NAME         train BASE.pattern from a printed marker held to this
                        camera (a name as the viewer lists it, clip cameras
                        too): a window shows the picture with the biggest square
                        outlined; Space takes it, Escape cancels. Writes only
                        the pattern file.
  --output BASE, -o     where to write; BASE without extension (tracking/Owl)
  --name TEXT           printed under the marker (default: BASE's file name)
  --size MM             side of the printed black square (default 83)
  --config FILE         the station's main document: its tracking/objects
                        patterns are compared with the new one (default:
                        kwo.config in the program folder, or the built-in
                        document's four markers); a camera is opened with
                        its video settings and calibration (tracking/params)
  --no-station          ignore the station's document: compare only with the
                        --against files; a camera is opened at its own size,
                        without the station's calibration
  --against FILE        another pattern file to compare with (repeatable)
  --symmetry-limit X    refuse artwork whose 90, 180 or 270 degree turn
                        matches it at X or more (default 0.8): the tracker
                        could not tell the marker's direction
  --confusion-limit X   warn when another pattern matches the new one at X or
                        more (default 0.5, the tracker's acceptance cut)
  --take-first          camera: take the first square seen, without a window
  --wait SECONDS        camera with --take-first: give up after this long
                        (default 10)
  --threshold N         camera: a pixel is dark when blue + green + red <= 3 N
                        (default: the station's tracking/threshold, else 100)
  --help                this text

Matches are the tracker's own: the cosine of the 16x16 colour samples, best
orientation, 1 for identical. Exit status: 0 made (warnings included), 1
refused or failed (nothing written), 2 bad arguments.
)";
}

} // namespace kwo::make_marker
