#include "bench/tracking/hands_figures.h"

#include "bench/tracking/scenes.h"
#include "tools/synthetic/hands.h"
#include "tools/synthetic/pose_errors.h"
#include "tracking/ar/ar.h"
#include "tracking/ar/stages.h"

#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace kwo::bench {
namespace {

// The sample's cf for pattern `slot` (whatever the tracker named it).
double cfFor(const ar::FrameView& frame, const ARParam& param, const ARMarkerInfo& square,
             const std::vector<ar::PatternTemplate>& templates, int slot) {
    double sample[ar::patternValues];
    ar::CellBlur blur;
    if (!ar::takeSample(frame, param.dist_factor, square.vertex, sample, &blur)) return -1;
    return ar::matchSample(sample, &templates[slot], 1, blur).cf;
}

std::vector<ar::PatternTemplate> designTemplates() {
    std::vector<ar::PatternTemplate> templates;
    for (const auto& name : designNames())
        templates.push_back(ar::makeTemplate(markers::patternFromPicture(synthetic::designPicture(name, 512))));
    return templates;
}

} // namespace

std::vector<ShadowRow> shadowedCards(const std::vector<int>& thresholds) {
    const ARParam param = camera(640, 480);
    synthetic::FrameRenderer renderer(param);
    ar::Tracker tracker = designTracker(param, frameParameters());
    std::vector<ShadowRow> rows;
    for (int threshold : thresholds) {
        ShadowRow row;
        row.threshold = threshold;
        for (int card = 0; card < 8; ++card) {
            const int index = card % 4;
            const bool right = card < 4;
            double pose[3][4];
            synthetic::makePose(0, 0, 0, 0, 0, param.mat[0][0] * 83 / 160, pose);
            synthetic::FrameOptions options;
            options.seed = 300 + static_cast<std::uint32_t>(card);
            auto frame =
                renderer.render({printedCard(synthetic::designPicture(designNames()[index], 512), 83, pose)}, options);
            const synthetic::MarkerTruth& truth = frame.markers[0];
            double cx, cy;
            synthetic::markerCentre(truth, cx, cy);
            synthetic::castShadow(frame, cx, cy, right ? 0 : CV_PI / 2, 0, 0.4);
            synthetic::addCameraFaults(frame, 0.7, 2, 0, options.seed);
            ++row.cards;
            bool square = false, named = false;
            for (const ARMarkerInfo& m : tracker.detect(view(frame), threshold)) {
                if (cornerRms(m, truth) >= 3.0) continue;
                square = true;
                named = named || m.id == index;
            }
            row.squares += square;
            row.named += named;
        }
        rows.push_back(row);
    }
    return rows;
}

ShadowSweep shadowSweep(int cards) {
    const ARParam param = camera(640, 480);
    synthetic::FrameRenderer renderer(param);
    ar::Tracker tracker = designTracker(param, frameParameters());
    const std::vector<ar::PatternTemplate> templates = designTemplates();
    ShadowSweep sweep;
    std::minstd_rand random(4100);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int card = 0; card < cards; ++card) {
        const int index = card % 4;
        const double side = 60 + 140 * unit(random);
        const double z = param.mat[0][0] * 83 / side;
        const double tiltX = 70 * unit(random) - 35, tiltY = 70 * unit(random) - 35, spin = 360 * unit(random);
        const double x = (unit(random) - 0.5) * z * 0.3, y = (unit(random) - 0.5) * z * 0.2;
        const double angle = 2 * CV_PI * unit(random), offset = (unit(random) - 0.5) * side * 0.6;
        const double light = 0.3 + 0.3 * unit(random);
        double pose[3][4];
        synthetic::makePose(tiltX, tiltY, spin, x, y, z, pose);
        const synthetic::PrintedMarker m = printedCard(synthetic::designPicture(designNames()[index], 512), 83, pose);
        synthetic::FrameOptions options;
        options.seed = 4100 + static_cast<std::uint32_t>(card);
        auto frame = renderer.render({m}, options);
        const synthetic::MarkerTruth& truth = frame.markers[0];
        double cx, cy;
        synthetic::markerCentre(truth, cx, cy);
        synthetic::castShadow(frame, cx, cy, angle, offset, light);
        synthetic::addCameraFaults(frame, 0.8, 2.5, 85, options.seed);
        const ar::FrameView v = view(frame);
        for (int threshold = 30; threshold <= 90; threshold += 10) {
            ++sweep.renders;
            bool square = false, named = false, refused = false;
            for (const ARMarkerInfo& found : tracker.detect(v, threshold)) {
                const bool onCard = cornerRms(found, truth) < 3.0;
                if (!onCard) {
                    sweep.wrong += found.id >= 0;
                    continue;
                }
                square = true;
                if (found.id == index) named = true;
                else if (found.id >= 0) ++sweep.wrong;
                else if (cfFor(v, param, found, templates, index) >= 0.5) refused = true;
            }
            sweep.squares += square;
            sweep.named += named;
            sweep.refused += refused && !named;
        }
    }
    return sweep;
}

