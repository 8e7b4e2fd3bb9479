#include "app/station_check.h"

#include "app/camera_check.h"
#include "app/check_report.h"
#include "app/display_check.h"
#include "app/program_folder.h"
#include "app/settings_check.h"
#include "app/station_calibration.h"
#include "app/station_log.h"
#include "config/documents.h"
#include "config/exception.h"
#include "config/setting.h"
#include "config/startup_notes.h"
#include "config/threshold_setting.h"
#include "files/new_file.h"
#include "files/read_file.h"
#include "files/write_file.h"
#include "scene/engine.h"
#include "scene/media_archive_check.h"
#include "tracking/ar/ar.h"
#include "tracking/ar/patterns.h"
#include "tracking/auto_threshold.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace kwo {
namespace {

std::string quoted(const std::string& text)
{
    return "'" + text + "'";
}

// "'tracking/camera.dat' (tracking/params)": the file and the key naming it.
std::string fileAndKey(const std::string& file, const std::string& key)
{
    return quoted(file) + " (" + key + ")";
}

std::string withDetail(const std::exception& error)
{
    const auto* ours = dynamic_cast<const Exception*>(&error);
    return ours && !ours->detail().empty() ? std::string(error.what()) + " (" + ours->detail() + ")" : error.what();
}

std::string twoDecimals(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// The start-up's warnings, each naming its own file or key (a key alone
// belongs to the main document).
void reportNotes(const StartupNotes& notes, const std::string& mainPath, CheckReport& report)
{
    for (const std::string& text : notes.warnings()) {
        if (text.rfind(mainPath + " is not valid JSON", 0) == 0)
            continue; // said as the document's error
        const bool namesFile = text.rfind(mainPath, 0) == 0 || text.rfind("user.config", 0) == 0;
        report.warning(namesFile ? "" : mainPath, text);
    }
}

// The documents as a start-up reads them; false when nothing further can be
// read from them.
bool checkDocuments(const std::string& configPath, const std::string& mainPath, Json::Value& config,
                    Json::Value& userConfig, StartupNotes& notes, CheckReport& report)
{
    std::string invalid;
    try {
        loadConfiguration(configPath, config, userConfig,
                          [&](const std::string& message) {
                              invalid = message;
                              return true; // go on with the defaults, to check the rest
                          },
                          &notes);
    } catch (const std::exception& error) {
        report.error(mainPath, withDetail(error));
        return false;
    }
    if (!invalid.empty()) {
        const std::string question = "\nContinue with default settings?";
        if (invalid.ends_with(question))
            invalid.erase(invalid.size() - question.size());
        report.error(mainPath, "Configuration file error: " + invalid +
                                   " (a start-up offers to go on with the built-in defaults; the rest is checked "
                                   "with them)");
    } else if (!fs::exists(mainPath)) {
        const std::string text = "absent: the built-in defaults apply";
        if (configPath.empty())
            report.ok(mainPath, text);
        else
            report.warning(mainPath, text);
    } else {
        report.ok(mainPath, "read and merged over the built-in defaults");
    }
    return true;
}

void checkMedia(const Setting& locations, CheckReport& report)
{
    for (unsigned i = 0; i < locations.size(); ++i) {
        const std::string key = locations[i].path();
        std::string path;
        try {
            path = locations[i].asString();
        } catch (const std::exception& error) {
            report.error(key, withDetail(error));
            continue;
        }
        const std::string subject = fileAndKey(path, key);
        std::error_code ignored;
        if (archiveType(path) == "FileSystem") {
            if (fs::is_directory(path, ignored))
                report.ok(subject, "a folder");
            else
                report.error(subject, fs::exists(path, ignored) ? "not a folder or a zip archive"
                                                                : "cannot be read: No such file or directory");
            continue;
        }
        // The engine names a missing archive only as it fails to open it.
        if (const FileBytes probe = readFileBytes(path, 0); !probe.read()) {
            report.error(subject, "cannot be read: " + probe.reason);
            continue;
        }
        if (const auto damage = checkMediaArchive(path))
            report.error(subject, *damage);
        else
            report.ok(subject, "every member's size and CRC check out");
    }
}

struct LoadedPattern {
    std::string key;
    std::string file;
    ar::PatternFile pattern;
};

// Returns the object of every pattern the tracker took, by its slot.
std::vector<std::string> checkPatterns(const Setting& objects, double confusionLimit, CheckReport& report)
{
    std::vector<LoadedPattern> loaded;
    std::vector<std::string> slots;
    for (unsigned i = 0; i < objects.size(); ++i) {
        const Setting pattern = objects[i]["pattern"];
        LoadedPattern entry{pattern.path() + "/file", "", {}};
        try {
            entry.file = pattern.text("file");
            // As a start-up loads it into the tracker (which also counts
            // its slots), then read again for the comparison.
            std::string reason;
            const int slot = ar::loadPattern(entry.file.c_str(), &reason);
            if (slot < 0 || !ar::readPatternFile(entry.file, entry.pattern, &reason)) {
                report.error(fileAndKey(entry.file, entry.key), "Pattern load error (" + reason + ")");
                continue;
            }
            slots.resize(std::max(slots.size(), static_cast<std::size_t>(slot) + 1));
            slots[static_cast<std::size_t>(slot)] = objects[i].name("name");
            report.ok(fileAndKey(entry.file, entry.key),
                      "read, " + numberText(readMarkerSize(pattern)) + " mm, for " + slots[static_cast<std::size_t>(slot)]);
        } catch (const std::exception& error) {
            report.error(entry.key, withDetail(error));
            continue;
        }
        loaded.push_back(entry);
    }

    // Every pair, with the tracker's own measure: the best match of one
    // design's upright view over the other's four turns, whichever way round.
    double closest = -2;
    std::string closestPair;
    bool confusable = false;
    for (std::size_t a = 0; a < loaded.size(); ++a)
        for (std::size_t b = a + 1; b < loaded.size(); ++b) {
            const double match = std::max(ar::bestCrossCorrelation(loaded[a].pattern, loaded[b].pattern),
                                          ar::bestCrossCorrelation(loaded[b].pattern, loaded[a].pattern));
            const std::string pair =
                fileAndKey(loaded[a].file, loaded[a].key) + " and " + fileAndKey(loaded[b].file, loaded[b].key);
            if (match >= confusionLimit) {
                report.warning(pair, "match at " + twoDecimals(match) + " (limit " + twoDecimals(confusionLimit) +
                                         "): the tracker may take one for the other");
                confusable = true;
            }
            if (match > closest) {
                closest = match;
                closestPair = pair;
            }
        }
    if (loaded.size() >= 2 && !confusable)
        report.ok(objects.path(), "no two patterns alike: the most alike, " + closestPair + ", match at " +
                                      twoDecimals(closest) + " (limit " + twoDecimals(confusionLimit) + ")");    return slots;
}

// Returns the calibration as the tracker now holds it for the camera's
// frames; nothing without a picture or when the calibration fails.
std::optional<StationCalibration> checkCalibration(const Setting& tracking, const std::optional<CameraPicture>& picture,
                                                   const StationCheckLimits& limits, CheckReport& report)
{
    const std::string key = tracking.path() + "/params";
    StationCalibration calibration;
    try {
        // Without the camera's frames, the calibration is checked at its own size.
        int width = picture ? picture->width : 0;
        int height = picture ? picture->height : 0;
        if (!picture) {
            const std::string file = tracking.text("params");
            ARParam own;
            std::string reason;
            if (ar::loadCalibration(file.c_str(), &own, &reason) < 0)
                throw Exception("Camera load error", key + ": " + reason);
            width = own.xsize;
            height = own.ysize;
        }
        calibration = loadStationCalibration(tracking, width, height);
    } catch (const std::exception& error) {
        report.error(key, withDetail(error));
        return std::nullopt;
    }
    const ARParam& made = calibration.loaded;
    const FieldOfView view = fieldOfView(made);
    const std::string subject = fileAndKey(calibration.file, key);
    report.ok(subject, "made for " + frameSizeText(made.xsize, made.ysize) + " frames, " +
                           (picture ? "used for " + frameSizeText(picture->width, picture->height)
                                    : "not compared with the camera's frames") +
                           ", field of view " + oneDecimal(view.horizontal) + " x " + oneDecimal(view.vertical) +
                           " degrees");
    if (picture)
        if (const auto warning = anotherShapeWarning(calibration, picture->width, picture->height))
            report.warning("", *warning);
    if (view.horizontal < limits.narrowestView || view.horizontal > limits.widestView)
        report.warning(subject, "a field of view of " + oneDecimal(view.horizontal) +
                                    " degrees across is implausible for a station's camera (" +
                                    numberText(limits.narrowestView) + " to " + numberText(limits.widestView) +
                                    "): calibrate the camera again at the mode it runs at");
    const double fx = made.mat[0][0];
    const double fy = made.mat[1][1];
    if (std::max(fx / fy, fy / fx) > limits.pixelShapeLimit)
        report.warning(subject, "its focal lengths across and down the frame (fx " + oneDecimal(fx) + ", fy " +
                                    oneDecimal(fy) + ") differ by more than " +
                                    numberText(std::round((limits.pixelShapeLimit - 1) * 100)) +
                                    " %, which a camera's square pixels do not: calibrate the camera again");
    if (!picture)
        return std::nullopt;
    return calibration;
}

// The threshold "auto" would choose for the picture: Otsu's split of its
// grey levels, then, when that shows markers of the station, midway between
// their black border and the paper round them. With the tracker ready (a
// calibration for the picture's frames and `slots` loaded), the markers
// found are named.
struct Suggestion {
    int threshold = 0;
    std::vector<std::string> markers; // the objects of the markers it was judged on
};

Suggestion suggestThreshold(const CameraPicture& picture, const std::optional<StationCalibration>& calibration,
                            const std::vector<std::string>& slots)
{
    AutoThreshold chooser(calibration ? calibration->resized.dist_factor : nullptr);
    const ar::FrameView frame = ar::FrameView::packed(picture.pixels.data(), picture.width, picture.height);
    Suggestion suggestion{chooser.choose(frame), {}};
    ARMarkerInfo* markers = nullptr;
    int count = 0;
    if (!calibration ||
        ar::detectMarker(picture.pixels.data(), ar::Threshold::global(suggestion.threshold), &markers, &count) < 0)
        return suggestion;
    chooser.learn(markers, count);
    const int fromMarkers = chooser.choose(frame);
    if (chooser.source() != AutoThreshold::Source::markers)
        return suggestion;
    suggestion.threshold = fromMarkers;
    for (int i = 0; i < count; ++i)
        if (markers[i].id >= 0 && static_cast<std::size_t>(markers[i].id) < slots.size())
            suggestion.markers.push_back(slots[static_cast<std::size_t>(markers[i].id)]);
    return suggestion;
}

// What a picture of the room suggests, beside what the station is set to.
void checkThreshold(const Setting& tracking, const CameraPicture& picture,
                    const std::optional<StationCalibration>& calibration, const std::vector<std::string>& slots,
                    int flatPictureContrast, CheckReport& report)
{
    const std::string key = tracking.path() + "/threshold";
    ThresholdSetting setting;
    try {
        setting = readThreshold(tracking, "threshold", 100);
    } catch (const std::exception& error) {
        report.error(key, withDetail(error));
        return;
    }
    std::string configured = thresholdModeWord(setting);
    if (setting.mode == ThresholdSetting::Mode::fixed)
        configured = std::to_string(setting.level);
    else if (setting.mode == ThresholdSetting::Mode::adaptive && setting.offset)
        configured += " " + std::to_string(*setting.offset);
    const GreyRange grey = greyRange(picture);
    if (grey.darkest + flatPictureContrast > grey.lightest) {
        report.warning(key, "the camera's picture shows no contrast (grey levels " + std::to_string(grey.darkest) +
                                " to " + std::to_string(grey.lightest) +
                                "), so it suggests no threshold: is the lens covered, or the room dark? Set: " +
                                configured);
        return;
    }
    const Suggestion suggestion = suggestThreshold(picture, calibration, slots);
    std::string basis = "from the split of its grey levels: no marker of the station in view (hold them up to the "
                        "camera to have it judged on their print)";
    if (!suggestion.markers.empty()) {
        basis = "midway between the black border and the paper of the markers in view (";
        for (std::size_t i = 0; i < suggestion.markers.size(); ++i)
            basis += (i ? ", " : "") + suggestion.markers[i];
        basis += ")";
    }
    report.ok(key, "the camera's picture suggests " + std::to_string(suggestion.threshold) + ", " + basis +
                       "; set: " + configured);
}

// The files the viewer writes into its folder. None stops a start-up: the
// show runs without them and says so.
void checkWritable(CheckReport& report)
{
    const std::string folder = programFolder();
    const std::string folderSubject = "program folder" + (folder.empty() ? "" : " " + quoted(folder));
    if (const std::string reason = whyNotWritable("user.config.new"); reason.empty())
        report.ok(folderSubject,
                  std::string("new files can be made there") + (isGroupShared(".") ? ", shared with its group" : ""));
    else
        report.warning(folderSubject, "new files cannot be made there (" + reason + ")");

    struct Written {
        const char* file;
        const char* loss;
    };
    for (const Written& written : {Written{"user.config", "the camera choice is not remembered"},
                                   Written{"ogre.log", "the engine log is not kept"}}) {
        std::string reason = whyNotWritable(written.file);
        // The user document is written beside itself and renamed over.
        if (reason.empty() && std::strcmp(written.file, "user.config") == 0)
            reason = whyNotWritable("user.config.new");
        std::error_code ignored;
        if (reason.empty())
            report.ok(written.file, fs::exists(written.file, ignored) ? "can be rewritten"
                                                                      : "absent: a start-up makes it");
        else
            report.warning("", std::string(written.file) + " cannot be written (" + reason + "); " + written.loss);
    }
}

// Each part is checked even when one before failed, so one run names every
// fault it can; a key a part cannot read is an error of the main document.
void checkWhatTheDocumentsName(const Json::Value& config, const Json::Value& userConfig, const std::string& mainPath,
                               StartupNotes& notes, const StationCheckLimits& limits, CheckReport& report)
{
    const auto part = [&](const std::function<void()>& check) {
        try {
            check();
        } catch (const std::exception& error) {
            report.error(mainPath, withDetail(error));
        }
    };
    part([&] {
        checkSettings(config, notes);
        report.ok(mainPath, "every key read and checked");
    });
    reportNotes(notes, mainPath, report);

    const Setting settings(config, "");
    part([&] { checkMedia(settings["media"]["locations"], report); });
    std::vector<std::string> slots;
    part([&] { slots = checkPatterns(settings["tracking"]["objects"], limits.confusionLimit, report); });
    const std::optional<CameraPicture> picture = checkCamera(config, userConfig, limits.firstFrame, report);
    part([&] {
        const std::optional<StationCalibration> calibration =
            checkCalibration(settings["tracking"], picture, limits, report);
        if (picture && !picture->pixels.empty())
            checkThreshold(settings["tracking"], *picture, calibration, slots, limits.flatPictureContrast, report);
    });
}

} // namespace

int checkStation(const std::string& configPath, std::ostream& out, const StationCheckLimits& limits)
{
    enterProgramFolder();
    CheckReport report(out);
    const std::string mainPath = mainDocumentPath(configPath);
    std::ostringstream quiet; // the warnings are said as check lines
    StartupNotes notes(quiet);
    Json::Value config;
    Json::Value userConfig;
    // Without documents there is nothing to say what the station uses.
    if (checkDocuments(configPath, mainPath, config, userConfig, notes, report))
        checkWhatTheDocumentsName(config, userConfig, mainPath, notes, limits, report);
    checkDisplay(report);
    checkWritable(report);
    return report.finish();
}

} // namespace kwo
