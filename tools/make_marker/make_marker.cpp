// kwo-make-marker: makes a marker for the viewer from artwork (a picture or a
// short word), or trains its pattern from a printed marker held to the
// camera. See --help (marker_options.cpp).

#include "config/documents.h"
#include "config/exception.h"
#include "config/setting.h"
#include "files/write_file.h"
#include "tools/make_marker/camera_training.h"
#include "tools/make_marker/marker_art.h"
#include "tools/make_marker/marker_options.h"
#include "tools/make_marker/marker_pattern.h"
#include "tools/markers/sheet.h"
#include "tracking/ar/ar.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace kwo::make_marker;

namespace {

constexpr int exitMade = 0, exitRefused = 1, exitBadInput = 2;

const std::string blankMessage =
    "the marker's inside is blank (one colour); the tracker cannot match it. Nothing written.";
// White paper beside a picture of one colour would be all there is to match.
const std::string blankPictureMessage =
    "the picture is blank (all one colour): the tracker could match only the paper beside it, which looks the same "
    "upside down. Nothing written.";

struct Stop {
    int code;
    std::string message;
};

// A pattern to compare the new one with, and where it was named.
struct OtherPattern {
    std::string label; // the file, and the configuration key that names it
    kwo::ar::PatternFile pattern;
};

// What the station's configuration says that matters here.
struct Station {
    std::vector<OtherPattern> patterns;
    Json::Value video;
    std::optional<ARParam> calibration;
    std::optional<int> threshold;
};

fs::path programFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path() : self.parent_path();
}

// Relative paths in a station's documents are the viewer's: it runs in its
// program folder, where this program is installed too.
std::string inProgramFolder(const std::string& path) {
    return fs::path(path).is_absolute() ? path : (programFolder() / path).string();
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return fs::equivalent(a, b, error);
}

Station readStation(const MarkerOptions& options, const std::string& outputPattern) {
    Station station;
    if (options.noStation) return station;
    const std::string path = options.config ? *options.config : (programFolder() / "kwo.config").string();
    if (options.config && !fs::is_regular_file(path))
        throw Stop{exitBadInput, "--config: '" + path + "' is not a readable file"};
    Json::Value config, userConfig;
    std::string invalid;
    try {
        kwo::loadConfiguration(path, config, userConfig, [&](const std::string& message) {
            invalid = message;
            return false;
        });
    } catch (const kwo::ProcessExit&) {
        throw Stop{exitBadInput, "--config: '" + path + "' is not a valid document:\n" + invalid};
    }
    try {
        const kwo::Setting tracking = kwo::Setting(config, "")["tracking"];
        const kwo::Setting objects = tracking["objects"];
        for (unsigned i = 0; i < objects.size(); ++i) {
            const kwo::Setting pattern = objects[i]["pattern"];
            const std::string key = pattern.path() + "/file";
            const std::string file = inProgramFolder(pattern.text("file"));
            // The file this run replaces is not another marker.
            if (sameFile(file, outputPattern)) continue;
            OtherPattern other{file + " (" + key + ")", {}};
            std::string error;
            if (!kwo::ar::readPatternFile(file, other.pattern, &error))
                throw Stop{exitBadInput, path + ": " + key + ": " + error};
            station.patterns.push_back(other);
        }
        station.video = config["video"];
        if (tracking["threshold"].value().isInt()) station.threshold = tracking["threshold"].value().asInt();
        if (options.source == Source::Camera && tracking.has("params")) {
            const std::string params = inProgramFolder(tracking.text("params"));
            ARParam loaded;
            std::string reason;
            if (kwo::ar::loadCalibration(params.c_str(), &loaded, &reason) < 0)
                throw Stop{exitBadInput, path + ": " + tracking.path() + "/params: " + reason};
            station.calibration = loaded;
        }
    } catch (const kwo::Exception& failure) {
        throw Stop{exitBadInput, path + ": " + failure.what()};
    } catch (const std::runtime_error& failure) {
        throw Stop{exitBadInput, path + ": " + failure.what()};
    }
    return station;
}

std::vector<OtherPattern> readAgainst(const MarkerOptions& options) {
    std::vector<OtherPattern> others;
    for (const std::string& file : options.against) {
        OtherPattern other{file, {}};
        std::string error;
        if (!kwo::ar::readPatternFile(file, other.pattern, &error)) throw Stop{exitBadInput, "--against: " + error};
        others.push_back(other);
    }
    return others;
}

// Said before any work (a camera training takes the technician's time): the
// folder must exist and take new files (the marker's files are made beside
// their final names and moved over them).
void checkOutput(const std::string& output) {
    const fs::path folder = fs::path(output).parent_path();
    if (!folder.empty() && !fs::is_directory(folder))
        throw Stop{exitBadInput, "--output: folder '" + folder.string() + "' does not exist"};
    if (const std::string reason = kwo::whyNotWritable(output + ".pattern.new"); !reason.empty())
        throw Stop{exitRefused, "--output: '" + output + ".pattern' cannot be written: " + reason + "; nothing written"};
}