OccluderFigures occludedCards(int cards, double share) {
    const ARParam param = camera(640, 480);
    synthetic::FrameRenderer renderer(param);
    ar::Tracker tracker = designTracker(param, frameParameters());
    OccluderFigures figures;
    std::minstd_rand random(4700);
    std::uniform_real_distribution<double> unit(0, 1);
    for (int card = 0; card < cards; ++card) {
        const int index = card % 4;
        const double side = 80 + 120 * unit(random);
        const double z = param.mat[0][0] * 83 / side;
        const double tiltX = 60 * unit(random) - 30, tiltY = 60 * unit(random) - 30, spin = 360 * unit(random);
        const double x = (unit(random) - 0.5) * z * 0.3, y = (unit(random) - 0.5) * z * 0.2;
        double pose[3][4];
        synthetic::makePose(tiltX, tiltY, spin, x, y, z, pose);
        const synthetic::PrintedMarker m = printedCard(synthetic::designPicture(designNames()[index], 512), 83, pose);
        synthetic::FrameOptions options;
        options.seed = 4700 + static_cast<std::uint32_t>(card);
        auto frame = renderer.render({m}, options);
        const synthetic::MarkerTruth& truth = frame.markers[0];

        // The finger: a stroke with round ends inside the pattern (its half
        // side is a quarter of the marker's), `share` of the pattern's area,
        // across it at any angle. Drawn in marker millimetres, then
        // projected.
        const double half = 83 / 4.0;
        const double thickness = 0.45 * half;
        const double length = (share * 4 * half * half - CV_PI * thickness * thickness / 4) / thickness;
        const double angle = CV_PI * unit(random);
        const double reach = std::max(0.0, half - thickness / 2 - length / 2 * std::max(std::abs(std::cos(angle)), std::abs(std::sin(angle))));
        const double cx = (2 * unit(random) - 1) * reach, cy = (2 * unit(random) - 1) * reach;
        const double dx = length / 2 * std::cos(angle), dy = length / 2 * std::sin(angle);
        synthetic::layFinger(frame, param, pose, cx - dx, cy - dy, cx + dx, cy + dy, thickness);
        synthetic::addCameraFaults(frame, 0.8, 2.5, 85, options.seed);
        ++figures.cards;
        bool square = false, named = false;
        for (const ARMarkerInfo& found : tracker.detect(view(frame), 100)) {
            if (cornerRms(found, truth) >= 3.0) {
                figures.wrong += found.id >= 0;
                continue;
            }
            square = true;
            if (found.id == index) named = true;
            else if (found.id >= 0) ++figures.wrong;
        }
        figures.squares += square;
        figures.named += named;
    }
    return figures;
}

ThumbFigures thumbSequences(int sequences, bool follow) {
    const ARParam param = camera(640, 480);
    synthetic::FrameRenderer renderer(param);
    ar::TrackerParameters parameters;
    parameters.followBrokenOutlines = follow;
    ThumbFigures figures;
    std::minstd_rand random(5300);
    std::uniform_real_distribution<double> unit(0, 1);
    constexpr int whole = 6, held = 30, gone = 8;
    for (int sequence = 0; sequence < sequences; ++sequence) {
        ar::Tracker tracker = designTracker(param, parameters);
        const int index = sequence % 4;
        const double side = 100 + 100 * unit(random);
        const double z = param.mat[0][0] * 83 / side;
        const double tiltX = 60 * unit(random) - 30, tiltY = 60 * unit(random) - 30, spin = 360 * unit(random);
        const double x = (unit(random) - 0.5) * z * 0.2, y = (unit(random) - 0.5) * z * 0.15;
        // Drift up to 0.1 m/s at 30 frames a second, in millimetres per frame.
        const double speed = 3.3 * unit(random), heading = 2 * CV_PI * unit(random);
        const double vx = speed * std::cos(heading), vy = speed * std::sin(heading);
        const double depth = 0.3 + 0.7 * unit(random), along = 50 * unit(random) - 25, thickness = 16 + 4 * unit(random);
        const cv::Mat picture = synthetic::designPicture(designNames()[index], 512);
        for (int frameIndex = 0; frameIndex < whole + held + gone; ++frameIndex) {
            const int k = frameIndex;
            double pose[3][4];
            synthetic::makePose(tiltX + 2 * std::sin(0.3 * k), tiltY + 2 * std::cos(0.23 * k), spin + 0.5 * k,
                                x + vx * k, y + vy * k, z, pose);
            const synthetic::PrintedMarker m = printedCard(picture, 83, pose);
            synthetic::FrameOptions options;
            options.seed = 5300 + static_cast<std::uint32_t>(sequence);
            const bool present = k < whole + held;
            auto frame = present ? renderer.render({m}, options) : renderer.render({}, options);
            if (k >= whole && present) synthetic::holdByThumb(frame, param, pose, 83, depth, along, thickness);
            synthetic::addCameraFaults(frame, 0.7, 2, 85, options.seed + static_cast<std::uint32_t>(k));
            const auto& found = tracker.detect(view(frame), 100);
            if (!present) {
                if (k - (whole + held) >= parameters.historyFrames)
                    figures.afterRemoval += std::any_of(found.begin(), found.end(), [&](const ARMarkerInfo& f) { return f.id == index; });
                continue;
            }
            if (k < whole) continue;
            ++figures.thumbFrames;
            for (const ARMarkerInfo& f : found) {
                if (f.id < 0) continue;
                if (f.id != index) {
                    ++figures.wrong;
                    continue;
                }
                ++figures.named;
                double conv[3][4];
                const double centre[2] = {0, 0};
                if (tracker.pose(f, centre, 83, conv) >= 0 && synthetic::translationError(conv, pose) < 0.02)
                    ++figures.accurate;
                break;
            }
        }
    }
    return figures;
}

namespace {

ARParam sampleCamera(const std::string& sampleFolder, int width, int height) {
    ARParam loaded{}, resized{};
    std::string reason;
    if (ar::loadCalibration((sampleFolder + "/camera_para.dat").c_str(), &loaded, &reason) < 0) return camera(width, height);
    arParamChangeSize(&loaded, width, height, &resized);
    return resized;
}

// Counts the squares and identifications in one picture for both pattern
// sets.
void countClutter(const cv::Mat& bgr, ar::Tracker& samples, ar::Tracker& designs, RealClutterRow& row) {
    cv::Mat bgrx;
    cv::cvtColor(bgr, bgrx, cv::COLOR_BGR2BGRA);
    const ar::FrameView v = ar::FrameView::packed(bgrx.data, bgrx.cols, bgrx.rows);
    ++row.frames;
    for (const ARMarkerInfo& m : samples.detect(v, 100)) {
        ++row.squares;
        row.samplePatterns += m.id >= 0;
    }
    for (const ARMarkerInfo& m : designs.detect(v, 100)) row.designs += m.id >= 0;
}

ar::Tracker clutterTracker(const ARParam& param, const std::string& sampleFolder, bool sampleSet, int history) {
    ar::TrackerParameters parameters;
    parameters.historyFrames = history;
    ar::Tracker tracker(parameters);
    tracker.setCalibration(param);
    if (sampleSet) {
        for (const char* name : {"patt.hiro", "patt.kanji", "patt.sample1", "patt.sample2"})
            tracker.loadPattern(sampleFolder + "/" + name);
    } else {
        for (const auto& name : designNames())
            tracker.addPattern(markers::patternFromPicture(synthetic::designPicture(name, 512)));
    }
    return tracker;
}

} // namespace