// Says what of the picture became the artwork, and how to have it otherwise.
void describeArtwork(const Artwork& artwork, bool cropped) {
    if (artwork.markerInside)
        std::printf("The picture is a whole marker: its inside is the artwork (--whole-picture takes all of it).\n");
    if (artwork.picture.size() != artwork.pixels.size())
        std::printf("The picture is not square: it stands on white paper %s (--fit crop takes its middle square).\n",
                    artwork.picture.width < artwork.pixels.cols ? "left and right" : "above and below");
    else if (cropped)
        std::printf("The artwork is the picture's middle square (--fit crop).\n");
}

kwo::ar::PatternFile makePattern(const MarkerOptions& options, const Station& station, Artwork& artwork) {
    std::string error;
    switch (options.source) {
    case Source::Picture: {
        PictureOptions picture;
        picture.fit = options.crop ? Fit::Crop : Fit::Pad;
        picture.wholePicture = options.wholePicture;
        if (!loadArtwork(options.picture, artwork, error, picture)) throw Stop{exitBadInput, "--picture: " + error};
        describeArtwork(artwork, options.crop);
        if (isBlank(artwork))
            throw Stop{exitRefused,
                       "refused: " + (artwork.picture.size() == artwork.pixels.size() ? blankMessage : blankPictureMessage)};
        return patternFromArtwork(artwork);
    }
    case Source::Text:
        if (!textArtwork(options.text, artwork, error)) throw Stop{exitBadInput, error};
        return patternFromArtwork(artwork);
    case Source::Camera: {
        if (const std::optional<std::string> unlisted = unlistedCamera(options.camera))
            throw Stop{exitBadInput, *unlisted};
        TrainingSettings settings;
        settings.camera = options.camera;
        settings.video = station.video;
        settings.calibration = station.calibration;
        settings.threshold = options.threshold.value_or(station.threshold.value_or(100));
        settings.takeFirst = options.takeFirst;
        settings.waitSeconds = options.waitSeconds;
        const std::optional<kwo::ar::PatternFile> trained = trainFromCamera(settings, error);
        if (!trained) throw Stop{exitRefused, error + "; nothing written"};
        return *trained;
    }
    }
    throw Stop{exitRefused, "no artwork"};
}

// Refuses a pattern whose direction the tracker could not tell, judged on
// the picture itself where white paper was added beside it, and says what
// makes it look alike.
void checkTurns(const kwo::ar::PatternFile& pattern, const Artwork& artwork, bool fromPicture, double limit) {
    if (isFlat(pattern)) throw Stop{exitRefused, "refused: " + blankMessage};
    const bool padded = fromPicture && artwork.picture.size() != artwork.pixels.size();
    std::array<double, 3> turns = turnMatches(pattern);
    if (padded) {
        const std::optional<std::array<double, 3>> own = pictureTurnMatches(pattern, artwork.picture, artwork.pixels.cols);
        if (!own) throw Stop{exitRefused, "refused: " + blankPictureMessage};
        turns = *own;
    }
    std::printf("Matches with its own turns%s (limit %.2f): 90 deg %.3f, 180 deg %.3f, 270 deg %.3f\n",
                padded ? ", the picture without the paper beside it" : "", limit, turns[0], turns[1], turns[2]);
    std::string alike;
    for (int turn = 0; turn < 3; ++turn)
        if (turns[turn] >= limit) {
            char figure[48];
            std::snprintf(figure, sizeof figure, "%s%d degrees (%.3f)", alike.empty() ? "" : ", ", 90 * (turn + 1),
                          turns[turn]);
            alike += figure;
        }
    if (alike.empty()) return;
    char limitText[16];
    std::snprintf(limitText, sizeof limitText, "%.2f", limit);
    std::string cause = "Make the artwork lopsided (a mark near one corner will do).";
    if (fromPicture && !artwork.markerInside && darkFrameShare(artwork) > 0.9)
        cause = "The picture has a dark frame all round, which looks the same every way up: cut it off (a whole "
                "marker's black border is taken off by itself only when it is a quarter of the side), or make the "
                "artwork inside lopsided.";
    throw Stop{exitRefused, "refused: the " + std::string(fromPicture ? "picture" : "marker") +
                                " matches itself turned by " + alike + " (limit " + limitText +
                                "), so the tracker could not tell which way up it is. " + cause + " Nothing written."};
}

// Warns about patterns the new one could be taken for; returns how many.
int checkConfusion(const kwo::ar::PatternFile& pattern, const std::vector<OtherPattern>& others, double limit) {
    if (others.empty()) {
        std::printf("No other patterns to compare with.\n");
        return 0;
    }
    std::printf("Best matches with the other patterns (limit %.2f):\n", limit);
    int confusable = 0;
    for (const OtherPattern& other : others) {
        const double cf = bestMatch(pattern, other.pattern);
        std::printf("  %.3f  %s\n", cf, other.label.c_str());
        if (cf >= limit) {
            std::fflush(stdout); // the warning follows its figure, also when both go to one file
            std::fprintf(stderr,
                         "kwo-make-marker: warning: the new marker matches %s at %.3f (limit %.2f): the tracker may "
                         "take one for the other\n",
                         other.label.c_str(), cf, limit);
            ++confusable;
        }
    }
    return confusable;
}