std::vector<RealClutterRow> realClutter(const std::string& folder) {
    namespace fs = std::filesystem;
    std::vector<RealClutterRow> rows;
    const char* data = std::getenv("KWO_TEST_DATA");
    const std::string sampleFolder = data ? data : KWO_SAMPLE_DATA;
    if (!fs::is_directory(folder)) return rows;
    std::vector<fs::path> photos;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".jpg" || ext == ".png")) photos.push_back(entry.path());
    }
    std::sort(photos.begin(), photos.end());
    // Photos: each its own scene, no history.
    RealClutterRow still, chess;
    for (const fs::path& path : photos) {
        const cv::Mat bgr = cv::imread(path.string(), cv::IMREAD_COLOR);
        if (bgr.empty() || bgr.cols < 64 || bgr.rows < 64) continue;
        const ARParam param = sampleCamera(sampleFolder, bgr.cols, bgr.rows);
        ar::Tracker samples = clutterTracker(param, sampleFolder, true, 0);
        ar::Tracker designs = clutterTracker(param, sampleFolder, false, 0);
        const std::string name = path.filename().string();
        const bool board = name.rfind("left", 0) == 0 || name.rfind("right", 0) == 0 || name.find("chess") != std::string::npos;
        countClutter(bgr, samples, designs, board ? chess : still);
    }
    chess.source = "chessboard photos";
    still.source = "other photos";
    rows.push_back(chess);
    rows.push_back(still);
    // The street video as a camera would deliver it: every frame, with the
    // tracker's history.
    cv::VideoCapture video(folder + "/vtest.avi");
    cv::Mat bgr;
    if (video.read(bgr)) {
        RealClutterRow street;
        street.source = "street video";
        const ARParam param = sampleCamera(sampleFolder, bgr.cols, bgr.rows);
        ar::Tracker samples = clutterTracker(param, sampleFolder, true, 3);
        ar::Tracker designs = clutterTracker(param, sampleFolder, false, 3);
        do countClutter(bgr, samples, designs, street);
        while (video.read(bgr));
        rows.push_back(street);
    }
    return rows;
}

std::vector<RealPhotoFigure> realPhotoFigures(const std::string& photoFolder, const std::string& sampleFolder) {
    struct Photo {
        const char* file;
        std::vector<std::pair<const char*, double>> markers; // and the original's cf
    };
    // The original's figures at threshold 100, patterns loaded in the order
    // below (the photos' own notes).
    const Photo photos[] = {
        {"tablet-640x480.jpg", {{"hiro", 0.916}, {"a", 0.879}}},
        {"tablet-1024.jpg", {{"hiro", 0.905}, {"a", 0.888}, {"b", 0.771}, {"c", 0.828}, {"f", 0.897}}},
        {"letters-1024.jpg", {{"a", 0.900}, {"b", 0.598}, {"c", 0.826}, {"d", 0.910}, {"f", 0.909}, {"g", 0.926}}},
    };
    const char* patterns[] = {"hiro", "kanji", "a", "b", "c", "d", "f", "g"};
    std::vector<RealPhotoFigure> figures;
    std::vector<ar::PatternFile> files;
    for (const char* name : patterns) {
        const std::string folder = std::string(name).size() > 1 ? sampleFolder : photoFolder;
        ar::PatternFile file;
        if (!ar::readPatternFile(folder + "/patt." + name, file)) return {};
        files.push_back(file);
    }
    std::vector<ar::PatternTemplate> templates;
    for (const ar::PatternFile& file : files) templates.push_back(ar::makeTemplate(file));
    for (const Photo& photo : photos) {
        const cv::Mat bgr = cv::imread(photoFolder + "/" + photo.file, cv::IMREAD_COLOR);
        if (bgr.empty()) return {};
        cv::Mat bgrx;
        cv::cvtColor(bgr, bgrx, cv::COLOR_BGR2BGRA);
        const ar::FrameView v = ar::FrameView::packed(bgrx.data, bgrx.cols, bgrx.rows);
        const ARParam param = sampleCamera(sampleFolder, bgrx.cols, bgrx.rows);
        ar::Tracker tracker(frameParameters());
        tracker.setCalibration(param);
        for (const ar::PatternFile& file : files) tracker.addPattern(file);
        const std::vector<ARMarkerInfo> found = tracker.detect(v, 100);
        for (const auto& [marker, original] : photo.markers) {
            const int slot = static_cast<int>(std::find_if(std::begin(patterns), std::end(patterns),
                                                           [&](const char* p) { return std::string(p) == marker; }) -
                                              std::begin(patterns));
            RealPhotoFigure figure{photo.file, marker, -1, false, original};
            // The marker is the square the tracker names so, with its cf; a
            // square it leaves unnamed counts with the matcher's cf when its
            // best pattern is the marker's own.
            for (const ARMarkerInfo& square : found) {
                if (square.id == slot) {
                    figure.cf = std::max(figure.cf, square.cf);
                    figure.named = true;
                    continue;
                }
                double sample[ar::patternValues];
                ar::CellBlur blur;
                if (!ar::takeSample(v, param.dist_factor, square.vertex, sample, &blur)) continue;
                const ar::Match best = ar::matchSample(sample, templates.data(), static_cast<int>(templates.size()), blur);
                if (best.slot == slot && !figure.named) figure.cf = std::max(figure.cf, best.cf);
            }
            figures.push_back(figure);
        }
    }
    return figures;
}

} // namespace kwo::bench