// Every file goes to a temporary name first; only when all are written do
// they replace what was there, so a failure leaves the old marker whole.
class OutputFiles {
public:
    ~OutputFiles() {
        std::error_code ignored;
        for (const auto& file : files) fs::remove(file + ".new", ignored);
    }
    std::string add(const std::string& path) {
        files.push_back(path);
        return path + ".new";
    }
    void commit() {
        for (const auto& file : files) {
            // A marker made in a station's shared folder is the group's to remake.
            kwo::shareWithFolderGroup(file + ".new");
            if (std::rename((file + ".new").c_str(), file.c_str()) != 0)
                throw Stop{exitRefused, "--output: '" + file + "' cannot be written: " +
                                            kwo::writeFailureReason(file, errno) + "; nothing written"};
        }
        files.clear();
    }

private:
    std::vector<std::string> files;
};

// The pattern file, read back: the tracker's writer cannot tell a file the
// disk had no room to finish from a whole one.
void writePattern(const std::string& path, const std::string& temporary, const kwo::ar::PatternFile& pattern) {
    errno = 0;
    if (!kwo::ar::writePatternFile(temporary, pattern))
        throw Stop{exitRefused, "--output: '" + path + "' cannot be written: " +
                                    kwo::writeFailureReason(temporary, errno) + "; nothing written"};
    kwo::ar::PatternFile back;
    if (!kwo::ar::readPatternFile(temporary, back) || std::memcmp(&back.blocks, &pattern.blocks, sizeof back.blocks))
        throw Stop{exitRefused, "--output: '" + path + "' cannot be written: " +
                                    kwo::writeFailureReason(temporary, 0) + "; nothing written"};
}

void writeMarker(const MarkerOptions& options, const kwo::ar::PatternFile& pattern, const Artwork& artwork) {
    OutputFiles outputs;
    const auto unwritable = [](const std::string& file, const std::string& reason) {
        return Stop{exitRefused, "--output: '" + file + "' cannot be written: " + reason + "; nothing written"};
    };
    const std::string patternPath = options.output + ".pattern";
    writePattern(patternPath, outputs.add(patternPath), pattern);
    std::vector<std::string> written{patternPath};
    if (options.source != Source::Camera) {
        const kwo::markers::DrawMarker draw = [&artwork](cairo_t* cairo, double x, double y, double side) {
            drawMarker(cairo, artwork, x, y, side);
        };
        // The picture as the project's own markers: 400 pixels with a white
        // quiet zone of a fifth of the side.
        const std::string png = options.output + ".png", pdf = options.output + ".pdf";
        std::string reason;
        if (!kwo::markers::writeMarkerPng(outputs.add(png), draw, 400, 80, false, &reason))
            throw unwritable(png, reason);
        kwo::markers::SheetLayout layout;
        layout.markerMillimetres = options.millimetres;
        if (!kwo::markers::writeSheetPdf(outputs.add(pdf), {{options.name, draw}}, layout, &reason))
            throw unwritable(pdf, reason);
        written.push_back(png);
        written.push_back(pdf);
    }
    outputs.commit();
    for (const std::string& file : written) std::printf("Wrote %s\n", file.c_str());
    if (options.source != Source::Camera)
        std::printf("Print %s.pdf at 100 %%: the black square must measure %g mm. In the station's kwo.config, add to "
                    "tracking/objects:\n  { \"name\": \"<graphics object>\", \"pattern\": { \"file\": \"%s\", "
                    "\"size\": %g } }\n",
                    options.output.c_str(), options.millimetres, patternPath.c_str(), options.millimetres);
}

int run(const std::vector<std::string>& arguments) {
    std::string error;
    const std::optional<MarkerOptions> options = parseOptions(arguments, error);
    if (!options) {
        std::fprintf(stderr, "kwo-make-marker: %s\nTry 'kwo-make-marker --help'.\n", error.c_str());
        return exitBadInput;
    }
    if (options->help) {
        std::fputs(usageText().c_str(), stdout);
        return exitMade;
    }
    try {
        checkOutput(options->output);
        std::vector<OtherPattern> others = readAgainst(*options);
        const Station station = readStation(*options, options->output + ".pattern");
        others.insert(others.end(), station.patterns.begin(), station.patterns.end());
        Artwork artwork;
        const kwo::ar::PatternFile pattern = makePattern(*options, station, artwork);
        checkTurns(pattern, artwork, options->source == Source::Picture, options->symmetryLimit);
        checkConfusion(pattern, others, options->confusionLimit);
        std::fflush(stdout);
        writeMarker(*options, pattern, artwork);
    } catch (const Stop& stop) {
        std::fflush(stdout);
        std::fprintf(stderr, "kwo-make-marker: %s\n", stop.message.c_str());
        return stop.code;
    }
    return exitMade;
}

} // namespace

int main(int argc, char** argv) {
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
